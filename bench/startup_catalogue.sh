#!/usr/bin/env bash
# Start-up time of the program with Qt's Japanese catalogue and without it (a
# qt.conf beside a copy of the program points Qt at an empty folder): from the
# start to the main window mapped on a virtual display, median of the runs.
#   bench/startup_catalogue.sh [build-dir] [runs, default 15]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-15}"

if [ -z "${TANDREL_BENCH_DISPLAY:-}" ]; then
  exec env TANDREL_BENCH_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$0" "$build" "$runs"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/with" "$work/without" "$work/empty"
cp "$build/tandrel" "$work/with/"
cp "$build/tandrel" "$work/without/"
# A qt.conf names every path it needs; the plugins stay the system's.
printf '[Paths]\nPlugins=%s\nTranslations=%s\n' "$(/usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_PLUGINS)" \
  "$work/empty" >"$work/without/qt.conf"

startup_ms() {
  local start end pid
  start=$(date +%s%N)
  QT_QPA_PLATFORM=xcb "$1/tandrel" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -name "タンドレル" 2>/dev/null | grep -q IsViewable; do sleep 0.002; done
  end=$(date +%s%N)
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null || true
  echo $(((end - start) / 1000000))
}

for variant in with without; do
  startup_ms "$work/$variant" >/dev/null # warms the file cache
  times=$(for _ in $(seq "$runs"); do startup_ms "$work/$variant"; done | sort -n)
  echo "start to main window, $variant Qt's Japanese catalogue: $(echo "$times" | sed -n "$(((runs + 1) / 2))p") ms (median of $runs; $(echo "$times" | head -1) to $(echo "$times" | tail -1))"
done
