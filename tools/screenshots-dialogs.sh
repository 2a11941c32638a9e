#!/usr/bin/env bash
# Pictures of the options dialog, the spam lists, the kept spam and of the
# about box on a day of each colour scheme, taken on a virtual display with a
# window manager, into build/screenshots/ (each window on its own, and the
# options and the about box with the whole screen around them).
#   tools/screenshots-dialogs.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
out="$build/screenshots"
shots="$build/tools/dialog_shots/dialog_shots"

if [ ! -x "$shots" ]; then
  cmake --build "$build" -j2 --target dialog_shots
fi
mkdir -p "$out"

for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/setup.sh first" >&2; exit 1; }
done

# A display number nobody uses.
display=""
for n in $(seq 91 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
wm_pid=""
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 1 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
DISPLAY="$display" openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 1

DISPLAY="$display" QT_QPA_PLATFORM=xcb "$shots" "$out"
echo "pictures in $out"
