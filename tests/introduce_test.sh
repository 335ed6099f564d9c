#!/usr/bin/env bash
# Every program answers --help and --version with exit status 0 and no display,
# in one plain style: the version line is "NAME VERSION", the help text starts
# with "Usage: NAME" and shows none of CLI11's own layout.
# Usage: introduce_test.sh VERSION PROGRAM...
set -uo pipefail
version=$1
shift
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for program in "$@"; do
  name=$(basename "$program")
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version >"$tmp/out" 2>"$tmp/err"
  status=$?
  [ "$status" -eq 0 ] || { cat "$tmp/err" >&2; fail "$name --version: exit status $status"; }
  [ "$(cat "$tmp/out")" = "$name $version" ] || fail "$name --version printed '$(cat "$tmp/out")'"
  [ ! -s "$tmp/err" ] || fail "$name --version wrote to standard error"

  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help >"$tmp/out" 2>"$tmp/err"
  status=$?
  [ "$status" -eq 0 ] || { cat "$tmp/err" >&2; fail "$name --help: exit status $status"; }
  head -n 1 "$tmp/out" | grep -q "^Usage:\( $name\)\?" || fail "$name --help does not start with its usage"
  grep -q -- '--version' "$tmp/out" || fail "$name --help does not mention --version"
  if grep -E -q 'REQUIRED|TEXT|Print this help|Positionals:|:\{' "$tmp/out"; then
    cat "$tmp/out" >&2
    fail "$name --help shows the option library's own layout"
  fi
done
echo "$# programs answer --help and --version"
