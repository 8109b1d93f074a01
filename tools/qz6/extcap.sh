#!/bin/bash
# usage: ./qz6 extcap install | remove
#
# qz6cap live in Wireshark on this machine:
#   install    writes the program qz6cap-extcap into Wireshark's extcap
#              folder ("Extcap path" of tshark -G folders). It runs
#              qz6cap.exe of this build in the demo prefix, as ./qz6 cap
#              does (made when missing), so that tshark -D and Wireshark
#              list the adapters present as qz6-NAME ("R731 NAME"). The
#              folder is root's: sudo ./qz6 extcap install
#   remove     takes that program away again
#   run ARGS   what the installed program runs for Wireshark's call ARGS:
#              qz6cap.exe with Wireshark's pipe (--fifo PATH) as its
#              standard output, Wireshark's SIGTERM turned into the Ctrl-C
#              that ends a capture cleanly, and waited for
#
# Environment: XDG_DATA_HOME (where the demo prefix lives, for the program
# as Wireshark runs it) and QZ6_BUILD_DIR (the build the program runs).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/demo.sh"

wrapper_name=qz6cap-extcap
# A line of every program install writes: remove takes only such a one.
wrapper_mark='# Written by "./qz6 extcap install"'
# How long the program has to end after Wireshark asks, before it is killed.
stop_grace_seconds=10

# Wireshark's extcap folder on this machine.
extcap_folder() {
    local folder=""
    if command -v tshark >/dev/null 2>&1; then
        folder="$(tshark -G folders 2>/dev/null | sed -nE 's/^(Global )?Extcap path:[[:space:]]*//p' | head -n 1)"
    fi
    printf '%s\n' "${folder:-/usr/lib/x86_64-linux-gnu/wireshark/extcap}"
}

# writable_folder: the extcap folder, once it is known to exist and be
# writable here.
writable_folder() {
    local folder
    folder="$(extcap_folder)"
    [[ -d "$folder" ]] || die "Wireshark's extcap folder $folder does not exist: is tshark installed? (./qz6 setup)"
    [[ -w "$folder" ]] || die "$folder is root's: sudo ./qz6 extcap $1"
    printf '%s\n' "$folder"
}

cmd_install() {
    local build exe folder tmp
    build="$(realpath -m "$QZ6_BUILD_DIR")"
    exe="$build/win32/bin/qz6cap.exe"
    [[ -f "$exe" ]] || die "$exe is not built: run ./qz6 build first"
    folder="$(writable_folder install)"
    if [[ -e "$folder/$wrapper_name" ]] && ! grep -qF "$wrapper_mark" "$folder/$wrapper_name"; then
        die "$folder/$wrapper_name was not written by ./qz6 extcap install; left as it is"
    fi
    # Made aside and moved in whole: Wireshark never runs half a program.
    tmp="$(mktemp "$folder/.$wrapper_name.XXXXXX")"
    cleanup_actions+=("rm -f '$tmp'")
    {
        echo '#!/bin/bash'
        echo "# Wireshark's extcap program for R731 adapters: qz6cap.exe of $build"
        echo '# in the qz6 demo prefix, with Wireshark'"'"'s arguments.'
        echo "$wrapper_mark in $ROOT; \"./qz6 extcap remove\" takes it away."
        printf 'export QZ6_BUILD_DIR=%q\n' "$build"
        printf 'exec %q run "$@"\n' "$ROOT/tools/qz6/extcap.sh"
    } >"$tmp"
    chmod 755 "$tmp"
    mv -f "$tmp" "$folder/$wrapper_name"
    echo "Installed $folder/$wrapper_name: tshark -D and Wireshark list the adapters as qz6-NAME."
}

cmd_remove() {
    local folder target
    folder="$(extcap_folder)"
    target="$folder/$wrapper_name"
    if [[ ! -e "$target" ]]; then
        echo "There is no $target to remove."
        return 0
    fi
    grep -qF "$wrapper_mark" "$target" || die "$target was not written by ./qz6 extcap install; left as it is"
    folder="$(writable_folder remove)"
    rm -f "$target"
    echo "Removed $target."
}

# Wireshark's call, as ./qz6 cap runs qz6cap.exe; but a listing (Wireshark
# asks at every start, and stops waiting after a few seconds) never makes
# the prefix: without it there is nothing to list. Wireshark's pipe cannot
# be opened by a Win32 program under Wine: it is handed over as standard
# output (--fifo -). The program is in a process group of its own, so that
# it takes SIGINT as from a terminal; Wireshark's SIGTERM (a Wine process
# dies of it outright) and a HUP or INT become a SIGINT for it, and this
# waits for it to finish its file. Nothing started here keeps standard
# output open after the program (./qz6 cap starts the prefix's server
# detached): tshark -D waits for it to close.
cmd_run() {
    local args=() fifo="" capture=0
    while (( $# )); do
        case "$1" in
            --fifo) fifo="${2:-}"; args+=(--fifo -); shift $(( $# >= 2 ? 2 : 1 )) ;;
            --fifo=*) fifo="${1#--fifo=}"; args+=(--fifo -); shift ;;
            --capture) capture=1; args+=("$1"); shift ;;
            *) args+=("$1"); shift ;;
        esac
    done
    source "$ROOT/tools/wine/env.sh"
    (( capture )) || demo_driver_installed || exit 0
    local program="" stop_asked=0 status i
    trap 'stop_asked=1; [[ -z "$program" ]] || kill -INT "$program" 2>/dev/null || true' TERM HUP INT
    set -m
    if [[ -n "$fifo" ]]; then
        (cmd_cap "${args[@]}") >"$fifo" &
    else
        (cmd_cap "${args[@]}") &
    fi
    program=$!
    set +m  # no word of its end on standard error: Wireshark shows that as an error
    (( ! stop_asked )) || kill -INT "$program" 2>/dev/null || true
    while :; do
        status=0
        wait "$program" || status=$?
        # Above 128 with the program still there: a signal broke the wait.
        if (( status <= 128 )) || ! kill -0 "$program" 2>/dev/null; then
            break
        fi
        if (( stop_asked )); then
            for (( i = 0; i < stop_grace_seconds * 10; i++ )); do
                kill -0 "$program" 2>/dev/null || break
                sleep 0.1
            done
            kill -KILL "$program" 2>/dev/null || true
        fi
    done
    exit "$status"
}

[[ $# -ge 1 ]] || bad_usage
command="$1"
shift
case "$command" in
    -h|--help) usage ;;
    install|remove) [[ $# -eq 0 ]] || bad_usage "$command takes no arguments"; "cmd_$command" ;;
    run) cmd_run "$@" ;;
    *) bad_usage "unknown extcap command '$command'" ;;
esac
