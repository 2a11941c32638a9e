#!/usr/bin/env bash
# Time of one check per message against Dovecot on loopback, next to the floor:
# a blocking-socket client that runs the same dialogue and does nothing else.
#
#   bench/check_time.sh [build-dir] [messages] [runs]     (defaults: build 2000 5)
#
# Needs root (the private Dovecot instance switches users). Prints every run and
# the medians; the target is a check at most 1.5 times the floor.
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
cleanup() {
  bash "$fixture" stop "$dir" || true
  rm -rf "$dir"
}
trap cleanup EXIT

port="$(bash "$fixture" start "$dir")"
python3 "$root/tests/support/make_messages.py" --bulk "$count" "$dir/made" >"$dir/made.list"
mapfile -t files <"$dir/made.list"
bash "$fixture" deliver "$dir" "${files[@]}"
echo "Dovecot on 127.0.0.1:$port with $count new messages; $runs runs each, alternating"

# The first session moves the messages from new/ to cur/ and builds Dovecot's
# index; neither client should pay for that.
"$floor" 127.0.0.1 "$port" taro secret 1 >/dev/null

: >"$dir/floor.txt"
: >"$dir/check.txt"
for ((run = 1; run <= runs; run++)); do
  "$floor" 127.0.0.1 "$port" taro secret 1 | tee -a "$dir/floor.txt"
  "$check" 127.0.0.1 "$port" taro secret 1 | tee -a "$dir/check.txt"
done

# Medians, and the best runs: on a shared, loaded machine the best run is the
# one least disturbed by other work.
per_message() {
  sed -n 's/.*ms_per_message=\([0-9.]*\).*/\1/p' "$1" | sort -g | awk '{v[NR] = $1} END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.4f %.4f\n", m, v[1] }'
}
read -r floor_median floor_best < <(per_message "$dir/floor.txt")
read -r check_median check_best < <(per_message "$dir/check.txt")
awk -v fm="$floor_median" -v cm="$check_median" -v fb="$floor_best" -v cb="$check_best" 'BEGIN {
  printf "median ms per message: floor %.4f, MailCheck %.4f, ratio %.2f (target <= 1.50)\n", fm, cm, cm / fm
  printf "best   ms per message: floor %.4f, MailCheck %.4f, ratio %.2f\n", fb, cb, cb / fb }'
