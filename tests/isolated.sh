#!/bin/sh
# Runs one test program in a fresh working folder with its own temporary and
# per-user folders, offscreen, so no test touches the user's files.
set -e
box=$(mktemp -d "${TMPDIR:-/tmp}/gridmolt-test.XXXXXX")
trap 'rm -rf "$box"' EXIT
mkdir -p "$box/tmp" "$box/home" "$box/work"
export TMPDIR="$box/tmp" HOME="$box/home"
export XDG_DATA_HOME="$box/home/.local/share" XDG_CONFIG_HOME="$box/home/.config"
export XDG_CACHE_HOME="$box/home/.cache" XDG_RUNTIME_DIR="$box/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen
cd "$box/work"
"$@"
