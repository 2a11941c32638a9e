#!/usr/bin/env bash
# A first IMAP check of a large mailbox by the whole program (main window,
# check and arrival window, every message unseen and announced) next to the
# floor client (bench_imap_floor: the same commands over one TLS connection,
# everything read and dropped), both against one private Dovecot on loopback
# over TLS from the first byte: 20,000 and 200,000 unseen messages, with the
# program's own memory bound.
#
#   bench/imap_mailbox.sh [build-dir] [runs] [counts]    (defaults: build 3 "20000 200000")
#
# Needs root (the private Dovecot switches users). Prints every run, then
# medians: time, CPU and peak memory of the check, and both over the floor's.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-3}"
counts="${3:-20000 200000}"
fixture="$root/tests/support/dovecot-fixture.sh"
maker="$root/tests/support/make_messages.py"
floor="$build/bench/bench_imap_floor"
check="$build/bench/bench_large_mailbox"
for program in "$floor" "$check"; do
  [ -x "$program" ] || { echo "missing $program: build the project first" >&2; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "needs root: the private Dovecot switches users" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen

dir="$(mktemp -d /tmp/tandrel-imap-large-XXXXXX)"
chmod 755 "$dir"
trap '"$fixture" stop "$dir/server" >/dev/null 2>&1 || true; rm -rf "$dir"' EXIT

field() { sed -n "s/.* $1=\([0-9.]*\).*/\1/p"; }
median() { sort -g | awk '{v[NR] = $1} END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; $runs runs each, floor and check alternating"
for count in $counts; do
  "$fixture" stop "$dir/server" >/dev/null 2>&1 || true
  rm -rf "$dir/server" "$dir/made"
  mkdir -p "$dir/server"
  "$fixture" start "$dir/server" >/dev/null
  port="$(cat "$dir/server/imaps-port")"
  python3 "$maker" --bulk "$count" "$dir/made" >"$dir/files"
  xargs -a "$dir/files" "$fixture" deliver "$dir/server"
  # Dovecot indexes the new mailbox in its first session, which is not what is measured.
  "$floor" "$port" "$dir/server/tls/ca.crt" >/dev/null
  : >"$dir/floor" && : >"$dir/check"
  for ((run = 1; run <= runs; run++)); do
    "$floor" "$port" "$dir/server/tls/ca.crt" | tee -a "$dir/floor"
    "$check" "$port" 0 1 "$dir/server/tls/ca.crt" 2>/dev/null | tee -a "$dir/check"
  done
  f_ms=$(field ms <"$dir/floor" | median)
  f_cpu=$(field cpu_ms <"$dir/floor" | median)
  c_ms=$(field ms <"$dir/check" | median)
  c_cpu=$(field cpu_ms <"$dir/check" | median)
  peak=$(field peak_kb <"$dir/check" | median)
  awk -v n="$count" -v f="$f_ms" -v fc="$f_cpu" -v c="$c_ms" -v cc="$c_cpu" -v p="$peak" 'BEGIN {
    printf "%d unseen: floor %.0f ms (CPU %.0f ms), check %.0f ms (CPU %.0f ms): %.2f x the floor in time,", n, f, fc, c, cc, c / f
    printf " %.2f x in CPU; peak %.1f MB\n", cc / fc, p / 1024 }'
done
