#!/bin/bash
# readme_rig_test.sh BUILD_DIR
#
# The rig example of README.md ("A rig in a script"), run as it stands:
# the script between the README's "rig example" markers, from the
# repository's root, through ./qz6 sim on a demo prefix of its own
# (XDG_DATA_HOME in BUILD_DIR/rig-test, made afresh), so the user's demo
# prefix is left alone and the example cannot drift from what the tools do.
# The example checks its own counts; its exit status is the verdict.
set -euo pipefail

[[ $# -eq 1 ]] || { sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2; }
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(realpath -m "$1")"
scratch="$build/rig-test"
rm -rf "$scratch"
mkdir -p "$scratch/data"
script="$scratch/rig.sh"

sed -n '/^<!-- rig example begins -->$/,/^<!-- rig example ends -->$/p' "$root/README.md" |
    sed '1,/^```/d; /^```$/,$d' >"$script"
if ! grep -q 'sim send' "$script"; then
    echo "FAILED: README.md holds no rig example between its markers"
    exit 1
fi

source "$root/tools/wine/env.sh"
export XDG_DATA_HOME="$scratch/data" QZ6_BUILD_DIR="$build"
stop_prefix() { WINEPREFIX="$scratch/data/qz6/prefix" "$QZ6_WINESERVER" -k >/dev/null 2>&1 </dev/null || true; }
trap stop_prefix EXIT

cd "$root"
status=0
bash "$script" </dev/null || status=$?
if (( status == 0 )); then
    echo "ok: the README's rig example ran and its counts held"
else
    echo "FAILED: the README's rig example exited with status $status"
fi
exit "$status"
