#!/usr/bin/env bash
# Checks veskactl's bash completion and manual page against its command
# table, so that neither can fall behind a command or option added to the
# program, and that the completion offers what it should.
#   completion_test.sh TABLE_DUMP COMPLETION_FILE MANUAL_PAGE
# TABLE_DUMP is the program that prints the table (command_table_dump.cpp).
# The completion file sourced below sets the _veskactl_* lists.
# shellcheck disable=SC2154
set -euo pipefail
dump=$1
completion=$2
manual=$3

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
sorted() { tr ' ' '\n' | { grep -v '^$' || true; } | sort -u | tr '\n' ' '; }

table=$("$dump")
# The completion's lists (_veskactl_commands, ...) are checked below.
# shellcheck disable=SC1090
source "$completion"

# Runs the completion on the command line $1 (the word to complete last, ""
# for an empty one) and prints what it offers, sorted, on one line.
complete_line() {
  read -r -a COMP_WORDS <<<"veskactl $1"
  [[ $1 == *" " || -z $1 ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _veskactl
  printf '%s\n' "${COMPREPLY[@]}" | sorted
}
expect() {
  local got
  got=$(complete_line "$1")
  [ "$got" = "$(sorted <<<"$2")" ] || fail "completing 'veskactl $1' offers '$got', not '$2'"
}

# --- the completion against the table -------------------------------------------
commands=$(awk '$1 == "command" {split($2, w, "+"); print w[1]}' <<<"$table" | sorted)
job_commands=$(awk '$1 == "command" && $2 ~ /^job\+/ {sub(/^job\+/, "", $2); print $2}' <<<"$table" | sorted)
offered=$(sorted <<<"$_veskactl_commands")
# A build without the desktop tools has no job commands; the completion keeps them.
[ -n "$job_commands" ] || offered=$(tr ' ' '\n' <<<"$offered" | grep -vx job | sorted)
[ "$offered" = "$commands" ] || fail "the completion's commands are '$offered', the table's '$commands'"
if [ -n "$job_commands" ]; then
  [ "$(sorted <<<"$_veskactl_job_commands")" = "$job_commands" ] ||
    fail "the completion's job commands are '$_veskactl_job_commands', the table's '$job_commands'"
fi
rates=$(awk '$1 == "baud" {$1 = ""; print}' <<<"$table")
[ "$(sorted <<<"$_veskactl_baud_rates")" = "$(sorted <<<"$rates")" ] ||
  fail "the completion's baud rates are '$_veskactl_baud_rates', veskactl's '$rates'"

# Each command is offered with exactly the options it takes.
while read -r _ name target options; do
  typed=${name//+/ }
  [ "$target" = HT ] && typed+=" 5"
  [ "$target" = SELECTION ] && typed+=" 1-3"
  want=""
  for o in $options help version; do want+=" --$o"; done
  expect "$typed --" "$want"
done < <(grep '^command ' <<<"$table")

# --- what the completion offers ---------------------------------------------------
expect "" "$_veskactl_commands"
expect "ge" "get get-all"
expect "serve-" "serve-download serve-upload"
expect "--port 1 po" "poll poweroff"
expect "dir 12" "12 120 121 122 123 124 125 126 127 128"
expect "dir 5 --baud " "$rates"
expect "--parity " "N E O"
expect "poll 5 --data " "7 8"
expect "poll 5 --stop " "1 2"
expect "get 5 --mode " "overwrite append new"
expect "install 5 --mode " "0 1"
expect "serve-upload 1-3 --result-mode " "0 1 2"
expect "serve-upload 1-3 --to /tmp --mode a" "append"
expect "serve-download " ""
expect "poll 5 --timeout " ""
# bash splits "--parity=E" into "--parity", "=" and "E".
expect "--parity =" "N E O"
expect "--parity = E d" "delete dir dispinit"
expect "get 5 --mode = o" "overwrite"
if [ -n "$job_commands" ]; then
  expect "job " "show run"
  expect "job run x.SIF --d" "--data --download"
fi
# Ports: the ones $VESKA_COM<N> names, whatever serial devices there are.
export VESKA_COM97=/dev/null VESKA_COM9X=/dev/null
got=$(complete_line "--port 9")
grep -qw 97 <<<"$got" || fail "--port does not offer 97, which VESKA_COM97 names: '$got'"
grep -qw 9X <<<"$got" && fail "--port offers 9X from VESKA_COM9X"
for device in /dev/ttyS[0-9]*; do
  [ -e "$device" ] || continue
  port=$((${device#/dev/ttyS} + 1))
  complete_line "dir 1 --port " | grep -qw "$port" || fail "--port does not offer $port for $device"
done
# Files for the operands that name PC files and for the options that take one.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/sub"
touch "$scratch/DAY.SIF"
expect "put 5 $scratch/D" "$scratch/DAY.SIF"
expect "get 5 NAME --to $scratch/" "$scratch/sub"
expect "--trace $scratch/DA" "$scratch/DAY.SIF"
expect "get 5 $scratch/D" ""

# --- the manual page against the table ------------------------------------------
# Roff writes a hyphen as "\-".
roff() { echo "${1//-/\\-}"; }
section=$(sed -n '/^\.SH COMMANDS/,/^\.SH [^C]/p' "$manual")
# A command's heading is its name up to the first font change.
documented=$(grep -A1 '^\.TP' <<<"$section" | sed -n 's/^\.B \(.*\)/\1/p' |
  sed 's/\\f.*//; s/\\-/-/g; s/ *$//' | tr ' ' '+' | sorted)
listed=$(awk '$1 == "command" {print $2}' <<<"$table" | sorted)
[ -n "$job_commands" ] || documented=$(tr ' ' '\n' <<<"$documented" | grep -v '^job+' | sorted)
[ "$documented" = "$listed" ] ||
  fail "the manual page's COMMANDS are '$documented', the table's '$listed'"
all_options=$(awk '$1 == "command" {for (i = 4; i <= NF; i++) print $i}' <<<"$table" | sorted)
for o in $all_options help version; do
  grep -qF -- "$(roff "--$o")" "$manual" || fail "the manual page does not name --$o"
done
for o in $(grep -oE -- '\\-\\-[a-z]([a-z]|\\-)*' "$manual" | sed 's/\\-/-/g; s/^--//' | sort -u); do
  [[ " $all_options help version " == *" $o "* ]] || fail "the manual page names --$o, which veskactl does not take"
done

[ "$failures" -eq 0 ] || exit 1
echo "the completion and the manual page match the command table"
