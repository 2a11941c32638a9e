#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UBSan) in build-fuzz
# and runs each in turn.
#   tools/fuzz.sh [seconds]   fuzz each target that long (default 60); new
#                             inputs go to build-fuzz/corpus, findings to
#                             build-fuzz/findings. 0 only replays each seed
#                             corpus in fuzz/corpus once, as CI does.
# Prints the executions per second of each target.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
build="$root/build-fuzz"

export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DTANDREL_FUZZ=ON -DTANDREL_BENCH=OFF \
  -DTANDREL_WERROR="${TANDREL_WERROR:-OFF}" \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) >/dev/null
find "$build" -path '*_autogen*' -name timestamp -delete 2>/dev/null || true
cmake --build "$build" --target fuzz_targets

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$build/findings"
status=0
for source in "$root"/fuzz/fuzz_*.cpp; do
  name="$(basename "$source" .cpp)"
  seeds="$root/fuzz/corpus/$name"
  log="$build/findings/$name.log"
  if [ "$seconds" = 0 ]; then
    args=(-runs=0 "$seeds")
  else
    mkdir -p "$build/corpus/$name"
    args=(-max_total_time="$seconds" "$build/corpus/$name" "$seeds")
  fi
  if "$build/fuzz/$name" -print_final_stats=1 -artifact_prefix="$build/findings/$name-" "${args[@]}" >"$log" 2>&1; then
    if [ "$seconds" = 0 ]; then
      echo "$name: seed corpus replayed clean"
    else
      rate="$(sed -n 's/^stat::average_exec_per_sec:[[:space:]]*//p' "$log")"
      echo "$name: clean after ${seconds}s, ${rate:-?} executions per second"
    fi
  else
    echo "$name: FAILED, see $log"
    tail -n 30 "$log"
    status=1
  fi
done
exit "$status"
