#!/usr/bin/env bash
# Started without a display, the program says in one line that it needs one
# and how to get one, and exits with status 1 rather than Qt's abort: once
# with no display named at all, once with a display that cannot be reached.
# Usage: no_display_test.sh KESTRAVA
set -uo pipefail
program=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" >"$tmp/out" 2>"$tmp/err"
status=$?
[ "$status" -eq 1 ] || fail "without a display: exit status $status, not 1"
[ "$(wc -l <"$tmp/err")" -eq 1 ] || { cat "$tmp/err" >&2; fail "without a display: not one line"; }
grep -q '^kestrava: there is no display .*xvfb-run' "$tmp/err" || { cat "$tmp/err" >&2; fail "without a display: message"; }
[ ! -s "$tmp/out" ] || fail "without a display: standard output not empty"

# A display socket that no server listens on.
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:64999 XAUTHORITY=/dev/null "$program" >"$tmp/out" 2>"$tmp/err"
status=$?
[ "$status" -eq 1 ] || fail "unreachable display: exit status $status, not 1"
tail -n 1 "$tmp/err" | grep -q '^kestrava: the display could not be opened .*xvfb-run' ||
  { cat "$tmp/err" >&2; fail "unreachable display: message"; }
echo "no display: both cases end with the message and status 1"
