#!/usr/bin/env bash
# Builds the test programs with a sanitizer and runs the suites under a virtual X display:
#   thread   ThreadSanitizer, in build-tsan
#   address  AddressSanitizer + UndefinedBehaviorSanitizer (+ LeakSanitizer), in build-asan
#   both     one after the other (the default)
#
#   scripts/sanitize.sh [thread|address|both] [ctest -R filter]
#
# Every test runs, the unit/processor/editor tests and the host-level VST3 tests (the bundle is
# built with the same sanitizer, so the instrument's code is checked inside the host too). The
# first report stops its test program, which fails that test; the log of each run is kept in
# <build>/sanitize.log. A second argument limits the run to the tests whose names match it.
# tests/sanitizers/tsan.supp lists the races inside JUCE itself that are not ours to fix, each
# with its reason; the instrument's own code has no suppressions.
#
# The whole suite takes a few minutes under either sanitizer. For a quicker pass, the tests that
# put the most threads on one instance:
#   scripts/sanitize.sh thread 'ThreadSafety|RealtimeSafety|StateCanBeRead|Vst3Stress|Sequencer'
#
# JOBS sets the build's parallel jobs (default: the number of cores).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
which="${1:-both}"
filter="${2:-}"
jobs="${JOBS:-$(nproc)}"

case "$which" in
    thread | address | both) ;;
    *) echo "usage: $0 [thread|address|both] [test filter]" >&2; exit 2 ;;
esac

scripts/install-deps.sh

suppressions="$root/tests/sanitizers"

run_one() {
    local kind="$1" build="$2"
    local started built finished

    started=$(date +%s)
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPULSKAR_BUILD_BENCH=OFF -DPULSKAR_SANITIZE="$kind"
    cmake --build "$build" --target pulskar_tests pulskar_vst3_host_tests pulskar_lv2_host -j"$jobs"
    built=$(date +%s)

    local args=(--test-dir "$build" --output-on-failure -j2 --timeout 1200)
    [ -n "$filter" ] && args+=(-R "$filter")

    local status=0
    if [ "$kind" = thread ]; then
        TSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:second_deadlock_stack=1:history_size=7:suppressions=$suppressions/tsan.supp" \
            xvfb-run -a -s "-screen 0 1920x1200x24" ctest "${args[@]}" 2>&1 | tee "$build/sanitize.log" || status=$?
    else
        ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
            xvfb-run -a -s "-screen 0 1920x1200x24" ctest "${args[@]}" 2>&1 | tee "$build/sanitize.log" || status=$?
    fi
    finished=$(date +%s)

    echo "sanitize $kind: build $((built - started)) s, tests $((finished - built)) s"
    return "$status"
}

status=0
if [ "$which" = thread ] || [ "$which" = both ]; then
    run_one thread build-tsan || status=1
fi
if [ "$which" = address ] || [ "$which" = both ]; then
    run_one address build-asan || status=1
fi
exit "$status"
