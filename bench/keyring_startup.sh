#!/usr/bin/env bash
# The start-up time that keeping 10 passwords in the keyring adds, against a
# private GNOME Keyring on a session bus of its own.
#   bench/keyring_startup.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT

coproc keyring {
  XDG_DATA_HOME="$home" XDG_RUNTIME_DIR="$home" dbus-run-session \
    --config-file="$root/tests/support/keyring-bus.conf" -- "$root/tests/support/keyring-fixture.sh" 2>/dev/null
}
echo keyring-password >&"${keyring[1]}"
read -r address _ <&"${keyring[0]}"
DBUS_SESSION_BUS_ADDRESS="$address" "$build/bench/bench_keyring_startup"
eval "exec ${keyring[1]}>&-"
wait
