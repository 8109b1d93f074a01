#!/bin/bash
# usage: ./qz6 check
#
# Static analysis of all the project's code, programs, driver, tools and
# tests alike: cppcheck (any finding fails; findings that are wrong are
# suppressed inline, with the reason beside them), then the include rules
# of tools/check/include_rules.txt (tools/check/includes.sh: an include
# that points the wrong way across the tree fails, named as file:line and
# the rule). Also the first step of ./qz6 test. Exit status 0 when both are
# clean, 1 otherwise. Logs: build/static-analysis.log, build/includes.log.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Each adds one to passed or failed.
passed=0
failed=0

run_static_analysis() {
    local log="$QZ6_BUILD_DIR/static-analysis.log" status=0 folders=() folder
    for folder in common driver monitor configurator support tools tests fuzz; do
        [[ -d "$ROOT/$folder" ]] && folders+=("$folder")
    done
    echo "=== static analysis (cppcheck)"
    (cd "$ROOT" && cppcheck --std=c++20 --language=c++ --enable=warning,portability,performance \
        --library=googletest --library=windows --inline-suppr --quiet --error-exitcode=1 -j "$JOBS" \
        -I . -D_WIN32 -DWIN32 --suppress=missingIncludeSystem --suppress=missingInclude \
        "${folders[@]}") >"$log" 2>&1 || status=$?
    cat "$log"
    if (( status == 0 )) && [[ ! -s "$log" ]]; then
        echo "static analysis: clean"
        passed=$(( passed + 1 ))
    else
        echo "static analysis: findings above (also in $log)"
        failed=$(( failed + 1 ))
    fi
}

run_include_check() {
    local log="$QZ6_BUILD_DIR/includes.log" status=0
    echo "=== include rules (tools/check/include_rules.txt)"
    "$ROOT/tools/check/includes.sh" "$ROOT" >"$log" 2>&1 || status=$?
    cat "$log"
    if (( status == 0 )); then
        passed=$(( passed + 1 ))
    else
        echo "include rules: broken (also in $log)"
        failed=$(( failed + 1 ))
    fi
}

# Run as a command; ./qz6 test sources it for the two steps.
if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    help_asked "$@" && usage
    [[ $# -eq 0 ]] || bad_usage "check takes no arguments"
    run_setup
    mkdir -p "$QZ6_BUILD_DIR"
    run_static_analysis
    run_include_check
    (( failed == 0 ))
fi
