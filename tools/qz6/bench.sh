#!/bin/bash
# usage: ./qz6 bench [--quick] [--soak-frames N] [--soak-polls N] [--only NAMES]
#
# Sets up, builds, then measures the monitor against bare programs on one
# Wine prefix of its own, on a virtual display of its own unless DISPLAY is
# set; prints a table and writes build/bench.json. The options and the
# environment (QZ6_BENCH_SOAK_FRAMES, QZ6_BENCH_SOAK_POLLS) are
# tools/bench/bench.sh's: ./qz6 bench --help shows them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
[[ -x "$ROOT/tools/bench/bench.sh" ]] || die "tools/bench/bench.sh is missing"
# The options are the measuring script's, and so is its usage.
if help_asked "$@"; then
    "$ROOT/tools/bench/bench.sh" --help || true
    exit 0
fi
run_setup
run_build || die "the build failed; nothing measured"
if [[ -z "${DISPLAY:-}" ]]; then
    start_xvfb 1280x1024
fi
"$ROOT/tools/bench/bench.sh" "$@"
