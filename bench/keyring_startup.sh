#!/usr/bin/env bash
# The start-up time that keeping 10 passwords in the keyring adds, against a
# private GNOME Keyring on a session bus of its own.
#   bench/keyring_startup.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"

coproc keyring {
  dbus-run-session --config-file="$root/tests/support/keyring-bus.conf" -- \
    "$root/tests/support/keyring-fixture.sh" 2>/dev/null
}
# The fixture's own entry is not one of the benchmark's.
printf 'keyring-password\nfixture-entry unused\n' >&"${keyring[1]}"
read -r address <&"${keyring[0]}"
DBUS_SESSION_BUS_ADDRESS="$address" "$build/bench/bench_keyring_startup"
eval "exec ${keyring[1]}>&-"
wait
