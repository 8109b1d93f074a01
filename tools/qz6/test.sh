#!/bin/bash
# usage: ./qz6 test [-R REGEX] [-E REGEX] [-L LABEL] [-LE LABEL]
#
# Sets up, builds, then runs every check: static analysis (cppcheck and the
# include rules, as ./qz6 check), a short run of every fuzzer, a short run of
# the driver fuzzer, the native tests (build/host) and the Windows tests
# under Wine (build/win32: the Wine tests, the end-to-end suite and the
# headless demo). Without a display it starts its own Xvfb. Output goes to
# the terminal and to build/*.log; the last line reads "N passed, N
# failed", and the exit status is 1 when anything failed.
#
# The options go to ctest and pick tests in both trees; with any of them,
# static analysis and the fuzzer runs are left out:
#   -R REGEX    only the tests whose name matches REGEX
#   -E REGEX    leave out the tests whose name matches REGEX
#   -L LABEL    only the tests with a label matching LABEL: host (native),
#               wine (Windows tests under Wine, e2e among them), e2e (the
#               end-to-end suite), demo (./qz6 run without a display)
#   -LE LABEL   leave out the tests with a label matching LABEL
#
# Environment: QZ6_FUZZ_SECONDS (each fuzzer's run, default 5),
# QZ6_DRIVER_FUZZ_SECONDS (the driver fuzzer's run, default 20), and
# QZ6_BUILD_DIR, QZ6_ARCH, QZ6_JOBS as for ./qz6 build.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/check.sh"

filter=()
while (( $# )); do
    case "$1" in
        -h|--help) usage ;;
        -R|-E|-L|-LE) [[ $# -ge 2 ]] || bad_usage "$1 needs a value"; filter+=("$1" "$2"); shift 2 ;;
        *) bad_usage "unknown argument '$1'" ;;
    esac
done

# Adds the counts of a ctest log's "N tests failed out of M" to passed and
# failed.
count_results() {
    local log="$1" status="$2" line
    line="$(grep -aE '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)"
    if [[ -n "$line" ]]; then
        local f t
        f="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
        t="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")"
        passed=$(( passed + t - f ))
        failed=$(( failed + f ))
        if (( status != 0 && f == 0 )); then
            note "ctest exited with status $status ($log)"
            failed=$(( failed + 1 ))
        fi
    elif (( status != 0 )); then
        note "ctest exited with status $status and no summary ($log)"
        failed=$(( failed + 1 ))
    fi
}

run_ctest() {
    local tree="$1"
    shift
    local log="$QZ6_BUILD_DIR/test-$tree.log" status=0
    echo "=== $tree tests"
    # With pipefail the status is ctest's.
    ctest --test-dir "$QZ6_BUILD_DIR/$tree" --output-on-failure "$@" 2>&1 | tee "$log" || status=$?
    count_results "$log" "$status"
}

# run_step NAME LOG COMMAND...: one passed or failed item for a command
# whose exit status is its verdict.
run_step() {
    local name="$1" log="$2" status=0
    shift 2
    echo "=== $name"
    "$@" 2>&1 | tee "$log" || status=$?
    if (( status == 0 )); then
        passed=$(( passed + 1 ))
    else
        echo "$name: failed (see $log)"
        failed=$(( failed + 1 ))
    fi
}

run_setup
run_build || die "the build failed; no tests run"
source "$ROOT/tools/wine/env.sh"
# The test prefix starts afresh on this run's display, and nothing of it
# outlives a display that this script started.
stop_prefix='WINEPREFIX="$QZ6_BUILD_DIR/wineprefix" "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null'
eval "$stop_prefix" || true
if [[ -z "${DISPLAY:-}" ]]; then
    start_xvfb 1280x1024
    cleanup_actions+=("$stop_prefix")
fi
if (( ${#filter[@]} == 0 )); then
    run_static_analysis
    run_include_check
    # A crash of a fuzzer or a failure the driver fuzzer finds fails.
    run_step "fuzzers (short run)" "$QZ6_BUILD_DIR/fuzz-short.log" \
        "$ROOT/tools/fuzz.sh" "${QZ6_FUZZ_SECONDS:-5}"
    run_step "driver fuzzer (short run)" "$QZ6_BUILD_DIR/driver-fuzz-short.log" \
        "$ROOT/tools/driver_fuzz/run.sh" "${QZ6_DRIVER_FUZZ_SECONDS:-20}"
fi
run_ctest host -j "$JOBS" "${filter[@]}"
run_ctest win32 "${filter[@]}"
echo "$passed passed, $failed failed"
(( failed == 0 ))
