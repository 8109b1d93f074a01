#!/bin/bash
# The include check (tools/check/includes.sh) with the project's own rules,
# on a small tree of its own: it names every include that breaks a rule, by
# file, line and rule, whichever way the include is written, and passes a
# tree whose includes all point the right way.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
check="$root/tools/check/includes.sh"
rules="$root/tools/check/include_rules.txt"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# Including file, the include as written, and the rule it breaks ("-" when
# it breaks none). Every file of the tree exists; tests/only_here.h is the
# one file of that name, as a build's include folder would reach it.
cases="
common/a.h           \"common/b.h\"                      -
common/a.h           \"b.h\"                             -
common/a.h           \"monitor/m.h\"                     common/ may include only common/
common/a.h           <support/s.h>                       common/ may include only common/
monitor/m.cpp        \"common/b.h\"                      -
monitor/m.cpp        <windows.h>                         -
monitor/m.cpp        \"support/s.h\"                     monitor/ may not include support/
configurator/c.cpp   \"tests/t.h\"                       configurator/ may not include tests/
driver/kernel/k.cpp  \"driver/model/x.h\"                -
driver/model/x.cpp   \"driver/kernel/k.h\"               driver/model/ may not include driver/kernel/
driver/model/x.cpp   \"../kernel/k.h\"                   driver/model/ may not include driver/kernel/
driver/model/x.cpp   \"fuzz/f.h\"                        driver/ may not include fuzz/
tools/bench/b.cpp    \"support/s.h\"                     -
tools/bench/b.cpp    \"../../tests/t.h\"                 tools/ may not include tests/
tools/bench/b.cpp    \"only_here.h\"                     tools/ may not include tests/
tools/qz6sim/q.cpp   \"common/b.h\"                      -
tools/qz6sim/q.cpp   \"support/s.h\"                     tools/qz6sim/ may not include support/
fuzz/f.cpp           \"driver/model/x.h\"                -
fuzz/f.cpp           \"driver/model/model_internal.h\"   fuzz/ may not include driver/model/model_internal.h
support/s.cpp        \"tools/bench/b.h\"                 support/ may not include tools/
tests/t.cpp          \"support/s.h\"                     -
tests/t.cpp          \"monitor/m.h\"                     -
"

# make_tree DIR ALL|ALLOWED: the files, each case's include on a line of
# its own (only the allowed ones for ALLOWED); prints the expected
# "FILE:LINE|RULE" of every broken one.
make_tree() {
    local dir="$1" which="$2" file include rule path
    for path in common/b.h monitor/m.h support/s.h tests/t.h tests/only_here.h driver/model/x.h \
                driver/kernel/k.h driver/model/model_internal.h fuzz/f.h tools/bench/b.h; do
        mkdir -p "$dir/$(dirname "$path")"
        : > "$dir/$path"
    done
    while read -r file include rule; do
        [[ -n "$file" ]] || continue
        [[ "$which" == ALL || "$rule" == - ]] || continue
        mkdir -p "$dir/$(dirname "$file")"
        printf '// filler\n#include %s\n' "$include" >> "$dir/$file"
        [[ "$rule" == - ]] || echo "$file:$(wc -l <"$dir/$file")|$rule"
    done <<<"$cases"
}

failures=0
expected="$(make_tree "$scratch/all" ALL | sort)"
status=0
found="$("$check" "$scratch/all" "$rules")" || status=$?
if (( status != 1 )); then
    echo "FAILED: the check ended with $status, not 1, on a tree with broken includes"
    failures=$((failures + 1))
fi
reported="$(grep ': includes ' <<<"$found" | sed -E 's/: includes [^:]*: /|/; s/ \([^()]*\)$//' | sort)"
if [[ "$reported" != "$expected" ]]; then
    echo "FAILED: the check named other includes than the broken ones (- expected, + named):"
    diff <(echo "$expected") <(echo "$reported") | grep '^[<>]' | sed 's/^</-/; s/^>/+/'
    failures=$((failures + 1))
fi

make_tree "$scratch/allowed" ALLOWED >/dev/null
status=0
found="$("$check" "$scratch/allowed" "$rules")" || status=$?
if (( status != 0 )); then
    echo "FAILED: the check ended with $status on a tree whose includes all point the right way:"
    echo "$found"
    failures=$((failures + 1))
fi

echo "$failures failed"
(( failures == 0 ))
