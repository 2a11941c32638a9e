#!/usr/bin/env bash
# Shows タンドレル at work: sets up and builds as tools/run.sh does, starts a
# private POP3 server on loopback with eight Japanese messages, and runs the
# program from a demo folder of its own (build/tandrel.ini is never touched)
# with one account for that server, checked every minute. One more message
# arrives about every minute. Closing the program or Ctrl+C ends the demo and
# the server.
#   tools/demo.sh
# The server needs root: when not run as root it asks sudo once.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
server="$root/tools/demo/server.sh"

CXX=g++ TANDREL_WERROR=ON "$root/tools/setup.sh" "$root/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "The demo needs a display: start it from a desktop session." >&2
  exit 1
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "The demo's POP3 server needs root: run it as root, or install sudo." >&2; exit 1; }
  sudo=(sudo)
  echo "The demo's POP3 server needs root; sudo asks for your password."
  sudo -v
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/tandrel-demo-XXXXXX")"
# The server's unprivileged processes must reach their folder inside.
chmod 755 "$work"
app_pid="" server_pid="" to_server="" from_server=""
cleanup() {
  trap - EXIT INT TERM HUP
  [ -n "$app_pid" ] && kill -TERM "$app_pid" 2>/dev/null || true
  # Closing its input ends the server; it stops Dovecot on the way out.
  [ -n "$to_server" ] && exec {to_server}>&- || true
  [ -n "$app_pid" ] && wait "$app_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null || true
  rm -rf "$work" 2>/dev/null || "${sudo[@]}" rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

coproc SERVER { exec "${sudo[@]}" bash "$server" serve "$work/server"; }
# Our own copies of the pipe ends: bash forgets the coprocess's once it ends.
server_pid=$SERVER_PID
exec {to_server}>&"${SERVER[1]}" {from_server}<&"${SERVER[0]}"
eval "exec ${SERVER[1]}>&- ${SERVER[0]}<&-"

line=""
read -r -u "$from_server" line || true
port="${line#port }"
if [[ ! "$line" =~ ^port\ [0-9]+$ ]]; then
  echo "The demo's POP3 server did not start." >&2
  exit 1
fi

mkdir -p "$work/prog"
cp "$root/build/tandrel" "$work/prog/tandrel"
bash "$server" settings "$port" >"$work/prog/tandrel.ini"
chmod 600 "$work/prog/tandrel.ini"

echo "Demo server on 127.0.0.1:$port (user taro, password secret); the program runs from $work/prog."
echo "A new message arrives about every minute. Close the program or press Ctrl+C to end the demo."
(cd "$work/prog" && exec ./tandrel) &
app_pid=$!
# Reports each delivery while the program runs.
while kill -0 "$app_pid" 2>/dev/null; do
  if read -r -t 1 -u "$from_server" line; then
    [[ "$line" == delivered* ]] && echo "$(date +%H:%M:%S) one more message in the demo mailbox"
  elif (($? <= 128)); then
    echo "The demo's POP3 server has ended." >&2
    break
  fi
done
wait "$app_pid" 2>/dev/null || true
app_pid=""
