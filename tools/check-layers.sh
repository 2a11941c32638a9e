#!/usr/bin/env bash
# Fails when a source file includes a header from a floor it may not use, and
# names the file and the include. The floors, lowest first:
#   platform <- app <- settings <- mail          (the core: Qt Core and Network)
#   platform <- platform/gui                     (services that need a display)
#   platform <- platform/keyring                 (the desktop keyring, over D-Bus)
#   platform/gui <- platform/oauth               (the OAuth2 sign-in: NetworkAuth, the browser)
#   platform <- ui/helpers                       (stateless window helpers)
#   everything <- ui
# Start-up (app/AppMain) loads the settings, so it sits above settings and is
# built as a library of its own; main.cpp sits above everything.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root/src"

# The floor a path inside src/ belongs to.
floor_of() {
  case "$1" in
    app/AppMain.*) echo startup ;;
    platform/gui/*) echo platform/gui ;;
    platform/keyring/*) echo platform/keyring ;;
    platform/oauth/*) echo platform/oauth ;;
    platform/*) echo platform ;;
    app/*) echo app ;;
    settings/*) echo settings ;;
    mail/*) echo mail ;;
    ui/helpers/*) echo ui/helpers ;;
    ui/*) echo ui ;;
    main.cpp) echo program ;;
    *) echo unknown ;;
  esac
}

# The floors each floor may include from, itself among them.
allowed() {
  case "$1" in
    platform) echo "platform" ;;
    app) echo "app platform" ;;
    settings) echo "settings app platform" ;;
    mail) echo "mail settings app platform" ;;
    startup) echo "startup settings app platform" ;;
    platform/gui) echo "platform/gui platform" ;;
    platform/keyring) echo "platform/keyring platform" ;;
    platform/oauth) echo "platform/oauth platform/gui platform" ;;
    ui/helpers) echo "ui/helpers platform/gui platform" ;;
    ui) echo "ui ui/helpers platform/gui mail settings app platform" ;;
    program) echo "ui ui/helpers platform/gui platform/keyring platform/oauth startup mail settings app platform" ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r file; do
  from="$(floor_of "$file")"
  if [ "$from" = unknown ]; then
    echo "$file: not in any floor" >&2
    status=1
    continue
  fi
  may=" $(allowed "$from") "
  while IFS= read -r include; do
    [ -n "$include" ] || continue
    to="$(floor_of "$include")"
    # Headers outside src/ (Qt, the system) are not ours to judge.
    [ "$to" = unknown ] && continue
    if [[ "$may" != *" $to "* ]]; then
      echo "$file: includes \"$include\" ($from may not use $to)" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . -type f \( -name '*.cpp' -o -name '*.h' \) | sed 's|^\./||' | sort)

if [ "$status" -eq 0 ]; then
  echo "layers: every include runs downwards"
fi
exit "$status"
