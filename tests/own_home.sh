#!/bin/sh
# Runs a test with a home, configuration, data, cache and state folder of its
# own, made afresh and removed afterwards, so that nothing a test (or Qt on
# its behalf) writes reaches the user's ~/.config or ~/.local.
dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrava-test.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT HUP INT TERM
for sub in home config data cache state; do mkdir -p "$dir/$sub"; done
HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache" \
  XDG_STATE_HOME="$dir/state" "$@"
