#!/usr/bin/env bash
# What spam handling costs a check, against Dovecot on loopback:
#   - detection: a check of <count> new messages (none of them spam, so every
#     one is still announced) with detection off and on, next to the floor
#     client; detection reads headers the check fetches anyway.
#   - deletion: 100 new spam messages behind a proxy that makes every round
#     trip 20 ms, deleted pipelined and one by one (the proxy refuses CAPA).
#   - a spam message of 60 MB deleted: the check's peak resident memory.
#
#   bench/spam.sh [build-dir] [count] [runs]     (defaults: build 2000 5)
#
# Needs root (the private Dovecot switches users). Prints every run and the medians.
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

dir="$(mktemp -d /tmp/tandrel-spam-XXXXXX)"
chmod 755 "$dir"
proxy_pid=""
cleanup() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null
  bash "$fixture" stop "$dir/bulk" || true
  bash "$fixture" stop "$dir/spam" || true
  rm -rf "$dir"
}
trap cleanup EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ms_of() { sed -n 's/.* ms=\([0-9.]*\).*/\1/p'; }

port="$(bash "$fixture" start "$dir/bulk")"
python3 "$root/tests/support/make_messages.py" --bulk "$count" "$dir/bulk-made" >"$dir/bulk.list"
mapfile -t files <"$dir/bulk.list"
bash "$fixture" deliver "$dir/bulk" "${files[@]}"
"$floor" 127.0.0.1 "$port" taro secret 1 >/dev/null
: >"$dir/floor"; : >"$dir/off"; : >"$dir/on"
for ((run = 1; run <= runs; run++)); do
  "$floor" 127.0.0.1 "$port" taro secret 1 | ms_of | tee -a "$dir/floor"
  "$check" 127.0.0.1 "$port" taro secret 1 | ms_of | tee -a "$dir/off"
  TANDREL_BENCH_SPAM=check "$check" 127.0.0.1 "$port" taro secret 1 | ms_of | tee -a "$dir/on"
done
f="$(median <"$dir/floor")"; off="$(median <"$dir/off")"; on="$(median <"$dir/on")"
awk -v c="$count" -v f="$f" -v off="$off" -v on="$on" 'BEGIN {
  printf "%d messages: floor %.1f ms, check %.1f ms, check with detection %.1f ms\n", c, f, off, on
  printf "detection adds %.1f ms (%.1f%%); check/floor %.2f, with detection %.2f\n", on - off, 100 * (on - off) / off, off / f, on / f }'

# 100 spam messages, delivered afresh before every run since a run deletes them.
sport="$(bash "$fixture" start "$dir/spam")"
python3 - "$dir/spam-made" >"$dir/spam.json" <<'PY'
import json, sys
print(json.dumps([{"charset": "us-ascii", "fromName": "Ads", "fromAddr": "ads@example.com",
                   "subject": "[meiwaku] offer %d" % i, "date": "Mon, 7 Dec 2026 10:00:00 +0900"}
                  for i in range(100)]))
PY
python3 "$root/tests/support/make_messages.py" "$dir/spam-made" <"$dir/spam.json" >"$dir/spam.list"
mapfile -t spam <"$dir/spam.list"
for mode in pipelined one-by-one; do
  : >"$dir/$mode"
  flags=()
  [ "$mode" = one-by-one ] && flags=(--refuse-capa)
  rm -f "$dir/proxy.port"
  python3 "$root/bench/delay_proxy.py" --target "127.0.0.1:$sport" --delay-ms 10 --port-file "$dir/proxy.port" \
    "${flags[@]}" >/dev/null &
  proxy_pid=$!
  until [ -s "$dir/proxy.port" ]; do sleep 0.05; done
  for ((run = 1; run <= 3; run++)); do
    bash "$fixture" deliver "$dir/spam" "${spam[@]}"
    rm -rf "$dir/kept"
    TANDREL_BENCH_SPAM="delete:$dir/kept" "$check" 127.0.0.1 "$(cat "$dir/proxy.port")" taro secret 1 | ms_of \
      | tee -a "$dir/$mode"
    left="$("$floor" 127.0.0.1 "$sport" taro secret 1 | sed -n 's/.*messages=\([0-9]*\).*/\1/p')"
    kept="$(ls "$dir/kept/new" | grep -c '\.deleted$' || true)"
    echo "  $mode run $run: $kept copies kept as deleted, $left messages left on the server"
  done
  kill "$proxy_pid"; wait "$proxy_pid" 2>/dev/null || true; proxy_pid=""
done
p="$(median <"$dir/pipelined")"; s="$(median <"$dir/one-by-one")"
awk -v p="$p" -v s="$s" 'BEGIN {
  printf "deleting 100 spam at a 20 ms round trip: pipelined %.0f ms, one by one %.0f ms (%.1f times)\n", p, s, s / p }'

# One spam message of 60 MB (its lines dot-stuffed on the wire) beside a plain one.
python3 - "$dir" <<'PY'
import sys
d = sys.argv[1]
head = "From: ads@example.com\r\nTo: taro@example.jp\r\nDate: Mon, 7 Dec 2026 10:00:00 +0900\r\n"
open(d + "/plain.eml", "w").write(head + "Subject: hello\r\n\r\nplain\r\n")
line = "." + "x" * 76 + "\r\n"
with open(d + "/big.eml", "w") as f:
    f.write(head + "Subject: [meiwaku] big offer\r\n\r\n")
    f.write(line * (60 * 1000 * 1000 // len(line)))
PY
bash "$fixture" deliver "$dir/spam" "$dir/plain.eml" "$dir/big.eml"
rm -rf "$dir/kept"
TANDREL_BENCH_SPAM="delete:$dir/kept" /usr/bin/time -v "$check" 127.0.0.1 "$sport" taro secret 1 >/dev/null 2>"$dir/time"
awk '/Maximum resident/ { printf "deleting a 60 MB spam message: peak %.1f MB resident\n", $NF / 1000 }' "$dir/time"
