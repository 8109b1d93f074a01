#!/bin/bash
# Builds the fuzzers (fuzz/) with clang and runs them.
#
#   tools/fuzz.sh [SECONDS] [HARNESS...]   run each harness (all by default)
#                                          for SECONDS (default 60)
#   tools/fuzz.sh --merge [HARNESS...]     add what the runs found that covers
#                                          new code to fuzz/corpus/, minimised
#   tools/fuzz.sh --list                   the harnesses
#
# A harness is named as its source fuzz/fuzz_<name>.cpp (model_stream, or
# fuzz_model_stream). Each run works on a scratch corpus,
# <build>/fuzz/corpus-work/<name>, seeded from fuzz/corpus/<name>, so the
# repository's corpus only changes through --merge. One line per harness:
# its name, the inputs executed and the result. The exit status is non-zero
# when a harness failed; its input is kept under <build>/fuzz/artifacts/ and
# its log under <build>/fuzz/logs/.
#
# Environment: QZ6_BUILD_DIR (default <repo>/build), QZ6_JOBS (default 2).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QZ6_BUILD_DIR:-$ROOT/build}/fuzz"
JOBS="${QZ6_JOBS:-2}"

note() { printf 'fuzz: %s\n' "$*" >&2; }
die() { note "$*"; exit 2; }

usage() {
    sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed -e '$d' -e 's/^# \{0,1\}//' >&2
    exit 2
}

all_harnesses() {
    local source
    for source in "$ROOT"/fuzz/fuzz_*.cpp; do
        source="${source##*/fuzz_}"
        printf '%s\n' "${source%.cpp}"
    done
}

# Sets `harnesses` to the harnesses the arguments name (all when none).
pick_harnesses() {
    local name known
    known="$(all_harnesses)"
    harnesses=()
    if (($# == 0)); then
        mapfile -t harnesses <<<"$known"
        return
    fi
    for name in "$@"; do
        name="${name#fuzz_}"
        grep -qxF -- "$name" <<<"$known" || die "no harness '$name' (tools/fuzz.sh --list)"
        harnesses+=("$name")
    done
}

build() {
    command -v clang++ >/dev/null 2>&1 || die "clang is missing: apt-get install clang libclang-rt-14-dev"
    if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
        local generator=()
        command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
        CC=clang CXX=clang++ cmake -S "$ROOT/fuzz" -B "$BUILD" "${generator[@]}" >"$BUILD/logs/configure.log" 2>&1 ||
            { cat "$BUILD/logs/configure.log" >&2; die "configuring $BUILD failed"; }
    fi
    cmake --build "$BUILD" --parallel "$JOBS" >"$BUILD/logs/build.log" 2>&1 ||
        { grep -E -B2 -A12 'error|FAILED' "$BUILD/logs/build.log" | head -80 >&2
          die "building the fuzzers failed (log: $BUILD/logs/build.log)"; }
}

# Sanitizer settings for every run: symbolized stacks, and stop at the
# first report.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:symbolize=1}"
if [[ -z "${ASAN_SYMBOLIZER_PATH:-}" ]]; then
    for symbolizer in llvm-symbolizer llvm-symbolizer-14; do
        if command -v "$symbolizer" >/dev/null 2>&1; then
            export ASAN_SYMBOLIZER_PATH="$(command -v "$symbolizer")"
            break
        fi
    done
fi

# Extra libFuzzer flags of a harness: its dictionary, if it has one.
harness_flags() {
    local name="$1"
    if [[ -f "$ROOT/fuzz/$name.dict" ]]; then
        printf '%s\n' "-dict=$ROOT/fuzz/$name.dict"
    fi
}

run_one() {
    local name="$1" seconds="$2"
    local exe="$BUILD/bin/fuzz_$name"
    local work="$BUILD/corpus-work/$name"
    local artifacts="$BUILD/artifacts/$name/"
    local log="$BUILD/logs/$name.log"
    mkdir -p "$work" "$artifacts" "$BUILD/logs"
    if [[ -d "$ROOT/fuzz/corpus/$name" ]]; then
        cp -pr "$ROOT/fuzz/corpus/$name"/. "$work"/
    fi
    local flags
    mapfile -t flags < <(harness_flags "$name")
    local status=0
    "$exe" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts" "${flags[@]}" "$work" >"$log" 2>&1 </dev/null || status=$?

    local executions result crash
    executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    crash="$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)"
    if ((status == 0)); then
        result=ok
    else
        if grep -q 'ERROR: libFuzzer: timeout' "$log"; then
            result="FAILED (timeout)"
        elif grep -q 'ERROR: libFuzzer: out-of-memory' "$log"; then
            result="FAILED (out of memory)"
        else
            result="FAILED (crash, exit $status)"
        fi
        [[ -n "$crash" ]] && result+=": $crash"
        result+="  log: $log"
    fi
    printf '%-20s %12s executions  %s\n' "$name" "${executions:-?}" "$result"
    ((status == 0))
}

merge_one() {
    local name="$1"
    local exe="$BUILD/bin/fuzz_$name"
    local work="$BUILD/corpus-work/$name"
    local corpus="$ROOT/fuzz/corpus/$name"
    [[ -d "$work" ]] || { note "$name: nothing to merge (no run yet)"; return 0; }
    mkdir -p "$corpus"
    local before after
    before="$(find "$corpus" -type f | wc -l)"
    "$exe" -merge=1 -timeout=20 -rss_limit_mb=2048 "$corpus" "$work" >"$BUILD/logs/$name.merge.log" 2>&1 </dev/null ||
        { note "$name: merge failed (log: $BUILD/logs/$name.merge.log)"; return 1; }
    after="$(find "$corpus" -type f | wc -l)"
    printf '%-20s %d inputs added to fuzz/corpus/%s\n' "$name" "$((after - before))" "$name"
}

# duration SECONDS: "45 s", or rounded to minutes from two minutes on.
duration() {
    if (($1 < 120)); then echo "$1 s"; else echo "about $((($1 + 30) / 60)) min"; fi
}

main() {
    local mode=run seconds=60
    case "${1:-}" in
    -h | --help | help) usage ;;
    --list) all_harnesses; return 0 ;;
    --merge) mode=merge; shift ;;
    [0-9]*) seconds="$1"; shift ;;
    esac
    [[ "$seconds" =~ ^[1-9][0-9]*$ ]] || die "SECONDS must be a positive number, not '$seconds'"
    local harnesses
    pick_harnesses "$@"
    ((${#harnesses[@]})) || die "no harnesses"

    mkdir -p "$BUILD/logs"
    # The build makes every harness, whichever run.
    local count=${#harnesses[@]} all
    all="$(all_harnesses | wc -l)"
    if [[ $mode == merge ]]; then
        note "building the $all fuzzers in $BUILD (log: logs/build.log), then merging the finds of $count"
    else
        note "building the $all fuzzers in $BUILD (log: logs/build.log; a few minutes the first time)," \
             "then running $count for $seconds s each: $(duration $((count * seconds))) in all"
    fi
    build

    local failed=0 name
    for name in "${harnesses[@]}"; do
        if [[ $mode == merge ]]; then
            merge_one "$name" || failed=1
        else
            run_one "$name" "$seconds" || failed=1
        fi
    done
    if ((failed)); then
        note "a harness failed: reproduce with $BUILD/bin/fuzz_<name> <input>"
        return 1
    fi
}

main "$@"
