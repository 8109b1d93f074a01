#!/bin/bash
# Wine prefixes for the tests and the demo.
#
#   prefix.sh create DIR
#       Makes DIR a Wine prefix set up for our programs, unless it already is
#       one (a prefix left half-made is made again).
#   prefix.sh install-driver DIR SYS_FILE [ADAPTER... | --keep-adapters]
#       Installs SYS_FILE as the Zurezi6 service in prefix DIR, the way the
#       configurator registers it, configures the listed adapters (0 to 7),
#       removes the others, and restarts the service. --keep-adapters leaves
#       the adapters as they are (as the configurator left them).
#   prefix.sh test-setup [BUILD_DIR]
#       The test prefix BUILD_DIR/wineprefix (BUILD_DIR defaults to
#       $QZ6_BUILD_DIR, else build/ in the repository) with the freshly built
#       driver BUILD_DIR/win32/bin/zurezi6.sys and adapters 0 to 3
#       configured; 4 to 7 stay unconfigured.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

usage() {
    sed -n '2,16s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
    exit 2
}

# Runs a Wine program in $WINEPREFIX with its output kept for errors only.
# (A file, not a pipe: a Wine process that outlives the call may hold it.)
wine_quiet() {
    local out status=0
    out="$(mktemp)"
    "$QZ6_WINE" "$@" >"$out" 2>&1 </dev/null || status=$?
    if (( status != 0 )); then
        tr -d '\r' <"$out" >&2
    fi
    rm -f "$out"
    return $status
}

# Prints the state of the Zurezi6 service (RUNNING, STOPPED, ...); fails
# when the service manager does not know the service.
service_state() {
    local out status=0
    out="$(mktemp)"
    "$QZ6_WINE" sc query Zurezi6 >"$out" 2>&1 </dev/null || status=$?
    if (( status == 0 )); then
        tr -d '\r' <"$out" | awk '$1 == "STATE" { print $4 }'
    fi
    rm -f "$out"
    return $status
}

# install_fonts DIR: the fonts our dialog templates ask for, "MS Sans
# Serif" 8 and "Courier" 10, drawn so that every label fits the rectangle
# it was laid out for (checked by tests/monitor/dialog_templates_test.cpp):
#  - Wine's own outline fonts (fonts-wine), or caption buttons are letters;
#  - "Courier": Wine's bitmap Courier (cou*.fon, fonts-wine), fixed-width
#    and 13 pixels high at 10 points like the Windows one. Wine skips it
#    unless it lies in the prefix's Fonts folder, and then falls back to a
#    proportional font;
#  - "MS Sans Serif" is drawn in Carlito (fonts-crosextra-carlito), as a
#    font substitute: Wine's bitmap "MS Sans Serif" is a few pixels wider
#    than the templates allow ("Last Active Command Result:" needs three
#    lines), and DejaVu Sans, Wine's fallback, much wider. Carlito gives the
#    same dialog units (6x13 pixels) and the narrowest labels.
# A prefix made before gets what it lacks on its next use.
font_substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
install_fonts() {
    local dir="$1" font
    mkdir -p "$dir/drive_c/windows/Fonts"
    for font in /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/cou*.fon; do
        if [[ -f "$font" ]]; then
            cp -u "$font" "$dir/drive_c/windows/Fonts/"
        fi
    done
    if ! grep -qF '"MS Sans Serif"="Carlito"' "$dir/system.reg" 2>/dev/null; then
        WINEPREFIX="$dir" wine_quiet reg add "$font_substitutes" /v 'MS Sans Serif' /t REG_SZ /d Carlito /f
    fi
}

# make_prefix DIR: makes DIR a prefix unless it is one; one at a time when
# several test programs find it missing together.
make_prefix() {
    local dir="$1"
    [[ -d "$(dirname "$dir")" ]] || { echo "prefix.sh: $(dirname "$dir") does not exist" >&2; exit 1; }
    if qz6_prefix_ready "$dir"; then
        install_fonts "$dir"
        return 0
    fi
    (
        flock 9
        create_prefix "$dir" 9>&-
    ) 9>"$dir.create.lock"
}

create_prefix() {
    local dir="$1"
    export WINEPREFIX="$dir"
    if qz6_prefix_ready "$dir"; then
        return 0
    fi
    if [[ -e "$dir" ]]; then
        # Only ever remove what looks like a (half-made) Wine prefix.
        if [[ -n "$(ls -A "$dir")" && ! -e "$dir/system.reg" && ! -d "$dir/drive_c" ]]; then
            echo "prefix.sh: $dir exists and is not a Wine prefix; not touching it" >&2
            exit 1
        fi
        "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true
        rm -rf "$dir"
    fi
    echo "prefix.sh: creating Wine prefix $dir" >&2
    mkdir "$dir"
    # The server is started first, detached, so that nothing that outlives
    # this script holds the caller's output.
    "$QZ6_WINESERVER" -p5 >/dev/null 2>&1 </dev/null || true
    "$QZ6_WINE" wineboot -i >/dev/null 2>&1 </dev/null
    # Without a window manager every window close otherwise waits 2 s.
    wine_quiet reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    # A crash ends the process with a backtrace instead of a debugger dialog.
    wine_quiet reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    install_fonts "$dir"
    # Settings take effect for processes started from now on.
    "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true
    "$QZ6_WINESERVER" -w >/dev/null 2>&1 </dev/null || true
    printf '%s\n' "$WINEARCH" > "$dir/$QZ6_PREFIX_STAMP"
}

