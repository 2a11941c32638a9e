#!/usr/bin/env bash
# Time of one check per message against Dovecot on loopback, next to the floor:
# a blocking-socket client that runs the same dialogue and does nothing else;
# and the same check over implicit TLS against a second Dovecot that requires
# it (bench_tls_loopback gives the client's own share of the TLS cost).
#
#   bench/check_time.sh [build-dir] [messages] [runs]     (defaults: build 2000 5)
#
# Needs root (the private Dovecot instances switch users). Prints every run and
# the medians; the targets are a check at most 1.5 times the floor and a check
# over TLS at most 1.2 times the plain one.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
count="${2:-2000}"
runs="${3:-5}"
fixture="$root/tests/support/dovecot-fixture.sh"
floor="$build/bench/bench_pop3_floor"
check="$build/bench/bench_check_time"
for program in "$floor" "$check"; do
  [ -x "$program" ] || { echo "missing $program: build the project first" >&2; exit 1; }
done

dir="$(mktemp -d /tmp/tandrel-bench-XXXXXX)"
tls_dir="$dir/tls-server"
cleanup() {
  bash "$fixture" stop "$dir" || true
  bash "$fixture" stop "$tls_dir" || true
  rm -rf "$dir"
}
trap cleanup EXIT

port="$(bash "$fixture" start "$dir")"
tls_port="$(bash "$fixture" start "$tls_dir" tls)"
authority="$tls_dir/tls/ca.crt"
python3 "$root/tests/support/make_messages.py" --bulk "$count" "$dir/made" >"$dir/made.list"
mapfile -t files <"$dir/made.list"
bash "$fixture" deliver "$dir" "${files[@]}"
bash "$fixture" deliver "$tls_dir" "${files[@]}"
echo "Dovecot on 127.0.0.1:$port (plain) and localhost:$tls_port (TLS required), $count new messages each;"
echo "$runs runs each, alternating"

# The first session moves the messages from new/ to cur/ and builds Dovecot's
# index; no measured client should pay for that.
"$floor" 127.0.0.1 "$port" taro secret 1 >/dev/null
"$check" localhost "$tls_port" taro secret 1 "$authority" >/dev/null

: >"$dir/floor.txt"
: >"$dir/check.txt"
: >"$dir/check-tls.txt"
for ((run = 1; run <= runs; run++)); do
  "$floor" 127.0.0.1 "$port" taro secret 1 | tee -a "$dir/floor.txt"
  "$check" 127.0.0.1 "$port" taro secret 1 | tee -a "$dir/check.txt"
  "$check" localhost "$tls_port" taro secret 1 "$authority" | tee -a "$dir/check-tls.txt"
done

# Medians, and the best runs: on a shared, loaded machine the best run is the
# one least disturbed by other work.
per_message() {
  sed -n 's/.*ms_per_message=\([0-9.]*\).*/\1/p' "$1" | sort -g | awk '{v[NR] = $1} END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.4f %.4f\n", m, v[1] }'
}
read -r floor_median floor_best < <(per_message "$dir/floor.txt")
read -r check_median check_best < <(per_message "$dir/check.txt")
read -r tls_median tls_best < <(per_message "$dir/check-tls.txt")
awk -v fm="$floor_median" -v cm="$check_median" -v fb="$floor_best" -v cb="$check_best" \
  -v tm="$tls_median" -v tb="$tls_best" 'BEGIN {
  printf "median ms per message: floor %.4f, MailCheck %.4f, ratio %.2f (target <= 1.50)\n", fm, cm, cm / fm
  printf "best   ms per message: floor %.4f, MailCheck %.4f, ratio %.2f\n", fb, cb, cb / fb
  printf "median ms per message: MailCheck plain %.4f, over TLS %.4f, ratio %.2f (target <= 1.20)\n", cm, tm, tm / cm
  printf "best   ms per message: MailCheck plain %.4f, over TLS %.4f, ratio %.2f\n", cb, tb, tb / cb }'
