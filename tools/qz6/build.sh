#!/bin/bash
# usage: ./qz6 build
#
# Configures the build trees where needed and builds them: build/host (the
# native unit tests), build/win32 (the Windows programs, the driver and the
# Wine tests, for the processor the tests run on; everything lands in
# build/win32/bin/) and build/win32-OTHER (the shipped programs and the
# driver for the other processor, so that both always compile). Does not
# install anything: ./qz6 setup does.
#
# Environment: QZ6_BUILD_DIR (default ./build), QZ6_ARCH (i686 or x86_64;
# default: i686 where this machine runs 32-bit code), QZ6_JOBS (parallel
# jobs, default 2).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
help_asked "$@" && usage
[[ $# -eq 0 ]] || bad_usage "build takes no arguments"
source "$ROOT/tools/wine/env.sh"

generator() {
    if command -v ninja >/dev/null 2>&1; then echo Ninja; else echo "Unix Makefiles"; fi
}

# configure_tree DIR TOOLCHAIN_FILE|"": configures DIR unless it already is
# a tree made the same way (later changes re-run CMake by themselves). A
# tree for another generator or toolchain (another arch) is made afresh.
configure_tree() {
    local dir="$1" toolchain="$2" signature
    signature="$toolchain|$(generator)|$QZ6_BUILD_DIR"
    if [[ -f "$dir/CMakeCache.txt" ]]; then
        if [[ -f "$dir/.qz6-configured" && "$(<"$dir/.qz6-configured")" == "$signature" ]]; then
            return 0
        fi
        local cached
        cached="$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$dir/CMakeCache.txt")"
        if [[ "$cached" == "$toolchain" ]] &&
           grep -qxF "CMAKE_GENERATOR:INTERNAL=$(generator)" "$dir/CMakeCache.txt"; then
            cmake -S "$ROOT" -B "$dir" -DQZ6_BUILD_DIR="$QZ6_BUILD_DIR" >/dev/null || return 1
            printf '%s\n' "$signature" > "$dir/.qz6-configured"
            return 0
        fi
    fi
    rm -rf "$dir"
    local args=()
    [[ -n "$toolchain" ]] && args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
    cmake -S "$ROOT" -B "$dir" -G "$(generator)" -DQZ6_BUILD_DIR="$QZ6_BUILD_DIR" "${args[@]}" || return 1
    printf '%s\n' "$signature" > "$dir/.qz6-configured"
}

# The other processor than the one the tests run on.
if [[ "$QZ6_ARCH" == i686 ]]; then other=x86_64; else other=i686; fi

# What ships, built for the other processor beside the tested tree: so that
# both always compile, and the package has i686 programs and both drivers
# whichever processor this machine runs.
shipped_targets=(qz6mon qz6conf qz6cap qz6sim zurezi6)

configure_tree "$QZ6_BUILD_DIR/host" ""
configure_tree "$QZ6_BUILD_DIR/win32" "$ROOT/cmake/mingw-$QZ6_ARCH.cmake"
configure_tree "$QZ6_BUILD_DIR/win32-$other" "$ROOT/cmake/mingw-$other.cmake"
cmake --build "$QZ6_BUILD_DIR/host" -j "$JOBS"
cmake --build "$QZ6_BUILD_DIR/win32" -j "$JOBS"
cmake --build "$QZ6_BUILD_DIR/win32-$other" -j "$JOBS" --target "${shipped_targets[@]}"