# Hardware resources of adapter N: distinct ports and memory windows from
# the configurator's choices; interrupt lines from its seven, adapter 7
# sharing one.
io_ports=(0x250 0x270 0x280 0x300 0x350 0x360 0x380 0x390)
interrupts=(5 10 11 12 3 4 7 5)

install_driver() {
    local dir="$1" sys="$2"
    shift 2
    [[ -f "$sys" ]] || { echo "prefix.sh: no driver file $sys" >&2; exit 1; }
    local wanted=(0 0 0 0 0 0 0 0) n keep=0
    if [[ "${1:-}" == --keep-adapters ]]; then
        keep=1
        shift
    fi
    for n in "$@"; do
        [[ "$n" =~ ^[0-7]$ ]] || { echo "prefix.sh: adapter numbers are 0 to 7, not '$n'" >&2; exit 2; }
        wanted[n]=1
    done
    make_prefix "$dir"
    export WINEPREFIX="$dir"
    qz6_wine_up "${QZ6_KEEPALIVE_EXE:-}"

    # The service manager reads the service keys when the prefix starts: a
    # service it already knows is restarted with net, a new one by
    # restarting the prefix (Start 2 starts it then).
    local known=0
    if service_state >/dev/null; then
        known=1
        "$QZ6_WINE" net stop Zurezi6 >/dev/null 2>&1 </dev/null || true
    fi

    # A new file rather than an overwrite: a running driver maps the old one.
    local target="$dir/drive_c/windows/system32/drivers/zurezi6.sys"
    cp -f "$sys" "$target.new"
    mv -f "$target.new" "$target"

    # Exactly what the configurator writes: the three service values and no
    # ImagePath (the default system32\drivers\zurezi6.sys is used), one key
    # per configured adapter. One import instead of a reg call per value.
    local key='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Zurezi6'
    local regfile="$dir/drive_c/qz6-driver.reg"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[%s]\r\n' "$key"
        printf '"ErrorControl"=dword:%08x\r\n"Start"=dword:%08x\r\n"Type"=dword:%08x\r\n\r\n' 1 2 1
        (( keep )) || printf '[-%s\\Parameters]\r\n\r\n' "$key"
        printf '[%s\\Parameters]\r\n\r\n' "$key"
        for n in 0 1 2 3 4 5 6 7; do
            (( wanted[n] )) || continue
            printf '[%s\\Parameters\\Zurezi6c%u]\r\n' "$key" "$n"
            printf '"IoBaseAddress"=dword:%08x\r\n' $((io_ports[n]))
            printf '"SharedMemoryAddress"=dword:%08x\r\n' $((0xA0000 + 0x2000 * n))
            printf '"InterruptNumber"=dword:%08x\r\n\r\n' "${interrupts[n]}"
        done
    } > "$regfile"
    wine_quiet reg import 'C:\qz6-driver.reg'
    rm -f "$regfile"

    if (( known )); then
        wine_quiet net start Zurezi6 || true
    else
        "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true
        "$QZ6_WINESERVER" -w >/dev/null 2>&1 </dev/null || true
        qz6_wine_up "${QZ6_KEEPALIVE_EXE:-}"
    fi
    if [[ "$(service_state)" != RUNNING ]]; then
        echo "prefix.sh: the Zurezi6 service did not start in $dir" >&2
        exit 1
    fi
}

test_setup() {
    local build="${1:-${QZ6_BUILD_DIR}}"
    mkdir -p "$build"
    build="$(cd "$build" && pwd)"
    QZ6_BUILD_DIR="$build"
    local sys="$build/win32/bin/zurezi6.sys"
    export QZ6_KEEPALIVE_EXE="$build/win32/bin/qz6keepalive.exe"
    if [[ ! -f "$sys" ]]; then
        make_prefix "$build/wineprefix"
        echo "prefix.sh: $sys is not built; the test prefix has no driver" >&2
        return 0
    fi
    install_driver "$build/wineprefix" "$sys" 0 1 2 3
}

[[ $# -ge 1 ]] || usage
command="$1"
shift
case "$command" in
    create)
        [[ $# -eq 1 ]] || usage
        source "$here/env.sh"
        dir="$(realpath -m "$1")"
        make_prefix "$dir"
        ;;
    install-driver)
        [[ $# -ge 2 ]] || usage
        source "$here/env.sh"
        install_driver "$(realpath -m "$1")" "$(realpath -m "$2")" "${@:3}"
        ;;
    test-setup)
        [[ $# -le 1 ]] || usage
        if [[ $# -eq 1 ]]; then
            QZ6_BUILD_DIR="$(realpath -m "$1")"
            export QZ6_BUILD_DIR
        fi
        source "$here/env.sh"
        test_setup "${1:-}"
        ;;
    *)
        usage
        ;;
esac
