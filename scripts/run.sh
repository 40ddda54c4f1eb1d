#!/usr/bin/env bash
# The main job: builds the instrument, installs the plug-ins into the user's plug-in folders and
# renders a demo through the real processor into pulskar16-demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
scripts/install-plugins.sh build
./build/tools/render/pulskar_render "$@"
