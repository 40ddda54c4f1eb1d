#!/usr/bin/env bash
# Builds everything and runs every test:
#   - the unit, processor, editor and host-level tests (ctest, under a virtual X display since
#     some of them open windows), including the built VST3 in JUCE's VST3 hosting and the LV2
#     bundle in a lilv host;
#   - the standalone app driven as a musician would, under Xvfb;
#   - a bounded fuzz run of the host-state and preset readers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build

xvfb-run -a -s "-screen 0 1920x1200x24" ctest --test-dir build --output-on-failure -j2 --timeout 900

shots="$(mktemp -d)"
tests/gui/standalone_walkthrough.sh build/PULSKAR16_artefacts/RelWithDebInfo/Standalone/PULSKAR-16 "$shots"
rm -rf "$shots"

if [ -x scripts/fuzz.sh ]; then
    scripts/fuzz.sh 60
fi
echo "all tests passed"
