#!/bin/bash
# usage: ./qz6 run | conf | mon | sim ARGS... | cap ARGS...
#
# The demo, in a persistent Wine prefix of its own
# (${XDG_DATA_HOME:-~/.local/share}/qz6/prefix) with the driver installed:
#   run        sets up, builds, makes the prefix where needed with adapters
#              ROZAR6O0 and KORQZ6C1 set up (each with its loopback plug),
#              prints what the simulator reports, then starts the monitor
#              in a 1280x800 Wine desktop window on your display; without
#              a display, on a virtual one served to a browser by noVNC
#              (the address is printed). Ctrl-C stops it and everything it
#              started. The monitor's current directory is build/win32/bin.
#   conf       the hardware configurator (qz6conf), likewise; the service
#              is restarted when it ends, as its reminder asks, and the
#              adapters the driver then serves are listed
#   mon        another monitor beside the one ./qz6 run shows (run it in a
#              second terminal): on the demo's display, virtual or not
#   sim ARGS   qz6sim.exe ARGS in the demo prefix (./qz6 sim help: its
#              commands)
#   cap ARGS   qz6cap.exe ARGS in the demo prefix, from the current
#              directory, its output and exit status passed on as they are
#              (./qz6 cap -h: qz6cap's own usage; ./qz6 cap --help: this)
#
# Environment: QZ6_VNC_PORT and QZ6_WEB_PORT (the VNC server and the noVNC
# page of a demo without display: 5900 and 6080), XDG_DATA_HOME (where the
# prefix lives), and QZ6_BUILD_DIR, QZ6_ARCH, QZ6_JOBS as for ./qz6 build.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

bin="$QZ6_BUILD_DIR/win32/bin"
prefix="${XDG_DATA_HOME:-$HOME/.local/share}/qz6/prefix"
# The display the running demo's programs are on, for ./qz6 mon.
display_record="$prefix.display"

# The demo's VNC server and noVNC page; other ports let a second demo (or
# the test of the demo) run beside one that has these.
vnc_port="${QZ6_VNC_PORT:-5900}"
web_port="${QZ6_WEB_PORT:-6080}"

# port_open PORT: succeeds when something on this machine accepts a
# connection on PORT.
port_open() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# start_web_display WIDTHxHEIGHT: a private X server as start_xvfb, shown
# by x11vnc and served to a browser by noVNC through websockify; returns
# once both listen.
start_web_display() {
    local port
    for port in "$vnc_port" "$web_port"; do
        ! port_open "$port" || die "port $port is taken (QZ6_VNC_PORT and QZ6_WEB_PORT choose others)"
    done
    start_xvfb "$1"
    x11vnc -display "$DISPLAY" -localhost -nopw -forever -shared -rfbport "$vnc_port" -quiet \
        </dev/null >"$QZ6_BUILD_DIR/x11vnc.log" 2>&1 &
    started_pids+=("$!")
    websockify --web /usr/share/novnc "$web_port" "localhost:$vnc_port" \
        </dev/null >"$QZ6_BUILD_DIR/websockify.log" 2>&1 &
    started_pids+=("$!")
    local i
    for (( i = 0; i < 200; i++ )); do
        port_open "$vnc_port" && port_open "$web_port" && return 0
        sleep 0.05
    done
    die "the VNC server or websockify did not start (see $QZ6_BUILD_DIR/x11vnc.log, websockify.log)"
}

demo_driver_installed() {
    qz6_prefix_ready "$prefix" && [[ -f "$prefix/drive_c/windows/system32/drivers/zurezi6.sys" ]]
}

# Makes the demo prefix with the driver and adapters 0 and 1; restarts the
# service. Once the prefix exists, its adapters are what the configurator
# (./qz6 conf) left there; only the driver file is renewed.
demo_setup() {
    local sys="$bin/zurezi6.sys" adapters=(0 1)
    demo_driver_installed && adapters=(--keep-adapters)
    [[ -f "$sys" ]] || die "$sys is not built"
    mkdir -p "$(dirname "$prefix")"
    if ! qz6_prefix_ready "$prefix"; then
        "$ROOT/tools/wine/prefix.sh" create "$prefix"
        # One desktop window holds every program of the demo.
        WINEPREFIX="$prefix" "$QZ6_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f \
            >/dev/null 2>&1 </dev/null
        WINEPREFIX="$prefix" "$QZ6_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x800 /f \
            >/dev/null 2>&1 </dev/null
    fi
    "$ROOT/tools/wine/prefix.sh" install-driver "$prefix" "$sys" "${adapters[@]}"
}

# demo_display: without a display, starts one served to a browser. The
# prefix's desktop process keeps the display it was born with, so whatever
# of the prefix still runs (a "./qz6 sim" of a moment ago) is stopped first,
# and the display comes before anything starts the prefix again. The
# prefix's programs end with the demo. The display is recorded for
# ./qz6 mon while the demo runs.
demo_display() {
    export WINEPREFIX="$prefix"
    local stop_prefix='"$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null; "$QZ6_WINESERVER" -w >/dev/null 2>&1 </dev/null'
    demo_headless=0
    if [[ -z "${DISPLAY:-}" ]]; then
        demo_headless=1
        eval "$stop_prefix" || true
        start_web_display 1280x800
    fi
    cleanup_actions+=("$stop_prefix" 'rm -f "$display_record"')
    mkdir -p "$(dirname "$prefix")"
    printf '%s\n' "$DISPLAY" > "$display_record"
}

