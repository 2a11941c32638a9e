#!/usr/bin/env bash
# A private Secret Service, run under dbus-run-session with keyring-bus.conf.
# Reads three lines: the keyring's password, then an entry name and its secret
# to store as the program's keyring library stores one. Prints the bus address
# once they are in; the next line on standard input stops the daemon (it then
# prints "gone"), and the end of standard input ends everything.
set -euo pipefail
home="$(mktemp -d)"
trap 'kill "$daemon" 2>/dev/null || true; rm -rf "$home"' EXIT
export XDG_DATA_HOME="$home" XDG_RUNTIME_DIR="$home"
read -r password
gnome-keyring-daemon --unlock --components=secrets --foreground <<<"$password" >/dev/null &
daemon=$!
gdbus wait --session --timeout 30 org.freedesktop.secrets
read -r entry secret
printf %s "$secret" | secret-tool store --label=tandrel xdg:schema org.qt.keychain type plaintext \
  server tandrel user "$entry"
echo "$DBUS_SESSION_BUS_ADDRESS"
read -r _ || exit 0
kill "$daemon"
wait "$daemon" || true
echo gone
read -r _ || true
