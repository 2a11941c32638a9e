#!/usr/bin/env bash
# Push on IMAP accounts against a private Dovecot on loopback, which the
# benchmark starts and stops itself: the time from delivery to the arrival row
# over <deliveries> deliveries to an account in IDLE (median and worst; target
# under 1 s), and the CPU over <seconds> with three accounts in IDLE and
# nothing arriving (target 0.0 % of one core).
#
#   bench/imap_push.sh [build-dir] [deliveries] [seconds]     (defaults: build 20 30)
#
# Needs root (the private Dovecot switches users). Prints every delivery and the summary.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
deliveries="${2:-20}"
seconds="${3:-30}"
program="$build/bench/bench_imap_push"
[ -x "$program" ] || { echo "missing $program: build the project first" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "needs root: the private Dovecot switches users" >&2; exit 1; }
exec "$program" "$deliveries" "$seconds"
