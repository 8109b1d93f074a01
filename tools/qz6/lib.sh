# Sourced (bash) by every ./qz6 command script under tools/qz6/: where
# things are, messages, usage, setup and build as steps, and the processes
# a command starts (stopped by id when it ends).
#
# After sourcing: ROOT, QZ6_BUILD_DIR (exported), JOBS, QZ6_TOOLS.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
QZ6_TOOLS="$ROOT/tools/qz6"
export QZ6_BUILD_DIR="${QZ6_BUILD_DIR:-$ROOT/build}"
JOBS="${QZ6_JOBS:-2}"

note() { printf 'qz6: %s\n' "$*" >&2; }
die() { note "$*"; exit 1; }

# The calling script's head comment, from its second line to its first
# line that is no comment: its usage.
usage_text() {
    awk 'NR == 1 { next } !/^#/ { exit } { sub(/^# ?/, ""); print }' "$0"
}

# usage: asked for (-h, --help), to standard output, status 0.
# bad_usage: arguments it cannot take, to standard error, status 2.
usage() { usage_text; exit 0; }
bad_usage() { [[ $# -eq 0 ]] || note "$*"; usage_text >&2; exit 2; }

# help_asked ARGS...: succeeds when an argument is -h or --help.
help_asked() {
    local arg
    for arg in "$@"; do
        [[ "$arg" == -h || "$arg" == --help ]] && return 0
    done
    return 1
}

# The first steps of most commands, each a command of its own.
run_setup() { "$QZ6_TOOLS/setup.sh"; }
run_build() { "$QZ6_TOOLS/build.sh"; }

# Processes this command started, stopped by id on exit (last first), and
# shell commands run before that (last first).
started_pids=()
cleanup_actions=()

cleanup() {
    local i
    for (( i = ${#cleanup_actions[@]} - 1; i >= 0; i-- )); do
        eval "${cleanup_actions[i]}" || true
    done
    for (( i = ${#started_pids[@]} - 1; i >= 0; i-- )); do
        kill "${started_pids[i]}" 2>/dev/null || true
    done
    for (( i = ${#started_pids[@]} - 1; i >= 0; i-- )); do
        wait "${started_pids[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# start_xvfb WIDTHxHEIGHT: starts a private X server on a free display and
# sets DISPLAY to it.
start_xvfb() {
    local size="$1" fdfile
    fdfile="$(mktemp)"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 "${size}x24" 3>"$fdfile" </dev/null >/dev/null 2>&1 &
    started_pids+=("$!")
    local i
    for (( i = 0; i < 100; i++ )); do
        [[ -s "$fdfile" ]] && break
        kill -0 "${started_pids[-1]}" 2>/dev/null || break
        sleep 0.05
    done
    local number
    number="$(tr -dc 0-9 <"$fdfile")"
    rm -f "$fdfile"
    [[ -n "$number" ]] || die "Xvfb did not start"
    export DISPLAY=":$number"
}
