#!/bin/bash
# Runs the driver fuzzer (driver_fuzz.exe) against the freshly built
# zurezi6.sys, in a Wine prefix of its own ($QZ6_BUILD_DIR/driver-fuzz/prefix,
# made like the test prefix: adapters 0 to 3 configured).
#
#   tools/driver_fuzz/run.sh [SECONDS] [--seed N]
#
# SECONDS defaults to 60. The prefix's Wine processes (and so the driver
# host) are started here with their error output in
# $QZ6_BUILD_DIR/driver-fuzz/wine.log, where a crash of winedevice.exe
# leaves its backtrace; the run's own output goes to the terminal and to
# $QZ6_BUILD_DIR/driver-fuzz/run.log. The prefix is stopped at the end, so
# that a driver host left broken never carries over to the next run. The
# exit status is the fuzzer's: non-zero on any failure found.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../wine/env.sh" || exit 2

usage() {
    sed -n '2,15s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 2
}

seconds=60
fuzz_args=()
while (( $# )); do
    case "$1" in
        --seed) [[ $# -ge 2 && "$2" =~ ^[0-9]+$ ]] || usage; fuzz_args+=(--seed "$2"); shift 2 ;;
        -h|--help) usage ;;
        *) [[ "$1" =~ ^[0-9]+$ ]] || usage; seconds="$1"; shift ;;
    esac
done

bin="$QZ6_BUILD_DIR/win32/bin"
for program in driver_fuzz.exe zurezi6.sys; do
    [[ -f "$bin/$program" ]] || { echo "driver_fuzz: $bin/$program is not built (./qz6 build)" >&2; exit 2; }
done

work="$QZ6_BUILD_DIR/driver-fuzz"
prefix="$work/prefix"
mkdir -p "$work"
export WINEPREFIX="$prefix"
"$here/../wine/prefix.sh" create "$prefix" || exit 2
"$here/../wine/prefix.sh" install-driver "$prefix" "$bin/zurezi6.sys" 0 1 2 3 || exit 2

# Restart the prefix with its services' error output kept: the driver host
# is started by the service manager, which inherits it from the server.
"$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true
"$QZ6_WINESERVER" -w >/dev/null 2>&1 </dev/null || true
wine_log="$work/wine.log"
: > "$wine_log"
"$QZ6_WINESERVER" -p60 >/dev/null 2>>"$wine_log" </dev/null || true
"$QZ6_WINE" cmd /c exit >/dev/null 2>>"$wine_log" </dev/null || true
trap '"$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true' EXIT

# The fuzzer writes to a file, shown as it grows: a Wine process that
# outlives it (a driver host it restarted) could otherwise hold a pipe open.
# It ends itself after its run and the check; a fuzzer still there well
# after that is stuck for good.
run_log="$work/run.log"
: > "$run_log"
status=0
timeout -k 10 $(( seconds + 180 )) "$QZ6_WINE" "$bin/driver_fuzz.exe" --seconds "$seconds" "${fuzz_args[@]}" \
    >"$run_log" 2>&1 </dev/null &
fuzz_pid=$!
tail -n +1 -f --pid="$fuzz_pid" "$run_log" | sed -u 's/\r$//'
wait "$fuzz_pid" || status=$?
if (( status == 124 || status == 137 )); then
    echo "driver_fuzz: the fuzzer did not end within $(( seconds + 180 )) s: stuck, killed"
elif (( status != 0 )) && ! grep -aq '^driver_fuzz: [0-9]* failures' "$run_log"; then
    echo "driver_fuzz: the fuzzer ended with status $status before its summary: it crashed"
fi

# What Wine itself reported: crashes of the driver host and of the fuzzer.
if grep -aqiE 'unhandled|exception|page fault|backtrace|assert' "$wine_log"; then
    echo "driver_fuzz: Wine reported a crash (full log: $wine_log):"
    grep -aiE -A8 'unhandled|exception|page fault|assert' "$wine_log" | head -60
    (( status != 0 )) || status=1
fi
exit "$status"
