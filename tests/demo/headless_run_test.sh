#!/bin/bash
# headless_run_test.sh BUILD_DIR
#
# What the README promises of "./qz6 run" on a machine without a display:
# the address it names opens noVNC's page connected and scaled, the page is
# served, the VNC server answers, the monitor's main window stays on the
# virtual display until Ctrl-C, "./qz6 mon" puts a second monitor on that
# display, and Ctrl-C leaves no process of the run behind. The run has a demo prefix of its own (HOME and
# XDG_DATA_HOME in BUILD_DIR/demo-test, made afresh) and free ports, so a
# demo of the user's may run beside it.
set -euo pipefail
set -m  # the run gets a process group of its own and takes SIGINT as from a terminal

[[ $# -eq 1 ]] || { sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2; }
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(realpath -m "$1")"
scratch="$build/demo-test"
rm -rf "$scratch"
mkdir -p "$scratch/home" "$scratch/data"
log="$scratch/run.log"

failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
free_port() {
    local port=$((20000 + RANDOM % 30000))
    while port_open "$port" || port_open "$((port + 1))"; do port=$((20000 + RANDOM % 30000)); done
    echo "$port"
}
# Processes of the run: all of them inherit its XDG_DATA_HOME.
run_processes() {
    local dir
    for dir in /proc/[0-9]*; do
        if tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF "XDG_DATA_HOME=$scratch/data"; then
            printf '%s %s\n' "${dir#/proc/}" "$(tr '\0' ' ' 2>/dev/null <"$dir/cmdline")"
        fi
    done
}
http_get() {  # http_get PORT PATH: the whole answer
    exec 3<>"/dev/tcp/127.0.0.1/$1" && printf 'GET %s HTTP/1.0\r\n\r\n' "$2" >&3 && timeout 5 cat <&3
}
first_line() { exec 3<>"/dev/tcp/127.0.0.1/$1" && timeout 5 head -n 1 <&3; }
ended() { ! kill -0 "$1" 2>/dev/null; }
monitor_windows() { DISPLAY="$display" xdotool search --name '^HDLC Streaming Monitor$' 2>/dev/null | wc -l; }
monitor_shown() { (( $(monitor_windows) > 0 )); }

vnc_port="$(free_port)"
web_port=$((vnc_port + 1))
started=$SECONDS
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" \
    QZ6_BUILD_DIR="$build" QZ6_VNC_PORT="$vnc_port" QZ6_WEB_PORT="$web_port" \
    "$root/qz6" run </dev/null >"$log" 2>&1 &
run=$!

# Ready when it names the page; the first run makes the prefix.
until grep -qF "open http://localhost:$web_port/vnc.html?autoconnect=1&resize=scale" "$log"; do
    if ! kill -0 "$run" 2>/dev/null || (( SECONDS - started > 240 )); then
        echo "FAILED: ./qz6 run never named the page"
        cat "$log"
        kill -INT "$run" 2>/dev/null || true
        exit 1
    fi
    sleep 0.2
done
echo "./qz6 run ready after $((SECONDS - started)) s"
display="$(sed -n 's/.*on the virtual display \(:[0-9]*\):.*/\1/p' "$log")"

check "vnc.html served on port $web_port" grep -q 'noVNC' <(http_get "$web_port" /vnc.html)
check "the VNC server on port $vnc_port greets with RFB" \
    grep -qxE 'RFB 003\.00[0-9]' <(first_line "$vnc_port")
for (( i = 0; i < 50; i++ )); do monitor_shown && break; sleep 0.2; done
check "the monitor's main window is on display $display" monitor_shown
processes="$(run_processes)"
for name in Xvfb x11vnc websockify wineserver; do check "$name runs for the run" grep -q "$name" <<<"$processes"; done

# A second monitor, as the README's walk-through asks for, from a terminal
# without the display.
shown=$(monitor_windows)
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" \
    QZ6_BUILD_DIR="$build" "$root/qz6" mon </dev/null >"$scratch/mon.log" 2>&1 &
mon=$!
for (( i = 0; i < 100; i++ )); do (( $(monitor_windows) > shown )) && break; sleep 0.2; done
check "./qz6 mon adds a monitor window on display $display" test "$(monitor_windows)" -gt "$shown"
sleep 3
check "the monitor's main window is still there" monitor_shown
check "./qz6 run still runs" kill -0 "$run"

kill -INT "$run"
for (( i = 0; i < 150; i++ )); do ended "$run" && break; sleep 0.1; done
check "Ctrl-C ends ./qz6 run" ended "$run"
wait "$run" 2>/dev/null || true
for (( i = 0; i < 50; i++ )); do ended "$mon" && break; sleep 0.1; done
check "./qz6 mon ends with the demo" ended "$mon"
wait "$mon" 2>/dev/null || true
left="$(run_processes)"
check "nothing of the run is left" test -z "$left"
if [[ -n "$left" ]]; then
    echo "$left"
    while read -r pid _; do kill "$pid" 2>/dev/null || true; done <<<"$left"
fi
(( failures == 0 )) || { echo "--- ./qz6 run said:"; cat "$log"; echo "--- ./qz6 mon said:"; cat "$scratch/mon.log"; }
echo "$failures failed, $((SECONDS - started)) s"
(( failures == 0 ))
