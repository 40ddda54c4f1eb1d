#!/usr/bin/env bash
# Fuzzes the readers of host state and preset files for a bounded time (libFuzzer with clang,
# address and undefined-behaviour sanitizers). Crashing inputs are kept in <build>/fuzz-artifacts.
#   scripts/fuzz.sh [seconds, default 60] [build folder, default build-fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${2:-build-fuzz}"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DPULSKAR_FUZZ=ON -DPULSKAR_SANITIZE=address -DPULSKAR_BUILD_TESTS=OFF -DPULSKAR_BUILD_BENCH=OFF
cmake --build "$build" --target pulskar_fuzz_state -j"$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
corpus="$work/corpus"
mkdir -p "$corpus" "$build/fuzz-artifacts"

# Seeds: every factory preset through each of the four readers (the first byte picks the reader).
i=0
for preset in resources/presets/*.pk16; do
    for mode in 0 1 2 3; do
        { printf "\\x0$mode"; cat "$preset"; } > "$corpus/seed-$i-$mode"
    done
    i=$((i + 1))
done
# A host state blob as the instrument writes it: magic, length, one-line document, zero byte.
{ printf '\x00VC2!\x2a\x00\x00\x00'; printf '<ORRAKV currentPresetName="Seed"><PARAM id="cutoff" value="440"/></ORRAKV>'; printf '\x00'; } > "$corpus/seed-envelope"

export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

"$build/fuzz/pulskar_fuzz_state" "$corpus" \
    -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=4096 \
    -dict=fuzz/state.dict -artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1
