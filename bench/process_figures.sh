#!/usr/bin/env bash
# Whole-process figures of the program on a virtual display against a private
# Dovecot server with five accounts: time from start to the main window shown,
# resident memory after start-up, and CPU used while idle.
#   bench/process_figures.sh [build-dir] [idle-seconds, default 300]
# The memory after 100 checks comes from build/bench/bench_main_window.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
idle="${2:-300}"
fixture="$root/tests/support/dovecot-fixture.sh"

work="$(mktemp -d)"
chmod 755 "$work"
xvfb_pid="" wm_pid="" app_pid=""
cleanup() {
  for pid in "$app_pid" "$wm_pid" "$xvfb_pid"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null || true; done
  "$fixture" stop "$work/dovecot" >/dev/null 2>&1 || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/dovecot" "$work/mail" "$work/prog"
port="$("$fixture" start "$work/dovecot")"
python3 "$root/tests/support/make_messages.py" --bulk 20 "$work/mail" >"$work/mail.list"
# shellcheck disable=SC2046
"$fixture" deliver "$work/dovecot" $(cat "$work/mail.list") >/dev/null
cp "$build/tandrel" "$work/prog/tandrel"
{
  printf '%s\r\n' "[Common]" "RecheckMailChecked=False" "FormClosedIsMinimized=True"
  for i in 0 1 2 3 4; do
    printf '%s\r\n' "[Account$i]" "UserTitle=account$i" "PopAccount=taro" "PopPasswd=secret" \
      "PopServer=127.0.0.1" "PopPort=$port" "CheckInterval=60" "Enabled=True"
  done
} >"$work/prog/tandrel.ini"

display=""
for n in $(seq 121 150); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
export DISPLAY="$display" QT_QPA_PLATFORM=xcb
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 1

start=$(date +%s.%N)
(cd "$work/prog" && exec ./tandrel >/dev/null 2>&1) &
app_pid=$!
until xwininfo -root -tree 2>/dev/null | grep -F '("tandrel" "tandrel")' | grep -qF 'タンドレル'; do sleep 0.005; done
shown=$(date +%s.%N)
# The main window is mapped once the window manager has framed it.
until xwininfo -name "タンドレル" 2>/dev/null | grep -q 'IsViewable'; do sleep 0.005; done
viewable=$(date +%s.%N)
echo "start to main window mapped:      $(echo "($viewable - $start) * 1000" | bc -l | xargs printf '%.0f') ms"
echo "start to main window created:     $(echo "($shown - $start) * 1000" | bc -l | xargs printf '%.0f') ms"

sleep 5  # the start-up check of the five accounts
rss=$(awk '/VmRSS/ {print $2}' "/proc/$app_pid/status")
echo "resident memory after start-up:   $rss kB"

ticks=$(getconf CLK_TCK)
cpu_at() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
before=$(cpu_at)
sleep "$idle"
after=$(cpu_at)
used=$(echo "($after - $before) / $ticks" | bc -l)
echo "CPU over ${idle} s idle, 5 accounts: $(printf '%.3f' "$used") s = $(echo "$used * 100 / $idle" | bc -l | xargs printf '%.4f')% of one core"
rss=$(awk '/VmRSS/ {print $2}' "/proc/$app_pid/status")
echo "resident memory after idling:     $rss kB"

kill -TERM "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""