# Where the demo's windows are, for people.
demo_where() {
    if (( demo_headless )); then
        echo "$1 runs on the virtual display $DISPLAY: open http://localhost:$web_port/vnc.html?autoconnect=1&resize=scale"
    else
        echo "$1 runs on $DISPLAY."
    fi
}

# start_program EXE LOG: starts EXE of the build in the demo prefix, from
# its own directory, and waits until it ends.
start_program() {
    (cd "$(dirname "$1")" && exec "$QZ6_WINE" "$1" </dev/null >"$2" 2>&1) &
    local pid=$!
    started_pids+=("$pid")
    wait "$pid" || true
}

cmd_run() {
    local sim="$bin/qz6sim.exe" mon="$bin/qz6mon.exe"
    run_setup
    run_build
    source "$ROOT/tools/wine/env.sh"
    demo_display
    demo_setup
    if [[ -f "$sim" ]]; then
        "$QZ6_WINE" "$sim" status </dev/null
    else
        note "$sim is not built"
    fi
    echo "Wine prefix: $WINEPREFIX"
    [[ -f "$mon" ]] || die "$mon is not built"
    demo_where "The monitor"
    echo "Ctrl-C stops it; ./qz6 mon starts another monitor beside it."
    start_program "$mon" "$QZ6_BUILD_DIR/qz6mon.log"
}

cmd_conf() {
    local conf="$bin/qz6conf.exe" sim="$bin/qz6sim.exe"
    run_setup
    run_build
    source "$ROOT/tools/wine/env.sh"
    [[ -f "$conf" ]] || die "$conf is not built"
    demo_display
    demo_driver_installed || demo_setup
    qz6_wine_up ""
    demo_where "The configurator"
    echo "Wine prefix: $WINEPREFIX"
    start_program "$conf" "$QZ6_BUILD_DIR/qz6conf.log"
    # The driver reads its adapters when it starts.
    "$QZ6_WINE" net stop Zurezi6 </dev/null >/dev/null 2>&1 || true
    "$QZ6_WINE" net start Zurezi6 </dev/null >/dev/null 2>&1 || note "the Zurezi6 service did not start"
    if [[ -f "$sim" ]]; then
        "$QZ6_WINE" "$sim" status </dev/null 2>/dev/null
    fi
}

# Another monitor in the demo prefix. Every program of the prefix must be
# on the display its desktop was born with: the running demo's, as it
# recorded it, else this terminal's.
cmd_mon() {
    local mon="$bin/qz6mon.exe" recorded=""
    source "$ROOT/tools/wine/env.sh"
    [[ -f "$mon" ]] || die "$mon is not built: run ./qz6 build"
    demo_driver_installed || die "there is no demo prefix yet: ./qz6 run makes it"
    [[ -f "$display_record" ]] && recorded="$(<"$display_record")"
    if [[ -n "$recorded" ]] && xdpyinfo -display "$recorded" >/dev/null 2>&1; then
        export DISPLAY="$recorded"
    elif [[ -z "${DISPLAY:-}" ]]; then
        die "no demo runs and there is no display: start ./qz6 run first"
    fi
    export WINEPREFIX="$prefix"
    echo "Another monitor runs on $DISPLAY, in the demo's desktop window; closing it ends it."
    start_program "$mon" "$QZ6_BUILD_DIR/qz6mon-$$.log"
}

# run_console_tool EXE ARGS...: a console tool of the build in the demo
# prefix (made when missing; an existing one is used as it is, its service
# and adapters untouched), in place of this script, so that its output and
# exit status are the tool's own.
run_console_tool() {
    local exe="$1"
    shift
    source "$ROOT/tools/wine/env.sh"
    [[ -f "$exe" ]] || die "$exe is not built: run ./qz6 build"
    demo_driver_installed || demo_setup
    export WINEPREFIX="$prefix"
    qz6_wine_up ""
    trap - EXIT
    exec "$QZ6_WINE" "$exe" "$@"
}

cmd_sim() { run_console_tool "$bin/qz6sim.exe" "$@"; }
cmd_cap() { run_console_tool "$bin/qz6cap.exe" "$@"; }

# Sourced (by tools/qz6/extcap.sh) for its functions, it runs nothing.
[[ "${BASH_SOURCE[0]}" == "$0" ]] || return 0

[[ $# -ge 1 ]] || bad_usage
command="$1"
shift
# A sim argument -h belongs to qz6sim unless it comes first; every cap
# argument but a first --help belongs to qz6cap, whose usage is -h.
if [[ "$command" == sim ]]; then
    [[ "${1:-}" == -h || "${1:-}" == --help ]] && usage
elif [[ "$command" == cap ]]; then
    [[ "${1:-}" == --help ]] && usage
elif help_asked "$@"; then
    usage
fi
case "$command" in
    run|conf|mon) [[ $# -eq 0 ]] || bad_usage "$command takes no arguments"; "cmd_$command" ;;
    sim) cmd_sim "$@" ;;
    cap) cmd_cap "$@" ;;
    *) bad_usage "unknown demo command '$command'" ;;
esac
