#!/bin/bash
# Builds $QZ6_BUILD_DIR/qz6-VERSION-i686.zip for Windows users: the 32-bit
# programs qz6mon.exe, qz6conf.exe, qz6cap.exe and qz6sim.exe, the simulated adapter
# driver for 32-bit Windows (zurezi6.sys) and for 64-bit Windows
# (x64/zurezi6.sys, beside which the 32-bit programs run unchanged), and
# INSTALL.txt. Takes each file from the tree built for its processor (./qz6
# build makes both), and checks first that every file is there and that the
# programs carry the release's version resource.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QZ6_BUILD_DIR:-$root/build}"
tested_arch="$(cat "$build/arch" 2>/dev/null || echo x86_64)"

# tree_of ARCH: the build tree for that processor.
tree_of() {
    if [[ "$1" == "$tested_arch" ]]; then echo "$build/win32"; else echo "$build/win32-$1"; fi
}
bin32="$(tree_of i686)/bin"
bin64="$(tree_of x86_64)/bin"

version="$(sed -n 's/^#define QZ6_VERSION_TEXT "\(.*\)"$/\1/p' "$root/common/version.h")"
[[ -n "$version" ]] || { echo "package: no QZ6_VERSION_TEXT in common/version.h" >&2; exit 1; }

# Source file, and its place in the zip.
files=("$bin32/qz6mon.exe" "$bin32/qz6conf.exe" "$bin32/qz6cap.exe" "$bin32/qz6sim.exe" "$bin32/zurezi6.sys"
       "$bin64/zurezi6.sys")
places=(qz6mon.exe qz6conf.exe qz6cap.exe qz6sim.exe zurezi6.sys x64/zurezi6.sys)
for file in "${files[@]}"; do
    [[ -f "$file" ]] || { echo "package: $file is not built" >&2; exit 1; }
done

# The version resource holds its strings in UTF-16 (strings -el).
for program in qz6mon.exe qz6conf.exe qz6cap.exe qz6sim.exe; do
    texts="$(strings -el "$bin32/$program")"
    if ! grep -qxF "$version" <<<"$texts" || ! grep -qxF "$program" <<<"$texts"; then
        echo "package: $program carries no version resource for $version" >&2
        exit 1
    fi
done

name="qz6-$version-i686"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/x64"
# Debug information stays behind: it is most of the files' size.
for i in "${!files[@]}"; do
    cp "${files[i]}" "$stage/$name/${places[i]}"
    if [[ "${places[i]}" == x64/* ]]; then strip_tool=x86_64-w64-mingw32-strip; else strip_tool=i686-w64-mingw32-strip; fi
    if command -v "$strip_tool" >/dev/null 2>&1; then
        "$strip_tool" --strip-debug "$stage/$name/${places[i]}"
    fi
done
# Windows users read the notes in Notepad: CRLF line ends.
sed 's/$/\r/' "$root/tools/package/INSTALL.txt" > "$stage/$name/INSTALL.txt"

zip_file="$build/$name.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X -r "$zip_file" "$name")
echo "package: $zip_file"
unzip -l "$zip_file" | sed '1,3d;$d' | sed '$d'
