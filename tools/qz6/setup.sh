#!/bin/bash
# usage: ./qz6 setup
#
# Installs the packages that are missing, with apt-get (as root, or through
# sudo): cmake, the compilers (g++, clang, both mingw-w64 cross compilers),
# Wine, Xvfb and the X tools, googletest, cppcheck, the noVNC page and its
# VNC server, tshark, zip. Where this machine runs 32-bit x86 code (the
# programs are then built for i686), it first adds the i386 architecture
# to dpkg, for the 32-bit Wine. Fast when everything is there. Every
# command that builds runs it first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
help_asked "$@" && usage
[[ $# -eq 0 ]] || bad_usage "setup takes no arguments"

base_packages=(cmake g++ make ninja-build util-linux cppcheck clang libclang-rt-14-dev zip unzip)
# tshark judges the capture files the monitor writes (tests/capture). Its
# wireshark-common asks one debconf question (may non-superusers capture
# packets?); DEBIAN_FRONTEND=noninteractive takes its default, no.
common_packages=(wine wine64 fonts-wine fonts-crosextra-carlito xvfb xauth x11-utils xdotool imagemagick googletest
                 x11vnc novnc websockify tshark)

# Prints the packages among the arguments that are not installed
# ("name" or "name:arch").
missing_packages() {
    local native installed p
    native="$(dpkg --print-architecture)"
    installed="$(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "$@" 2>/dev/null |
                 awk '$2 == "installed" { print $1 }' | sed "s/:$native\$//")" || true
    for p in "$@"; do
        p="${p%:"$native"}"
        grep -qxF -- "$p" <<<"$installed" || printf '%s\n' "$p"
    done
}

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        die "need root to run: $*"
    fi
}

apt_updated=0
install_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    (( ${#missing[@]} )) || return 0
    note "installing: ${missing[*]}"
    if (( ! apt_updated )); then
        as_root apt-get update -q
        apt_updated=1
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

command -v dpkg-query >/dev/null 2>&1 || die "setup needs a Debian system (dpkg)"
# The compilers first: choosing the arch assembles a small probe.
install_packages "${base_packages[@]}"
mkdir -p "$QZ6_BUILD_DIR"
source "$ROOT/tools/wine/env.sh"
# Both cross compilers always: the programs ship for i686, the driver
# for both. Wine runs 32-bit programs only where the machine can.
arch_packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
               g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)
if [[ "$QZ6_ARCH" == i686 ]]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386 &&
       [[ "$(dpkg --print-architecture)" != i386 ]]; then
        as_root dpkg --add-architecture i386
        apt_updated=0
    fi
    arch_packages+=(wine32:i386)
fi
install_packages "${arch_packages[@]}" "${common_packages[@]}"
