#!/usr/bin/env bash
# No text from a file or the command line carries an escape code to the
# terminal through standard error: each tool is given an archive name that
# holds a terminal title sequence (ESC ] ... BEL), a raw C1 byte and a C1
# character in UTF-8, and its message must show them escaped.
# Usage: escape_test.sh HPI TABLE CHECK DIFF APPLY
set -uo pipefail
hpi=$1 table=$2 check=$3 diff=$4 apply=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

bad="$tmp/"$'\e]0;owned\a\x9b\xc2\x9b'"mod.ufo"
printf 'not an archive' >"$bad"

check_err() {
  local what=$1
  [ -s "$tmp/err" ] || fail "$what: no message"
  if LC_ALL=C grep -q $'[\e\a\x9b]' "$tmp/err"; then
    od -c "$tmp/err" >&2
    fail "$what: a control byte reached standard error"
  fi
  grep -qF '\x1b]0;owned\x07\x9b\u009bmod.ufo' "$tmp/err" || { cat "$tmp/err" >&2; fail "$what: the name is not shown escaped"; }
}

"$hpi" list "$bad" >/dev/null 2>"$tmp/err"; check_err "hpi list"
"$table" units "$bad" >/dev/null 2>"$tmp/err"; check_err "kestrava-table"
"$check" "$bad" >/dev/null 2>"$tmp/err"; check_err "kestrava-check"
"$diff" "$bad" "$bad" >/dev/null 2>"$tmp/err"; check_err "kestrava-diff"
"$apply" "$bad.csv" >/dev/null 2>"$tmp/err"; check_err "kestrava-apply"
echo "five tools show names with control bytes escaped on standard error"
