# Sourced (bash) by the ./qz6 command scripts (tools/qz6/) and every script
# under tools/wine: the one place that decides which Wine loader runs our programs.
#
# The Windows side is built for i686 where this machine can run 32-bit x86
# code and for x86_64 where it cannot (a kernel without ia32 emulation
# cannot run the 32-bit Wine loader). The choice: QZ6_ARCH if set, else the
# cached choice in $QZ6_BUILD_DIR/arch, else a probe (then cached).
#
# After sourcing: QZ6_ROOT, QZ6_BUILD_DIR, QZ6_ARCH, QZ6_WINE (the loader),
# QZ6_WINESERVER, and the exported Wine environment (WINEARCH, WINELOADER,
# WINEDEBUG, WINEDLLOVERRIDES). WINEPREFIX is set by the caller.

QZ6_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
QZ6_BUILD_DIR="${QZ6_BUILD_DIR:-$QZ6_ROOT/build}"

# Succeeds when a static 32-bit x86 Linux program runs here; status 2 when
# it cannot tell (no as or ld yet).
qz6_can_run_i386() {
    command -v as >/dev/null 2>&1 && command -v ld >/dev/null 2>&1 || return 2
    local dir
    dir="$(mktemp -d)" || return 1
    printf '%s\n' '.globl _start' '_start:' 'movl $1, %eax' 'xorl %ebx, %ebx' 'int $0x80' > "$dir/probe.s"
    local ok=1
    if as --32 -o "$dir/probe.o" "$dir/probe.s" 2>/dev/null &&
        ld -m elf_i386 -static -o "$dir/probe" "$dir/probe.o" 2>/dev/null &&
        "$dir/probe" 2>/dev/null; then
        ok=0
    fi
    rm -rf "$dir"
    return $ok
}

qz6_choose_arch() {
    if [[ -n "${QZ6_ARCH:-}" ]]; then
        case "$QZ6_ARCH" in
            i686|x86_64) return 0 ;;
            *) echo "QZ6_ARCH must be i686 or x86_64, not '$QZ6_ARCH'" >&2; return 1 ;;
        esac
    fi
    if [[ -f "$QZ6_BUILD_DIR/arch" ]]; then
        QZ6_ARCH="$(<"$QZ6_BUILD_DIR/arch")"
        case "$QZ6_ARCH" in i686|x86_64) return 0 ;; esac
    fi
    local probe=0
    qz6_can_run_i386 || probe=$?
    if (( probe == 0 )); then QZ6_ARCH=i686; else QZ6_ARCH=x86_64; fi
    if (( probe != 2 )) && mkdir -p "$QZ6_BUILD_DIR" 2>/dev/null; then
        printf '%s\n' "$QZ6_ARCH" > "$QZ6_BUILD_DIR/arch"
    fi
}

qz6_choose_arch || return 1
export QZ6_ARCH

if [[ "$QZ6_ARCH" == i686 ]]; then
    QZ6_WINE=/usr/lib/wine/wine
    export WINEARCH=win32
else
    QZ6_WINE=/usr/lib/wine/wine64
    export WINEARCH=win64
fi
export WINELOADER="$QZ6_WINE"
if [[ -x /usr/lib/wine/wineserver64 ]]; then
    QZ6_WINESERVER=/usr/lib/wine/wineserver64
else
    QZ6_WINESERVER=/usr/lib/wine/wineserver32
fi
export WINESERVER="$QZ6_WINESERVER"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Marks a prefix that prefix.sh finished making, holding its WINEARCH; a
# prefix without it, or for the other arch, is made again.
QZ6_PREFIX_STAMP=.qz6-prefix-ready

# qz6_prefix_ready DIR: succeeds when DIR is a finished prefix for this arch
# (an empty stamp comes from before the arch was recorded: taken as is).
qz6_prefix_ready() {
    [[ -f "$1/$QZ6_PREFIX_STAMP" ]] || return 1
    local arch
    arch="$(<"$1/$QZ6_PREFIX_STAMP")"
    [[ -z "$arch" || "$arch" == "$WINEARCH" ]]
}

# qz6_wine_up KEEPALIVE_EXE
# Starts, for $WINEPREFIX, a persistent wineserver, Wine's services (and so
# our driver) and, with a display, the keep-alive window, all detached from
# the caller's stdout: ctest waits until every holder of a test's output
# pipe has exited, so nothing long-lived may inherit it. Done once under a
# lock when several programs start at the same time.
qz6_wine_up() {
    local keepalive="${1:-}"
    local lock="$WINEPREFIX.lock"
    local pidfile="$WINEPREFIX.keepalive.pid"
    (
        flock 9
        local started=0
        # Exit status 2: a server already runs for this prefix.
        if "$QZ6_WINESERVER" -p60 9>&- >/dev/null 2>&1 </dev/null; then
            started=1
            "$QZ6_WINE" cmd /c exit 9>&- >/dev/null 2>&1 </dev/null || true
        fi
        if [[ -n "${DISPLAY:-}" && -n "$keepalive" && -f "$keepalive" ]]; then
            local pid=""
            [[ -f "$pidfile" ]] && pid="$(<"$pidfile")"
            if (( started )) || [[ -z "$pid" ]] || ! grep -qa qz6keepalive "/proc/$pid/cmdline" 2>/dev/null; then
                # Waits until the desktop exists, or the caller's program
                # would start it (holding the caller's output).
                local ready="$WINEPREFIX.keepalive.ready" i
                rm -f "$ready"
                "$QZ6_WINE" "$keepalive" 10 "Z:${ready//\//\\}" 9>&- >/dev/null 2>&1 </dev/null &
                pid=$!
                echo "$pid" > "$pidfile"
                for (( i = 0; i < 500; i++ )); do
                    [[ -e "$ready" ]] && break
                    kill -0 "$pid" 2>/dev/null || break
                    sleep 0.02
                done
                rm -f "$ready"
            fi
        fi
    ) 9>"$lock"
}
