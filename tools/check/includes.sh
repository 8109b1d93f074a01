#!/bin/bash
# usage: tools/check/includes.sh [TREE [RULES]]
#
# Checks every #include of the C, C++ and resource files of TREE (default:
# this repository) against the rules in RULES (default:
# TREE/tools/check/include_rules.txt, whose head says how they read). Each
# include that breaks a rule is printed as
#   FILE:LINE: includes TARGET: RULE (RULES:LINE)
# An include names the file the compiler would take: "x.h" next to the
# including file first, then from the top of TREE (both forms the same for
# <x.h>); a quoted name found neither way but ending exactly one path of
# TREE (reached through a build's include folder) is taken as that file.
# Anything else (system and library headers) is not checked.
#
# Exit status: 0 when no include breaks a rule, 1 when one does, 2 when the
# rules cannot be read.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
usage() { awk 'NR == 1 { next } !/^#/ { exit } { sub(/^# ?/, ""); print }' "$0"; }
[[ "${1:-}" == -h || "${1:-}" == --help ]] && { usage; exit 0; }
[[ $# -le 2 ]] || { usage >&2; exit 2; }
tree="$(cd "${1:-$here/../..}" && pwd)"
rules="${2:-$tree/tools/check/include_rules.txt}"
[[ -f "$rules" ]] || { echo "includes: no rules file $rules" >&2; exit 2; }

# The tree's source files, build trees and .git left out.
files="$(cd "$tree" && find . \( -path ./.git -o -path './build*' \) -prune -o -type f \
    \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.rc' \) -print |
    sed 's|^\./||' | LC_ALL=C sort)"

# The rules file as it is named in messages.
rules_name="${rules#"$tree"/}"

status=0
awk -v tree="$tree" -v rules_name="$rules_name" '
function normalize(path,    parts, n, i, out, depth) {
    n = split(path, parts, "/")
    depth = 0
    for (i = 1; i <= n; i++) {
        if (parts[i] == "" || parts[i] == ".")
            continue
        if (parts[i] == "..") {
            if (depth == 0)
                return ""  # above the tree
            depth--
        } else {
            out[++depth] = parts[i]
        }
    }
    path = ""
    for (i = 1; i <= depth; i++)
        path = path (i > 1 ? "/" : "") out[i]
    return path
}

# A folder ("x/") holds every path under it; any other path only itself.
function covers(place, path) {
    return place ~ /\/$/ ? index(path, place) == 1 : path == place
}

function resolve(name, dir, quoted,    candidate, path, found, count) {
    if (quoted && dir != "") {
        candidate = normalize(dir "/" name)
        if (candidate in known)
            return candidate
    }
    candidate = normalize(name)
    if (candidate in known)
        return candidate
    if (!quoted)
        return ""
    count = 0
    for (path in known) {
        if (length(path) > length(name) && substr(path, length(path) - length(name)) == "/" name) {
            found = path
            count++
        }
    }
    return count == 1 ? found : ""
}

# Whether target breaks the rule; sets broken_text to the rule as broken.
function breaks(rule, target,    i, n, places, inside) {
    n = split(to[rule], places, " ")
    inside = ""
    for (i = 1; i <= n; i++)
        if (covers(places[i], target))
            inside = places[i]
    if (kind[rule] == "not")
        broken_text = from[rule] " may not include " inside
    else
        broken_text = from[rule] " may include only " to[rule]
    return kind[rule] == "not" ? inside != "" : inside == ""
}

# The rules file.
FNR == NR {
    sub(/#.*/, "")
    if (NF == 0)
        next
    if (NF >= 5 && $2 == "may" && $3 == "not" && $4 == "include")
        kind[++rules] = "not"
    else if (NF >= 5 && $2 == "may" && $3 == "include" && $4 == "only")
        kind[++rules] = "only"
    else {
        printf "%s:%d: not a rule: %s\n", rules_name, FNR, $0 > "/dev/stderr"
        unreadable = 1
        next
    }
    from[rules] = $1
    to[rules] = $5
    for (i = 6; i <= NF; i++)
        to[rules] = to[rules] " " $i
    rule_line[rules] = FNR
    next
}

# The list of files.
NF > 0 { known[$0] = 1; file[++files] = $0 }

END {
    if (unreadable || rules == 0) {
        if (rules == 0)
            printf "%s: no rules\n", rules_name > "/dev/stderr"
        exit 2
    }
    for (f = 1; f <= files; f++) {
        path = file[f]
        checked = 0
        for (r = 1; r <= rules; r++)
            if (covers(from[r], path))
                checked = 1
        if (!checked)
            continue
        dir = path
        if (!sub(/\/[^\/]*$/, "", dir))
            dir = ""
        line_number = 0
        while ((getline line < (tree "/" path)) > 0) {
            line_number++
            if (line !~ /^[ \t]*#[ \t]*include[ \t]*["<][^">]+[">]/)
                continue
            match(line, /["<][^">]+[">]/)
            name = substr(line, RSTART + 1, RLENGTH - 2)
            target = resolve(name, dir, substr(line, RSTART, 1) == "\"")
            if (target == "")
                continue
            for (r = 1; r <= rules; r++) {
                if (covers(from[r], path) && breaks(r, target)) {
                    printf "%s:%d: includes %s: %s (%s:%d)\n", path, line_number, target,
                           broken_text, rules_name, rule_line[r]
                    broken++
                }
            }
        }
        close(tree "/" path)
    }
    exit broken > 0 ? 1 : 0
}
' "$rules" - <<<"$files" || status=$?

case "$status" in
    0) echo "include rules: clean" ;;
    1) echo "include rules: the includes above point the wrong way ($rules_name)" ;;
esac
exit "$status"
