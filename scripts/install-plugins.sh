#!/usr/bin/env bash
# Copies the built VST3 and LV2 bundles into the user's plug-in folders.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
artefacts="$build/PULSKAR16_artefacts/RelWithDebInfo"
mkdir -p "$HOME/.vst3" "$HOME/.lv2"
rm -rf "$HOME/.vst3/PULSKAR-16.vst3" "$HOME/.lv2/PULSKAR-16.lv2"
cp -R "$artefacts/VST3/PULSKAR-16.vst3" "$HOME/.vst3/"
cp -R "$artefacts/LV2/PULSKAR-16.lv2" "$HOME/.lv2/"
echo "installed PULSKAR-16 into $HOME/.vst3 and $HOME/.lv2"
