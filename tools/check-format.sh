#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the repository's .clang-format, and
# names the files. Format before committing with:
#   git clang-format            (the lines you changed)
#   tools/check-format.sh --fix (every tracked file)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for file in "${files[@]}"; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if ((${#bad[@]})); then
  printf '%s: not formatted with .clang-format\n' "${bad[@]}" >&2
  echo "run tools/check-format.sh --fix (or git clang-format) and commit again" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format wants them"
