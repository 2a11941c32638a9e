#!/usr/bin/env bash
# Sets up, builds (with g++ and clang++, warnings as errors) and runs every test,
# builds the Debian package and has lintian check it, then replays the fuzz
# corpora in a sanitizer build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export TANDREL_WERROR=ON
# Includes run downwards only; this names the file that breaks it, before any build.
"$root/tools/check-layers.sh"
CXX=g++ "$root/tools/setup.sh" "$root/build"
# Every C++ file as .clang-format says (the set-up installs clang-format).
"$root/tools/check-format.sh"
# The Debian package from the same build, and Debian's own judgement of it.
deb="$("$root/tools/package.sh" "$root/build" | tee /dev/stderr | tail -n 1)"
lintian --fail-on error,warning "$deb"
# clang must build the same tree without a warning too; its tests are not run twice.
CXX=clang++ "$root/tools/setup.sh" "$root/build-clang"
cd "$root/build"
ctest --output-on-failure -j 2 "$@"
# Each fuzz target replays its seed corpus with the sanitizers on (seconds).
"$root/tools/fuzz.sh" 0
