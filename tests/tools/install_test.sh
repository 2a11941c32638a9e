#!/usr/bin/env bash
# tools/install.sh into a throw-away home whose path has a blank in it: the files
# land where the desktop looks, the launcher validates and starts the installed
# program on a virtual display, which writes its settings file beside itself; a
# second install keeps that file, the uninstall removes everything else.
#   install_test.sh <build-dir>      exit status 77: cannot run here
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "$1" && pwd)"
for tool in Xvfb xwininfo desktop-file-validate python3; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (tools/setup.sh installs it)"; exit 77; }
done

home="$(mktemp -d "${TMPDIR:-/tmp}/tandrel install-XXXXXX")"
xvfb_pid="" app_pid="" app_log=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$home"
  [ -z "$app_log" ] || rm -f "$app_log"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export HOME="$home"
unset XDG_DATA_HOME XDG_CONFIG_HOME
prefix="$home/.local/opt/tandrel"
launcher="$home/.local/share/applications/tandrel.desktop"
autostart="$home/.config/autostart/tandrel.desktop"

"$root/tools/install.sh" --from "$build" --autostart >/dev/null

[ -x "$prefix/tandrel" ] || fail "no program in $prefix"
desktop-file-validate "$launcher" || fail "the launcher does not validate"
desktop-file-validate "$autostart" || fail "the autostart entry does not validate"
grep -qx 'Name=タンドレル' "$launcher" || fail "the launcher is not named タンドレル"
# Every theme size holds a square picture of that size.
python3 - "$home/.local/share/icons/hicolor" <<'EOF' || fail "icons missing or of the wrong size"
import struct, sys
for size in (16, 22, 24, 32, 48, 64, 128, 256):
    with open("%s/%dx%d/apps/tandrel.png" % (sys.argv[1], size, size), "rb") as png:
        head = png.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", size
    assert struct.unpack(">II", head[16:24]) == (size, size), size
EOF

# The launcher's command, unquoted as a desktop would: one quoted argument.
exec_line="$(sed -n 's/^Exec=//p' "$launcher")"
command="$(python3 -c 'import shlex, sys; (arg,) = shlex.split(sys.argv[1]); print(arg)' "$exec_line")"
[ "$command" = "$prefix/tandrel" ] || fail "the launcher starts '$command', not the installed program"

# A display number nothing uses, not even through an abstract socket: X clients
# try that first, so a number a compositor's XWayland holds there (another test
# running beside this one) would lead the program to the wrong server.
free_display() {
  local n
  for n in $(seq $((100 + ($$ * 7) % 800)) 899) $(seq 100 899); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix 2>/dev/null && continue
    echo "$n"
    return
  done
  fail "no free display number"
}
exec 3< <(Xvfb ":$(free_display)" -displayfd 4 -nolisten tcp 4>&1 2>/dev/null)
xvfb_pid=$!
read -r -t 60 display <&3 || fail "Xvfb did not start"
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
# Its own words, should it end at start, go into the failure message.
app_log="$(mktemp)"
(cd / && exec "$command") >"$app_log" 2>&1 &
app_pid=$!
for _ in $(seq 1 600); do
  xwininfo -root -tree 2>/dev/null | grep -qF '"タンドレル"' && break
  kill -0 "$app_pid" 2>/dev/null || fail "the installed program ended at start: $(tail -5 "$app_log")"
  sleep 0.1
done
xwininfo -root -tree | grep -qF '"タンドレル"' || fail "the installed program shows no window"
"$root/tools/install.sh" --from "$build" >/dev/null || fail "installing over the running program failed"
# The orderly end of a desktop session saves the settings.
kill -TERM "$app_pid"
wait "$app_pid" || fail "the installed program did not end cleanly"
app_pid=""
[ -f "$prefix/tandrel.ini" ] || fail "no settings file beside the installed program"
[ "$(stat -c %a "$prefix/tandrel.ini")" = 600 ] || fail "the settings file is readable by others"

printf '[Account0]\r\nUserTitle=kept\r\n' >>"$prefix/tandrel.ini"
"$root/tools/install.sh" --from "$build" >/dev/null
grep -q 'UserTitle=kept' "$prefix/tandrel.ini" || fail "a second install lost the settings file"
[ -e "$autostart" ] || fail "a second install dropped the autostart entry"

"$root/tools/install.sh" --uninstall >/dev/null
# Caches that Qt and the fonts write under the home are not the install's.
left="$(cd "$home" && find .local .config ! -type d 2>/dev/null | sort)"
[ "$left" = ".local/opt/tandrel/tandrel.ini" ] || fail "the uninstall left: $left"
"$root/tools/install.sh" --uninstall --purge >/dev/null
[ ! -e "$prefix" ] || fail "--purge left $prefix"
echo "install, second install and uninstall behave"
