#!/usr/bin/env bash
# Time of a check at real round-trip times, next to mpop and the floor client,
# all three through the same delaying proxy against a private Dovecot.
#
#   bench/round_trip.sh [build-dir] [runs] [sequential-runs]     (defaults: build 3 1)
#
# Prints, as medians over the runs (the clients alternate within each run):
#   - 500 new messages at a one-way delay of 10 ms: check, floor and mpop in
#     both ways below, and the check's time as a multiple of each mpop's; the
#     same at 0 ms and 25 ms;
#   - 2,000 new messages at 10 ms: the check against a server that refuses CAPA
#     (the proxy answers "-ERR", so the dialogue is sequential) and against one
#     that lists PIPELINING; the sequential case takes minutes per run, hence
#     its own run count;
#   - 2,000 new messages on loopback without the proxy: the check next to the
#     floor client in the same dialogue, and the sequential floor.
# The check's and the floor's times are their own measurement of the dialogue;
# mpop's is the whole process, start and exit included, with keep on, only_new
# on and a fresh UIDL file each run (so every message is new), in two ways:
#   - mpop: headers only, through a filter that exits 2 (skip). This is the
#     check's own work, but mpop starts the filter for every message, and those
#     starts, not the network, make most of its time;
#   - mpop-dl: no filter, every (small) message downloaded into a maildir, so
#     that its time is its dialogue's.
#
# Needs root (the private Dovecot instances switch users). Figures only: no
# outcome here passes or fails.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-3}"
sequential_runs="${3:-1}"
fixture="$root/tests/support/dovecot-fixture.sh"
proxy_script="$root/bench/delay_proxy.py"
floor="$build/bench/bench_pop3_floor"
check="$build/bench/bench_check_time"
for program in "$floor" "$check"; do
  [ -x "$program" ] || { echo "missing $program: build the project first" >&2; exit 1; }
done
command -v mpop >/dev/null || { echo "mpop is missing: tools/setup.sh installs it" >&2; exit 1; }

dir="$(mktemp -d /tmp/tandrel-round-trip-XXXXXX)"
# Dovecot's unprivileged processes reach their sockets and mailboxes through it.
chmod 755 "$dir"
proxy_pid=""
stop_proxy() {
  if [ -n "$proxy_pid" ]; then
    kill "$proxy_pid" 2>/dev/null
    wait "$proxy_pid" 2>/dev/null
    proxy_pid=""
  fi
}
cleanup() {
  stop_proxy
  bash "$fixture" stop "$dir/small" || true
  bash "$fixture" stop "$dir/large" || true
  rm -rf "$dir"
}
trap cleanup EXIT

# A private Dovecot with <count> new messages; prints its port.
mailbox() {
  local name=$1 count=$2 port
  port="$(bash "$fixture" start "$dir/$name")" || exit 1
  python3 "$root/tests/support/make_messages.py" --bulk "$count" "$dir/$name-made" >"$dir/$name.list"
  mapfile -t files <"$dir/$name.list"
  bash "$fixture" deliver "$dir/$name" "${files[@]}"
  # The first session moves the messages from new/ to cur/ and builds Dovecot's
  # index; no client should pay for that.
  "$floor" 127.0.0.1 "$port" taro secret 1 >/dev/null || { cat "$dir/$name/dovecot.log" >&2; exit 1; }
  echo "$port"
}

# Starts the proxy in front of <port>; sets proxy_port.
start_proxy() {
  local target=$1 delay=$2
  shift 2
  rm -f "$dir/proxy.port"
  python3 "$proxy_script" --target "127.0.0.1:$target" --delay-ms "$delay" --port-file "$dir/proxy.port" "$@" \
    >/dev/null &
  proxy_pid=$!
  until [ -s "$dir/proxy.port" ]; do sleep 0.05; done
  proxy_port="$(cat "$dir/proxy.port")"
}

now_ms() { local t=$EPOCHREALTIME; echo "${t/./}" | awk '{ printf "%.1f", $1 / 1000 }'; }

