#!/bin/bash
# Builds $QZ6_BUILD_DIR/qz6-VERSION.zip for Windows users from the built
# win32 tree: qz6mon.exe, qz6conf.exe, the simulated adapter driver
# (zurezi6.sys, qz6sim.exe) and INSTALL.txt. Checks first that every file is
# there and that the programs carry the release's version resource.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QZ6_BUILD_DIR:-$root/build}"
bin="$build/win32/bin"

version="$(sed -n 's/^#define QZ6_VERSION_TEXT "\(.*\)"$/\1/p' "$root/common/version.h")"
[[ -n "$version" ]] || { echo "package: no QZ6_VERSION_TEXT in common/version.h" >&2; exit 1; }

files=(qz6mon.exe qz6conf.exe zurezi6.sys qz6sim.exe)
for file in "${files[@]}"; do
    [[ -f "$bin/$file" ]] || { echo "package: $bin/$file is not built" >&2; exit 1; }
done

# The version resource holds its strings in UTF-16 (strings -el).
for program in qz6mon.exe qz6conf.exe qz6sim.exe; do
    texts="$(strings -el "$bin/$program")"
    if ! grep -qxF "$version" <<<"$texts" || ! grep -qxF "$program" <<<"$texts"; then
        echo "package: $program carries no version resource for $version" >&2
        exit 1
    fi
done

arch="$(cat "$build/arch" 2>/dev/null || echo unknown)"
name="qz6-$version-$arch"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
# Debug information stays behind: it is most of the files' size.
strip_tool="$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$build/win32/CMakeCache.txt" 2>/dev/null)"
for file in "${files[@]}"; do
    cp "$bin/$file" "$stage/$name/"
    if [[ -n "$strip_tool" && -x "$strip_tool" ]]; then
        "$strip_tool" --strip-debug "$stage/$name/$file"
    fi
done
# Windows users read the notes in Notepad: CRLF line ends.
sed 's/$/\r/' "$root/tools/package/INSTALL.txt" > "$stage/$name/INSTALL.txt"

zip_file="$build/$name.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X -r "$zip_file" "$name")
echo "package: $zip_file"
unzip -l "$zip_file" | sed '1,3d;$d' | sed '$d'
