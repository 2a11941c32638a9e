#!/usr/bin/env bash
# A Wayland desktop of its own for one test: a private session bus and GNOME's
# compositor without a screen, which starts XWayland itself; with --tray, a
# StatusNotifier watcher with a registered host, as on a panel that shows
# application indicators. Prints NAME=value lines for clients, then "ready";
# everything ends when this script's input closes.
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
  mkfifo "$XDG_RUNTIME_DIR/end"
  # XWayland's socket goes into /tmp/.X11-unix, and mutter refuses a folder
  # that not everyone may write to. Where nothing has made it yet (no
  # tmpfiles at boot, no X server since), mutter makes it itself under our
  # umask, refuses it, and no session comes up until something mends it.
  x11=/tmp/.X11-unix
  mkdir -p -m 1777 "$x11"
  if [ "$(stat -c %a "$x11")" != 1777 ]; then
    chmod 1777 "$x11" 2>/dev/null || { echo "$x11 is not writable by all: XWayland cannot start" >&2; exit 1; }
  fi
  # mutter runs the command once it and XWayland are up, with their variables
  # set, and ends with it; as the command's input is not ours, it waits on a pipe.
  dbus-run-session -- mutter --wayland --headless --virtual-monitor 1280x800 -- "$0" --inside "$@" \
    2>"$XDG_RUNTIME_DIR/log" &
  session=$!
  # A session that ends by itself failed: say so at once with its reason,
  # rather than leave the reader waiting for a "ready" that never comes.
  exec 3<&0
  cat <&3 >/dev/null &
  input=$!
  wait -n "$session" "$input" || true
  if ! kill -0 "$session" 2>/dev/null; then
    kill "$input"
    echo "the desktop session ended:" >&2
    tail -n 20 "$XDG_RUNTIME_DIR/log" >&2
    exit 1
  fi
  # Opened both ways, the pipe takes the word even if the session is ending.
  exec 4<>"$XDG_RUNTIME_DIR/end"
  echo >&4
  wait "$session"
  exit
fi
if [ "${2:-}" = --tray ]; then
  status-notifier-watcher >/dev/null 2>&1 &
  gdbus wait --session --timeout 120 org.kde.StatusNotifierWatcher
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.kde.StatusNotifierWatcher.RegisterStatusNotifierHost org.kde.StatusNotifierHost-test >/dev/null
fi
# As a login manager says it of a Wayland session: Qt then goes native unless told otherwise.
echo XDG_SESSION_TYPE=wayland
env | grep -E '^(DISPLAY|XAUTHORITY|WAYLAND_DISPLAY|XDG_RUNTIME_DIR|DBUS_SESSION_BUS_ADDRESS)='
echo ready
read -r <"$XDG_RUNTIME_DIR/end" || true
kill $(jobs -p) 2>/dev/null && wait || true
