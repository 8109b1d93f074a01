#!/bin/bash
# usage: ./qz6 fuzz [SECONDS] [HARNESS...]
#        ./qz6 fuzz --merge [HARNESS...] | --list
#
# Sets up, then builds the libFuzzer harnesses of fuzz/ natively with clang
# (under AddressSanitizer and UndefinedBehaviorSanitizer, in build/fuzz/)
# and runs each, or the named ones, for SECONDS (default 60), one after the
# other: a minute a harness by default, after a build of a few minutes the
# first time. It says what it builds and how long the runs take before it
# starts. --merge keeps what the runs found in fuzz/corpus/; --list names
# the harnesses. The work is tools/fuzz.sh's (see fuzz/README.md); ./qz6
# test runs each harness for QZ6_FUZZ_SECONDS (default 5).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
help_asked "$@" && usage
run_setup
exec "$ROOT/tools/fuzz.sh" "$@"
