#!/usr/bin/env bash
# A private Secret Service: run under dbus-run-session with keyring-bus.conf
# from this folder, it unlocks a fresh GNOME Keyring with the password
# on standard input, prints the bus address and the daemon's process id once
# the service is on the bus, and stops the daemon when standard input ends.
set -euo pipefail
read -r password
gnome-keyring-daemon --unlock --components=secrets --foreground <<<"$password" >/dev/null &
gdbus wait --session --timeout 30 org.freedesktop.secrets
echo "$DBUS_SESSION_BUS_ADDRESS $!"
read -r _ || true
kill "$!" 2>/dev/null || true
