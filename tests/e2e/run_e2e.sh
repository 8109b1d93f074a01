#!/bin/bash
# run_e2e.sh PHASE BUILD_DIR
#
# One phase of the end-to-end suite, in a Wine prefix of its own
# (BUILD_DIR/e2e/prefix), never the shared test prefix:
#   bare       makes the prefix afresh with only the driver file in
#              system32\drivers, as a setup program would leave it
#   install    the configurator's first run, a restart of the prefix, then
#              the adapters the driver serves
#   session    two monitors on a null-modem cable
#   faults     the adapter unplugged, the service stopped, bad answers
#   finish     stops the prefix; pictures become BUILD_DIR/screens/*.png
set -euo pipefail

[[ $# -eq 2 ]] || { sed -n '2,13s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2; }
phase="$1"
export QZ6_BUILD_DIR
QZ6_BUILD_DIR="$(realpath -m "$2")"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/wine/env.sh"

export WINEPREFIX="$QZ6_BUILD_DIR/e2e/prefix"
bin="$QZ6_BUILD_DIR/win32/bin"
export QZ6_E2E_SCREENS="$QZ6_BUILD_DIR/e2e/screens"
keepalive="$bin/qz6keepalive.exe"

stop_prefix() {
    "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true
    "$QZ6_WINESERVER" -w >/dev/null 2>&1 </dev/null || true
}

# Runs the suite's program on the tests matching FILTER. Wine's long-lived
# processes are started detached first (qz6_wine_up), so that none of them
# holds ctest's output.
run_tests() {
    qz6_prefix_ready "$WINEPREFIX" || { echo "run_e2e: no prefix; the bare phase makes it" >&2; exit 1; }
    qz6_wine_up "$keepalive"
    "$QZ6_WINE" "$bin/e2e_tests.exe" --gtest_filter="$1"
}

case "$phase" in
    bare)
        mkdir -p "$QZ6_BUILD_DIR/e2e"
        if [[ -d "$WINEPREFIX" ]]; then
            stop_prefix
            rm -rf "$WINEPREFIX"
        fi
        rm -rf "$QZ6_E2E_SCREENS"
        mkdir -p "$QZ6_E2E_SCREENS"
        "$root/tools/wine/prefix.sh" create "$WINEPREFIX"
        [[ -f "$bin/zurezi6.sys" ]] || { echo "run_e2e: $bin/zurezi6.sys is not built" >&2; exit 1; }
        cp -f "$bin/zurezi6.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/zurezi6.sys"
        echo "run_e2e: bare prefix $WINEPREFIX ready"
        ;;
    install)
        run_tests 'Install.*'
        # What the configurator's reminder asks for: the system restarts, and
        # the service manager starts the new service with it.
        stop_prefix
        run_tests 'Installed.*'
        ;;
    session)
        run_tests 'Session.*'
        ;;
    faults)
        run_tests 'Faults.*'
        ;;
    finish)
        stop_prefix
        shopt -s nullglob
        converted=0
        for bmp in "$QZ6_E2E_SCREENS"/*.bmp; do
            convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp" && converted=$((converted + 1))
        done
        mkdir -p "$QZ6_BUILD_DIR/screens"
        for png in "$QZ6_E2E_SCREENS"/*.png; do
            cp -f "$png" "$QZ6_BUILD_DIR/screens/"
        done
        echo "run_e2e: $converted pictures in $QZ6_BUILD_DIR/screens"
        ;;
    *)
        echo "run_e2e: unknown phase '$phase'" >&2
        exit 2
        ;;
esac
