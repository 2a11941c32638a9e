#!/usr/bin/env bash
# A Wayland desktop of its own for one test: a private session bus and GNOME's
# compositor without a screen, which starts XWayland itself. With --tray, a
# StatusNotifier watcher runs on the bus with a tray host registered, as on a
# panel that shows application indicators; without it there is no tray at all.
#   desktop-session.sh [--tray]
# Prints what a client needs, one NAME=value a line, then "ready"; the whole
# session ends when this script's input closes.
set -euo pipefail

if [ "${1:-}" != --inside ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
  # mutter runs the command once it and XWayland are up, with DISPLAY,
  # XAUTHORITY and WAYLAND_DISPLAY set, and ends when the command ends. The
  # command's input is not ours, so it waits on a pipe that is closed here.
  mkfifo "$XDG_RUNTIME_DIR/end"
  dbus-run-session -- mutter --wayland --headless --virtual-monitor 1280x800 \
    -- "$0" --inside "$@" 2>/dev/null &
  cat >/dev/null
  : >"$XDG_RUNTIME_DIR/end"
  wait
  exit
fi

if [ "${2:-}" = --tray ]; then
  status-notifier-watcher >/dev/null 2>&1 &
  watcher=$!
  gdbus wait --session --timeout 120 org.kde.StatusNotifierWatcher
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.kde.StatusNotifierWatcher.RegisterStatusNotifierHost org.kde.StatusNotifierHost-test >/dev/null
fi
# As a login manager says it of every Wayland session; Qt then goes native
# unless told otherwise.
export XDG_SESSION_TYPE=wayland
for name in XDG_SESSION_TYPE DISPLAY XAUTHORITY WAYLAND_DISPLAY XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS; do
  echo "$name=${!name}"
done
echo ready
read -r <"$XDG_RUNTIME_DIR/end" || true
if [ -n "${watcher:-}" ]; then
  kill "$watcher"
  wait "$watcher" || true
fi
