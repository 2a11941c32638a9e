#!/usr/bin/env bash
# Pictures of the running program against a private Dovecot server, taken on a
# virtual display with a window manager and a tray host, into build/screenshots/:
# the main window, the arrival window in each corner (and the centre), the tray
# icon and the tray menu; then the options dialog and the about box
# (tools/screenshots-dialogs.sh), with the spam lists and the kept spam.
#   tools/screenshots.sh [build-dir] [--docs]
# --docs also copies the README's pictures into docs/.
# Needs root for the private Dovecot instance (see tests/support/dovecot-fixture.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build" docs=""
for arg in "$@"; do
  if [ "$arg" = --docs ]; then docs=yes; else build="$arg"; fi
done
out="$build/screenshots"
program="$build/tandrel"
fixture="$root/tests/support/dovecot-fixture.sh"

[ -x "$program" ] || cmake --build "$build" -j2 --target tandrel
for tool in Xvfb openbox trayer import python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run tools/setup.sh first" >&2; exit 1; }
done
mkdir -p "$out"

work="$(mktemp -d)"
chmod 755 "$work"
display=""
xvfb_pid="" wm_pid="" tray_pid="" app_pid=""
cleanup() {
  for pid in "$app_pid" "$tray_pid" "$wm_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  "$fixture" stop "$work/dovecot" >/dev/null 2>&1 || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The server with two messages: a Japanese one and one whose subject is markup.
mkdir -p "$work/dovecot" "$work/mail"
port="$("$fixture" start "$work/dovecot")"
python3 "$root/tests/support/make_messages.py" "$work/mail" >"$work/mail.list" <<'EOF'
[{"charset": "iso-2022-jp", "fromName": "山田太郎", "fromAddr": "yamada@example.jp",
  "subject": "来週の会議について", "date": "Tue, 15 Apr 2003 10:20:30 +0900"},
 {"charset": "us-ascii", "fromName": "Mallory", "fromAddr": "mallory@example.com",
  "subject": "<b>not bold</b> <img src=x>", "date": "Wed, 16 Apr 2003 08:05:00 +0900"}]
EOF
# shellcheck disable=SC2046
"$fixture" deliver "$work/dovecot" $(cat "$work/mail.list") >/dev/null

# A copy of the program folder, so the settings file beside it is ours.
mkdir -p "$work/prog"
cp "$program" "$work/prog/tandrel"
write_settings() {
  local position=$1
  printf '%s\r\n' \
    "[Common]" "ShowArrivalFormTime=0" "PopTimeOut=10" "StartMinimizedWindow=False" \
    "RecheckMailChecked=True" "FormClosedIsMinimized=True" "ArrivalFormPosition=$position" \
    "[Account0]" "UserTitle=会社のメール" "PopAccount=taro" "PopPasswd=secret" "PopServer=127.0.0.1" \
    "PopPort=$port" "CheckInterval=5" "Enabled=True" \
    "[Account1]" "UserTitle=自宅" "PopAccount=hanako" "PopPasswd=pw" "PopServer=127.0.0.1" \
    "PopPort=1" "CheckInterval=30" "Enabled=False" | iconv -f UTF-8 -t CP932 >"$work/prog/tandrel.ini"
}

for n in $(seq 91 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
export DISPLAY="$display" QT_QPA_PLATFORM=xcb
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 1
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
  --transparent false --tint 0xc0c0c0 >/dev/null 2>&1 &
tray_pid=$!
sleep 1

# Presses a mouse button at a screen position through the XTest extension.
click() {
  python3 - "$@" <<'EOF'
import ctypes, sys, time
x, y, button = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
xlib = ctypes.CDLL("libX11.so.6"); xtst = ctypes.CDLL("libXtst.so.6")
xlib.XOpenDisplay.restype = ctypes.c_void_p
d = ctypes.c_void_p(xlib.XOpenDisplay(None))
xtst.XTestFakeMotionEvent(d, -1, x, y, 0); xlib.XFlush(d); time.sleep(0.3)
xtst.XTestFakeButtonEvent(d, button, 1, 0); xlib.XFlush(d); time.sleep(0.1)
xtst.XTestFakeButtonEvent(d, button, 0, 0); xlib.XFlush(d)
xlib.XCloseDisplay(d)
EOF
}

run_program() {
  (cd "$work/prog" && exec ./tandrel >/dev/null 2>&1) &
  app_pid=$!
  sleep 4
}
end_program() {
  # SIGTERM: the orderly end, as at the end of the desktop session.
  kill -TERM "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
}

names=([1]=centre [2]=bottom-right [3]=top-right [4]=bottom-left [5]=top-left)
for position in 5 4 3 2 1; do
  write_settings "$position"
  run_program
  import -window root "$out/arrival-${names[$position]}.png"
  # The arrival window alone, as it sits in the bottom right corner.
  [ "$position" = 2 ] && convert "$out/arrival-bottom-right.png" -gravity southeast -crop 429x180+0+0 +repage \
    "$out/arrival-window.png"
  if [ "$position" = 5 ]; then
    import -window root "$out/screen.png"
    # The main window with its frame: its client area as the X server reports it, and a margin.
    geometry="$(xwininfo -root -tree | grep -F '("tandrel" "tandrel")' | grep -F 'タンドレル' | head -1 |
      sed -E 's/.* ([0-9]+)x([0-9]+)[+-][0-9]+[+-][0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/')"
    read -r w h x y <<<"$geometry"
    convert "$out/screen.png" -crop "$((w + 12))x$((h + 32))+$((x - 6))+$((y - 26))" +repage "$out/main-window.png"
    convert "$out/screen.png" -gravity southeast -crop 160x40+0+0 +repage "$out/tray-icon.png"
    # A right press on the icon at the right end of the tray bar.
    click 1012 756 3
    sleep 1
    import -window root "$out/tray-menu-screen.png"
    convert "$out/tray-menu-screen.png" -gravity southeast -crop 320x200+0+0 +repage "$out/tray-menu.png"
    click 500 20 1
  fi
  end_program
done
"$root/tools/screenshots-dialogs.sh" "$build"
if [ -n "$docs" ]; then
  mkdir -p "$root/docs"
  cp "$out/main-window.png" "$out/arrival-window.png" "$out/options.png" "$out/spam-lists.png" \
    "$out/spam-kept.png" "$root/docs/"
fi
echo "pictures in $out"
