#!/usr/bin/env bash
# The manual pages format without a warning, and kesto(1) documents exactly the commands and
# long options that `kesto --help` lists.
# Usage: manpages.sh KESTO MANPAGE...
set -euo pipefail
kesto=$1
shift
fail() { echo "FAIL: $*" >&2; exit 1; }

for page in "$@"; do
    warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page: $warnings"
    [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
done

page=$1
[ "$(basename "$page")" = kesto.1 ] || fail "the first page must be kesto.1"
help=$("$kesto" --help)
# The page's words as they print: "\-" is a hyphen, font changes and "\&" leave no trace.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g' -e 's/\\(ti/~/g' "$page")

commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/p' | grep -E '^  [a-z]' |
           awk '{ print $1 }' | sort -u)
[ -n "$commands" ] || fail "no commands found in kesto --help"
for command in $commands; do
    # Each command heads an entry of the COMMANDS section. A here-string, not a pipe: grep -q
    # ends at the first match, and the page is longer than a pipe holds, so the writer of a pipe
    # would die of SIGPIPE and pipefail would fail the check.
    grep -qE "^\.(B|BI|BR) +\"?$command( |\"|$)" <<<"$text" ||
        fail "kesto.1 has no entry for the command '$command'"
done

long_options() { grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }
in_help=$(printf '%s\n' "$help" | long_options)
in_page=$(printf '%s\n' "$text" | long_options)
missing=$(comm -23 <(printf '%s\n' "$in_help") <(printf '%s\n' "$in_page"))
[ -z "$missing" ] || fail "kesto.1 does not mention: $missing"
unknown=$(comm -13 <(printf '%s\n' "$in_help") <(printf '%s\n' "$in_page"))
[ -z "$unknown" ] || fail "kesto.1 mentions options kesto --help does not know: $unknown"
echo "manual pages: ok"
