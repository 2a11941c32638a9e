#!/usr/bin/env bash
# Builds the Debian package of タンドレル for this machine's architecture:
#   tools/package.sh [build-dir]      (default: build, shared with run.sh and test.sh)
# Install it with "sudo apt install ./<file>.deb"; the last line of the output
# is the path of that file. Only what the package holds is built, in the same
# folder and with the same compiler and flags as the other scripts, so after
# tools/test.sh or tools/run.sh nothing is compiled again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)"

CXX=g++ TANDREL_WERROR=ON TANDREL_TARGETS="tandrel tandrel_icons tandrel_sounds tandrel_package_files" \
  "$root/tools/setup.sh" "$build"
# Checked here, where a broken entry is cheap to mend, as well as by lintian.
desktop-file-validate "$build/tools/package/tandrel.desktop"
appstreamcli validate --no-net --pedantic "$build/tools/package/org.example.tandrel.metainfo.xml" >/dev/null

rm -f "$build"/package/*.deb
(cd "$build" && cpack --config CPackConfig.cmake)
debs=("$build"/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
  echo "cpack made no single .deb in $build/package" >&2
  exit 1
}
echo "${debs[0]}"
