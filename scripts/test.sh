#!/usr/bin/env bash
# Builds everything and runs every test: the unit and host-level tests (under a virtual display,
# since some of them open windows), the LV2 check in a lilv host and a bounded fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
xvfb-run -a -s "-screen 0 1920x1200x24" ctest --test-dir build --output-on-failure -j1
for extra in scripts/test-*.sh; do
    [ -x "$extra" ] && "$extra" build
done
echo "all tests passed"
