#!/bin/bash
# wireshark_live_test.sh BUILD_DIR
#
# Wireshark live, as the README tells it: "./qz6 extcap install", then
# tshark -D lists the demo's adapters as qz6-ROZAR6O0 and qz6-KORQZ6C1, and
# a live tshark capture on qz6-ROZAR6O0 records the frames "qz6sim gen"
# sends, decoded as the link type chosen; after it nothing of qz6cap runs
# and no receive is left enabled, and a second capture right after works.
# "./qz6 extcap remove" always ends it, and a wrapper that was there before
# is put back. The demo prefix is the test's own (XDG_DATA_HOME in
# BUILD_DIR/extcap-test, made afresh). Wireshark's extcap folder is the
# machine's: one such test at a time installs there (a lock beside it in
# /tmp). Without root to write that folder it is skipped (status 77).
set -euo pipefail

[[ $# -eq 1 ]] || { sed -n '2,14s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2; }
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(realpath -m "$1")"
scratch="$build/extcap-test"
export QZ6_BUILD_DIR="$build" XDG_DATA_HOME="$scratch/data"
source "$root/tools/wine/env.sh"
prefix="$XDG_DATA_HOME/qz6/prefix"
folder="$(tshark -G folders 2>/dev/null | sed -nE 's/^(Global )?Extcap path:[[:space:]]*//p' | head -n 1)"
wrapper="$folder/qz6cap-extcap"
lock=/tmp/qz6-wireshark-extcap.lock
[[ -w "$folder" ]] || { echo "SKIPPED: $folder is not writable here (root installs there)"; exit 77; }

failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
sim() { "$root/qz6" sim "$@" </dev/null 2>&1 | tr -d '\r'; }
capturing() { grep -q 'handles .* 1 receive pending' <<<"$(sim status 0)"; }
# The qz6cap.exe of this build runs (the brackets keep pgrep from finding
# a command line that holds the pattern).
program_runs() { pgrep -f "$build/win32/bin/[q]z6cap.exe" >/dev/null; }

stop_prefix() { WINEPREFIX="$prefix" "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true; }
# Another test's lock is taken over once its holder is gone.
until mkdir "$lock" 2>/dev/null; do
    holder="$(cat "$lock/pid" 2>/dev/null || true)"
    [[ -n "$holder" ]] && ! kill -0 "$holder" 2>/dev/null && rm -rf "$lock"
    sleep 1
done
echo $$ >"$lock/pid"
saved=""
finish() {
    "$root/qz6" extcap remove >/dev/null || echo "FAILED: ./qz6 extcap remove"
    [[ -z "$saved" ]] || mv -f "$saved" "$wrapper"
    stop_prefix
    rm -rf "$lock"
}
trap finish EXIT
if [[ -e "$wrapper" ]]; then
    saved="$(mktemp /tmp/qz6cap-extcap.saved.XXXXXX)"
    mv -f "$wrapper" "$saved"
fi

stop_prefix
rm -rf "$scratch"
mkdir -p "$scratch"
sim status >/dev/null  # makes the demo prefix: ROZAR6O0 and KORQZ6C1 with their loopback plugs
"$root/qz6" extcap install
check "the wrapper is installed" test -x "$wrapper"

listing="$(timeout 60 tshark -D 2>/dev/null || echo "tshark -D did not end: $?")"
for name in ROZAR6O0 KORQZ6C1; do
    check "tshark -D lists qz6-$name (R731 $name)" grep -qE "^[0-9]+\. qz6-$name \(R731 $name\)$" <<<"$listing"
done

# Link type CHDLC, then the default (no decoding: exported PDUs tagged "data").
runs=("chdlc:data|-o extcap.qz6_rozar6o0.linktype:CHDLC" "exported_pdu:data|")
for run in "${runs[@]}"; do
    protocols="${run%%|*}"
    file="$scratch/live-${protocols%%:*}.pcapng"
    # shellcheck disable=SC2086  # the link type option is two words or none
    timeout 120 tshark -i qz6-ROZAR6O0 -o extcap.qz6_rozar6o0.configure:true ${run#*|} -a duration:8 \
        -w "$file" >"$file.log" 2>&1 &
    tshark_pid=$!
    for (( i = 0; i < 100; i++ )); do capturing && break; sleep 0.1; done
    check "$protocols: qz6cap receives" capturing
    sim gen 0 40 50 25 >/dev/null
    wait "$tshark_pid" || true
    for (( i = 0; i < 100; i++ )); do program_runs || break; sleep 0.1; done
    check "$protocols: no qz6cap.exe left after tshark" test -z "$(pgrep -f "$build/win32/bin/[q]z6cap.exe")"
    check "$protocols: tshark said nothing of an error" bash -c '! grep -qi "error" "$0"' "$file.log"
    decoded="$(tshark -r "$file" -T fields -e frame.protocols 2>/dev/null | sort | uniq -c | sed 's/^ *//')"
    check "$protocols: the 25 frames sent, each decoded as $protocols ($decoded)" test "$decoded" == "25 $protocols"
    status="$(sim status 0)"
    check "$protocols: communications disabled again, no receive pending" \
        grep -qE 'channel +disabled.*' <<<"$status"
    check "$protocols: no handle left open" grep -qE 'handles +0 open, 0 receives pending' <<<"$status"
done

"$root/qz6" extcap remove
check "the wrapper is removed" test ! -e "$wrapper"
echo "$failures failed"
(( failures == 0 ))
