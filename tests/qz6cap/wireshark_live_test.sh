#!/bin/bash
# wireshark_live_test.sh BUILD_DIR
#
# Wireshark live as the README tells it, in a demo prefix of the test's own:
# after "./qz6 extcap install", tshark -D lists qz6-ROZAR6O0 and
# qz6-KORQZ6C1, and two live captures in a row record what "qz6sim gen"
# sends as the link type chosen, leaving no qz6cap running and no receive
# enabled. The extcap folder is the machine's: one test at a time (a lock
# in /tmp), its program always removed, one found there put back.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(realpath -m "$1")"
export QZ6_BUILD_DIR="$build" XDG_DATA_HOME="$build/extcap-test/data"
source "$root/tools/wine/env.sh"
folder="$(tshark -G folders 2>/dev/null | sed -nE 's/^(Global )?Extcap path:[[:space:]]*//p' | head -n 1)"
wrapper="$folder/qz6cap-extcap" lock=/tmp/qz6-wireshark-extcap.lock saved="" failures=0
[[ -w "$folder" ]] || { echo "SKIPPED: $folder is root's"; exit 77; }

check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
sim() { "$root/qz6" sim "$@" </dev/null 2>&1 | tr -d '\r'; }
capturing() { grep -q 'handles .* 1 receive pending' <<<"$(sim status 0)"; }
program_runs() { pgrep -f "$build/win32/bin/[q]z6cap.exe" >/dev/null; }  # [q]: not pgrep's own line
stop_prefix() { WINEPREFIX="$XDG_DATA_HOME/qz6/prefix" "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true; }
finish() {
    "$root/qz6" extcap remove >/dev/null || echo "FAILED: ./qz6 extcap remove"
    [[ -z "$saved" ]] || mv -f "$saved" "$wrapper"
    stop_prefix
    rm -rf "$lock"
}
until mkdir "$lock" 2>/dev/null; do  # taken over from a holder that is gone
    kill -0 "$(cat "$lock/pid" 2>/dev/null || echo 0)" 2>/dev/null || rm -rf "$lock"; sleep 1
done
echo $$ >"$lock/pid"
trap finish EXIT
if [[ -e "$wrapper" ]]; then saved="$(mktemp /tmp/qz6cap-extcap.saved.XXXXXX)" && mv -f "$wrapper" "$saved"; fi
stop_prefix
rm -rf "$build/extcap-test"
mkdir -p "$XDG_DATA_HOME"
sim status >/dev/null  # makes the demo prefix
"$root/qz6" extcap install

listing="$(timeout 60 tshark -D 2>/dev/null || echo "tshark -D did not end")"
for name in ROZAR6O0 KORQZ6C1; do
    check "tshark -D lists qz6-$name (R731 $name)" grep -qE "^[0-9]+\. qz6-$name \(R731 $name\)$" <<<"$listing"
done
# Cisco HDLC, then the default (no decoding: exported PDUs tagged "data").
for run in "chdlc:data|-o extcap.qz6_rozar6o0.linktype:CHDLC" "exported_pdu:data|"; do
    protocols="${run%%|*}" file="$build/extcap-test/${run%%:*}.pcapng"
    # shellcheck disable=SC2086  # the link type option: two words or none
    timeout 120 tshark -i qz6-ROZAR6O0 -o extcap.qz6_rozar6o0.configure:true ${run#*|} -a duration:8 \
        -w "$file" >"$file.log" 2>&1 &
    for (( i = 0; i < 100; i++ )); do capturing && break; sleep 0.1; done
    check "$protocols: qz6cap receives" capturing
    sim gen 0 40 50 25 >/dev/null
    wait $! || true
    for (( i = 0; i < 100; i++ )); do program_runs || break; sleep 0.1; done
    check "$protocols: no qz6cap.exe left" test -z "$(pgrep -f "$build/win32/bin/[q]z6cap.exe")"
    check "$protocols: tshark says no error" test -z "$(grep -i error "$file.log")"
    decoded="$(tshark -r "$file" -T fields -e frame.protocols 2>/dev/null | sort | uniq -c | sed 's/^ *//')"
    check "$protocols: 25 frames, each $protocols ($decoded)" test "$decoded" == "25 $protocols"
    check "$protocols: communications disabled, no handle left" \
        grep -qzE 'channel +disabled.*handles +0 open, 0 receives pending' <<<"$(sim status 0)"
done
"$root/qz6" extcap remove
check "the program is removed" test ! -e "$wrapper"
(( failures == 0 ))
