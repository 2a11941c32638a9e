#!/usr/bin/env bash
# The demo's mailbox on a private Dovecot POP3 server (the test fixture's).
#
#   server.sh serve <dir>      starts the server, delivers inbox.json, prints "port N",
#                              then delivers the next message of later.json whenever a
#                              line arrives on standard input, and unasked half a minute
#                              in and every minute after; ends the server when standard
#                              input closes or on a signal, so a demo that is killed
#                              leaves no server behind
#   server.sh settings <port>  prints the demo's settings file (code page 932, CR LF)
#
# "serve" needs root, as the fixture does; exit status 77 means this machine cannot run it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
fixture="$root/tests/support/dovecot-fixture.sh"
maker="$root/tests/support/make_messages.py"

# How long the server waits between unasked deliveries; tests never wait for it.
readonly delivery_interval=60

settings() {
  local port=$1
  # Interval 1: the NEXT CHECK column counts down every minute and each timed
  # check finds the message delivered meanwhile. Closing the window ends the
  # program, and with it the demo.
  printf '%s\r\n' \
    "[Common]" "ShowArrivalFormTime=30" "PopTimeOut=10" "StartMinimizedWindow=False" \
    "RecheckMailChecked=False" "FormClosedIsMinimized=False" "ArrivalFormPosition=2" \
    "[Account0]" "UserTitle=デモのメールボックス" "PopAccount=taro" "PopPasswd=secret" \
    "PopServer=127.0.0.1" "PopPort=$port" "CheckInterval=1" "Enabled=True" |
    iconv -f UTF-8 -t CP932
}

serve() {
  local port status=0 delivered=0 made
  mkdir -p "$1"
  # Global: the exit trap needs it after this function has returned.
  dir="$(cd "$1" && pwd)"
  port="$("$fixture" start "$dir/dovecot")" || status=$?
  ((status == 0)) || exit "$status"
  stopped=""
  finish() {
    [ -n "$stopped" ] && return
    stopped=yes
    "$fixture" stop "$dir/dovecot" >/dev/null 2>&1 || true
    rm -rf "$dir/dovecot" "$dir/made"
    rmdir "$dir" 2>/dev/null || true
  }
  trap finish EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP

  mkdir -p "$dir/made"
  python3 "$maker" "$dir/made/inbox" <"$here/inbox.json" >"$dir/made/inbox.list"
  # shellcheck disable=SC2046
  "$fixture" deliver "$dir/dovecot" $(cat "$dir/made/inbox.list") >/dev/null
  echo "port $port"

  # The first delivery comes half a minute in: the program's minute tick counts
  # from its start, so each message lands half-way between two checks.
  local line wait=$((delivery_interval / 2))
  while true; do
    # A line or the silence asks for the next message; the end of input ends the demo.
    if read -r -t "$wait" line; then
      :
    elif (($? <= 128)); then
      break
    fi
    wait=$delivery_interval
    delivered=$((delivered + 1))
    # The next message of later.json, round and round, dated now.
    python3 - "$here/later.json" "$delivered" <<'PY' |
import email.utils, json, sys
later = json.load(open(sys.argv[1], encoding="utf-8"))
entry = dict(later[(int(sys.argv[2]) - 1) % len(later)])
entry["date"] = email.utils.formatdate(localtime=True)
print(json.dumps([entry]))
PY
      python3 "$maker" "$dir/made/later-$delivered" >"$dir/made/later.list"
    made="$(cat "$dir/made/later.list")"
    "$fixture" deliver "$dir/dovecot" "$made" >/dev/null
    echo "delivered $delivered"
  done
}

case "${1:-}" in
  serve) (($# == 2)) || { echo "usage: $0 serve <dir>" >&2; exit 2; }; serve "$2" ;;
  settings) (($# == 2)) || { echo "usage: $0 settings <port>" >&2; exit 2; }; settings "$2" ;;
  *) echo "usage: $0 serve <dir> | settings <port>" >&2; exit 2 ;;
esac
