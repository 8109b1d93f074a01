#!/bin/bash
# usage: ./qz6 fuzz-driver [SECONDS] [--seed N]
#
# Sets up, builds, then storms the freshly built driver, loaded by Wine in a
# prefix of its own (build/driver-fuzz/), with random requests from many
# threads for SECONDS (default 60), and checks that it still works
# afterwards. The run is tools/driver_fuzz/run.sh's (see its head); --seed
# repeats a run. ./qz6 test runs it for QZ6_DRIVER_FUZZ_SECONDS (default
# 20). Exit status: 0 when nothing failed, 1 when a failure was found or
# the build failed, 2 for bad arguments.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
help_asked "$@" && usage
run_setup
run_build || die "the build failed; nothing fuzzed"
exec "$ROOT/tools/driver_fuzz/run.sh" "$@"
