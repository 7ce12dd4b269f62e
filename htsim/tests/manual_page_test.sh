#!/usr/bin/env bash
# Checks the simulator's manual page against the program: every option its
# help names and every fault kind it accepts is in the page, and the page
# names no option or fault kind the program does not have.
# The README's table of fault kinds is held to the same list.
#   manual_page_test.sh SIMULATOR MANUAL_PAGE README
set -euo pipefail
sim=$1
manual=$2
readme=$3

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
sorted() { tr ' ,' '\n\n' | { grep -v '^$' || true; } | sort -u | tr '\n' ' '; }

# The page as text, without its font changes and hyphen escapes.
page=$(sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$manual")

help_options=$("$sim" --help | grep -oE -- '--[a-z][a-z-]*' | sorted)
page_options=$(grep -oE -- '--[a-z][a-z-]*' <<<"$page" | grep -vx -- '--help' | sorted)
[ "$help_options" = "$page_options" ] ||
  fail "the page's options are '$page_options', the program's '$help_options'"

# The program lists its fault kinds when it is given one it does not know.
message=$("$sim" --ht 1 --fault no-such-kind 2>&1 >/dev/null || true)
kinds=$(sed -n 's/.*(kinds: \(.*\))$/\1/p' <<<"$message" | head -n 1 | sorted)
[ -n "$kinds" ] || fail "no list of fault kinds in: $message"
# The page's fault list: the bold words that head the paragraphs of FAULTS,
# their italic arguments and optional parts left out.
page_kinds=$(awk '/^\.SH/ {inside = $2 == "FAULTS"} inside' "$manual" | grep -E '^\.BR ' |
  sed -e 's/^\.BR //' -e 's/\\fI[^\\]*\\fR//g' -e 's/\[[^]]*\]//g' -e 's/[="]//g' | sorted)
[ "$kinds" = "$page_kinds" ] ||
  fail "the page's fault kinds are '$page_kinds', the program's '$kinds'"

# The README's fault table: rows whose first cell is a kind in backquotes.
readme_kinds=$(grep -oE '^\| `[a-z]+[=[`]' "$readme" | sed -e 's/^| `//' -e 's/[=[`]$//' | sorted)
[ "$kinds" = "$readme_kinds" ] ||
  fail "the README's fault kinds are '$readme_kinds', the program's '$kinds'"

# The page renders without complaint.
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$manual" 2>&1 || true)
  [ -z "$warnings" ] || fail "groff: $warnings"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "manual page matches: $(wc -w <<<"$help_options") options, $(wc -w <<<"$kinds") fault kinds"
