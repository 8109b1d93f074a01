#!/bin/bash
# usage: ./qz6 package
#
# Sets up, builds, then makes build/qz6-VERSION-i686.zip for Windows users
# (VERSION as in common/version.h, e.g. qz6-1.0.0-i686.zip): the 32-bit
# programs qz6mon.exe, qz6conf.exe and qz6sim.exe, the simulated adapter
# driver zurezi6.sys for 32-bit Windows and x64/zurezi6.sys for 64-bit
# Windows, and INSTALL.txt. The packing is tools/package.sh's.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
help_asked "$@" && usage
[[ $# -eq 0 ]] || bad_usage "package takes no arguments"
run_setup
run_build || die "the build failed; nothing packaged"
"$ROOT/tools/package.sh"