# One client run against <port>; prints milliseconds, or nothing when it failed.
run_client() {
  local client=$1 port=$2 out begin end
  case "$client" in
    check)
      out="$("$check" 127.0.0.1 "$port" taro secret 1 2>&1)" && sed -n 's/.* ms=\([0-9.]*\).*/\1/p' <<<"$out" ;;
    floor)
      out="$("$floor" 127.0.0.1 "$port" taro secret 1 2>&1)" && sed -n 's/.* ms=\([0-9.]*\).*/\1/p' <<<"$out" ;;
    floor-sequential)
      out="$("$floor" 127.0.0.1 "$port" taro secret 1 sequential 2>&1)" && sed -n 's/.* ms=\([0-9.]*\).*/\1/p' <<<"$out" ;;
    mpop | mpop-dl)
      local config="$dir/mpoprc" filter="filter /bin/sh -c 'cat >/dev/null; exit 2'"
      rm -rf "$dir/mpop.uidls" "$dir/mpop.maildir"
      mkdir -p "$dir/mpop.maildir/new" "$dir/mpop.maildir/cur" "$dir/mpop.maildir/tmp"
      [ "$client" = mpop-dl ] && filter=""
      cat >"$config" <<EOF
account bench
host 127.0.0.1
port $port
tls off
auth user
user taro
password secret
keep on
only_new on
uidls_file $dir/mpop.uidls
$filter
delivery maildir $dir/mpop.maildir
EOF
      chmod 600 "$config"
      begin="$(now_ms)"
      out="$(mpop -C "$config" -q bench 2>&1)" || { echo "mpop: $out" >&2; return; }
      end="$(now_ms)"
      awk -v b="$begin" -v e="$end" 'BEGIN { printf "%.1f\n", e - b }' ;;
  esac
}

median() {
  sort -g "$1" | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "failed"; exit }
    printf "%.1f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Runs each <label>=<client>@<port> <rounds> times, alternating; leaves the
# medians in the array med[label].
declare -A med
measure() {
  local rounds=$1 entry label client port ms
  shift
  for entry in "$@"; do : >"$dir/${entry%%=*}.ms"; done
  for ((run = 1; run <= rounds; run++)); do
    for entry in "$@"; do
      label=${entry%%=*}
      client=${entry#*=}
      port=${client#*@}
      client=${client%@*}
      ms="$(run_client "$client" "$port")"
      if [ -n "$ms" ]; then echo "$ms" >>"$dir/$label.ms"; else echo "  $label failed in run $run" >&2; fi
    done
  done
  for entry in "$@"; do
    label=${entry%%=*}
    med[$label]="$(median "$dir/$label.ms")"
  done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else printf "n/a" }'; }

small="$(mailbox small 500)" || exit 1
large="$(mailbox large 2000)" || exit 1
echo "Dovecot with 500 new messages on 127.0.0.1:$small, with 2000 on 127.0.0.1:$large"
echo "runs: $runs (sequential 2,000 at 10 ms: $sequential_runs); median milliseconds"
# Waits for the network are what is measured here, and on a loaded machine the
# scheduler adds to each of them.
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

for delay in 10 0 25; do
  start_proxy "$small" "$delay"
  measure "$runs" "check=check@$proxy_port" "floor=floor@$proxy_port" "mpop=mpop@$proxy_port" \
    "mpop_dl=mpop-dl@$proxy_port"
  stop_proxy
  printf '500 messages, one-way delay %2d ms: check %9s  floor %9s  mpop %9s  mpop-dl %9s  check/mpop %s  check/mpop-dl %s\n' \
    "$delay" "${med[check]}" "${med[floor]}" "${med[mpop]}" "${med[mpop_dl]}" \
    "$(ratio "${med[check]}" "${med[mpop]}")" "$(ratio "${med[check]}" "${med[mpop_dl]}")"
done

start_proxy "$large" 10 --refuse-capa
measure "$sequential_runs" "check_seq=check@$proxy_port" "floor_seq=floor@$proxy_port"
stop_proxy
start_proxy "$large" 10
measure "$runs" "check_pipe=check@$proxy_port" "floor_pipe=floor@$proxy_port"
stop_proxy
printf '2000 messages, one-way delay 10 ms, CAPA refused: check %9s  floor %9s\n' "${med[check_seq]}" "${med[floor_seq]}"
printf '2000 messages, one-way delay 10 ms, PIPELINING:   check %9s  floor %9s  check sequential/pipelined %s\n' \
  "${med[check_pipe]}" "${med[floor_pipe]}" "$(ratio "${med[check_seq]}" "${med[check_pipe]}")"

measure "$runs" "check=check@$large" "floor=floor@$large" "floor_seq=floor-sequential@$large"
printf '2000 messages, loopback: check %s  floor %s  floor sequential %s  check/floor %s  check/sequential floor %s\n' \
  "${med[check]}" "${med[floor]}" "${med[floor_seq]}" "$(ratio "${med[check]}" "${med[floor]}")" \
  "$(ratio "${med[check]}" "${med[floor_seq]}")"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
