#!/usr/bin/env bash
# A check of a large mailbox by the whole program (main window, check and
# arrival window, every message new) next to the floor client, both against
# bench_mailbox_server, a made-up mailbox served by a process of its own:
# 20,000 and 200,000 messages, pipelined and one by one. These run with a
# memory bound above what 200,000 messages cost, so that the whole check is
# measured. Then, with the program's own bound, 200,000 messages pipelined,
# and the hostile server that announces 1,000,000 messages with 512-byte
# identifiers and 400-byte subjects, in both ways.
#
#   bench/large_mailbox.sh [build-dir] [runs] [bound-MiB]    (defaults: build 3 1024)
#
# Prints every run, then medians: time, CPU, peak memory of the process and
# its growth per message, the time per message at 200,000 over that at
# 20,000, and the check's time over the floor's. Figures only.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-3}"
bound="${3:-1024}"
server="$build/bench/bench_mailbox_server"
floor="$build/bench/bench_pop3_floor"
check="$build/bench/bench_large_mailbox"
for program in "$server" "$floor" "$check"; do
  [ -x "$program" ] || { echo "missing $program: build the project first" >&2; exit 1; }
done
export QT_QPA_PLATFORM=offscreen

dir="$(mktemp -d /tmp/tandrel-large-XXXXXX)"
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  server_pid=""
}
trap 'stop_server; rm -rf "$dir"' EXIT

# Starts a server; its port is in $port.
start_server() {
  "$server" "$@" >"$dir/port" &
  server_pid=$!
  port=""
  for _ in $(seq 1 100); do
    port="$(head -n1 "$dir/port" 2>/dev/null || true)"
    [ -n "$port" ] && return
    sleep 0.05
  done
  echo "the server did not start" >&2
  exit 1
}

field() { sed -n "s/.* $1=\([0-9.]*\).*/\1/p"; }
median() { sort -g | awk '{v[NR] = $1} END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; $runs runs each, floor and check alternating"
declare -A ms_per
for mode in pipelining sequential; do
  floor_mode=auto
  [ "$mode" = sequential ] && floor_mode=sequential
  for count in 20000 200000; do
    start_server "$count" "$mode"
    : >"$dir/floor" && : >"$dir/check"
    for ((run = 1; run <= runs; run++)); do
      "$floor" 127.0.0.1 "$port" taro secret 1 "$floor_mode" | tee -a "$dir/floor"
      "$check" "$port" "$bound" 2>/dev/null | tee -a "$dir/check"
    done
    stop_server
    f_ms=$(field ms <"$dir/floor" | median)
    c_ms=$(field ms <"$dir/check" | median)
    c_cpu=$(field cpu_ms <"$dir/check" | median)
    peak=$(field peak_kb <"$dir/check" | median)
    before=$(field rss_before_kb <"$dir/check" | median)
    ms_per[$mode$count]=$(awk -v t="$c_ms" -v n="$count" 'BEGIN { print t / n }')
    awk -v m="$mode" -v n="$count" -v f="$f_ms" -v c="$c_ms" -v cpu="$c_cpu" -v p="$peak" -v b="$before" 'BEGIN {
      printf "%s %d: floor %.0f ms, check %.0f ms (%.2f x floor), CPU %.0f ms, %.1f us per message;", m, n, f, c, c / f, cpu, 1000 * c / n
      printf " peak %.1f MB, %.1f MB before, %.0f bytes per message\n", p / 1024, b / 1024, 1024 * (p - b) / n }'
  done
  awk -v m="$mode" -v a="${ms_per[${mode}20000]}" -v b="${ms_per[${mode}200000]}" \
    'BEGIN { printf "%s: time per message at 200,000 is %.2f x that at 20,000 (target <= 1.20)\n", m, b / a }'
done

# With the program's own bound.
start_server 200000 pipelining
"$check" "$port" 2>/dev/null | tee "$dir/own"
stop_server
awk -v p="$(field peak_kb <"$dir/own")" 'BEGIN { printf "200,000 pipelined, the program'"'"'s bound: peak %.1f MB\n", p / 1024 }'
for mode in pipelining sequential; do
  start_server 1000000 "$mode" hostile
  "$check" "$port" 2>/dev/null | tee "$dir/hostile"
  stop_server
  awk -v m="$mode" -v p="$(field peak_kb <"$dir/hostile")" \
    'BEGIN { printf "hostile 1,000,000 %s: peak %.1f MB\n", m, p / 1024 }'
done
