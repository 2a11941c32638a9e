#!/usr/bin/env bash
# Sets up, builds and starts タンドレル. Its settings file is build/tandrel.ini.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The compiler and flags of tools/test.sh, so the two share build/ without rebuilding.
CXX=g++ TANDREL_WERROR=ON "$root/tools/setup.sh" "$root/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "tandrel is built at $root/build/tandrel, but there is no display to show it on." >&2
  echo "Start it from a desktop session, or under a virtual one: xvfb-run -a $root/build/tandrel" >&2
  exit 1
fi
exec "$root/build/tandrel"
