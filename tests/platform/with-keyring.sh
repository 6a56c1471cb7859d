#!/usr/bin/env bash
# Runs a test program with a real secret store: a private session bus
# (dbus-run-session) and gnome-keyring-daemon's secret component on it,
# its login keyring made and unlocked in a throw-away home.
# Usage: with-keyring.sh PROGRAM [ARGS...]
set -euo pipefail
if [ -z "${KB_IN_SESSION:-}" ]; then
    command -v dbus-run-session >/dev/null && command -v gnome-keyring-daemon >/dev/null || {
        echo "dbus-run-session or gnome-keyring-daemon missing: not run"; exit 0; }
    exec env KB_IN_SESSION=1 dbus-run-session -- bash "$0" "$@"
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'throw-away' | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
export KB_TEST_SECRET_STORE=1
"$@"
