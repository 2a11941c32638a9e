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
  # mutter runs the command once it and XWayland are up, with their variables
  # set, and ends with it; as the command's input is not ours, it waits on a pipe.
  dbus-run-session -- mutter --wayland --headless --virtual-monitor 1280x800 -- "$0" --inside "$@" 2>/dev/null &
  cat >/dev/null
  : >"$XDG_RUNTIME_DIR/end"
  wait
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
