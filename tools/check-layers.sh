#!/usr/bin/env bash
# Fails when a source file includes a header from a floor it may not use, and
# names the file and the include. A floor is a folder of src/ and the library
# built from it (src/ui/helpers is tandrel_ui_helpers); main.cpp belongs to the
# program, tandrel. What a floor may include is read from the CMake files: the
# floors its library links, directly or through other libraries, and itself.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root/src"

# "target dependency" lines for every link between our own libraries; a
# link list may run over several lines.
links="$(find . -name CMakeLists.txt -print0 | xargs -0 cat |
  tr '\n' ' ' | grep -o 'target_link_libraries([^)]*)' |
  sed 's/target_link_libraries(//; s/)//; s/\b\(PUBLIC\|PRIVATE\|INTERFACE\)\b//g' |
  awk '{ for (i = 2; i <= NF; ++i) if ($i ~ /^tandrel_/) print $1, $i }')"

library_of() {
  case "$1" in
    .) echo tandrel ;;
    *) echo "tandrel_${1//\//_}" ;;
  esac
}

# Every library reachable from one, itself included.
reachable() {
  local seen=" $1 " queue=("$1") next dep
  while ((${#queue[@]})); do
    next="${queue[0]}"
    queue=("${queue[@]:1}")
    while read -r dep; do
      [ -n "$dep" ] || continue
      if [[ "$seen" != *" $dep "* ]]; then
        seen+="$dep "
        queue+=("$dep")
      fi
    done < <(awk -v t="$next" '$1 == t { print $2 }' <<<"$links")
  done
  echo "$seen"
}

# The floors, by folder, and the libraries each may use.
declare -A allowed
while IFS= read -r folder; do
  folder="${folder#./}"
  [ "$folder" = "" ] && folder=.
  allowed["$folder"]="$(reachable "$(library_of "$folder")")"
done < <(find . -type f \( -name '*.cpp' -o -name '*.h' \) -printf '%h\n' | sort -u)

floor_of() {
  local dir
  dir="$(dirname "$1")"
  echo "${dir#./}"
}

status=0
for folder in "${!allowed[@]}"; do
  library="$(library_of "$folder")"
  if ! grep -rqE "add_(library|executable)\($library\b" --include=CMakeLists.txt .; then
    echo "src/$folder: no library $library builds this floor" >&2
    status=1
  fi
done
while IFS= read -r file; do
  from="$(floor_of "$file")"
  while IFS= read -r include; do
    [ -n "$include" ] || continue
    # Headers outside src/ (Qt, the system) are not ours to judge.
    [ -f "$include" ] || continue
    to="$(floor_of "$include")"
    if [[ "${allowed[$from]}" != *" $(library_of "$to") "* ]]; then
      echo "$file: includes \"$include\" ($from may not use $to)" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . -type f \( -name '*.cpp' -o -name '*.h' \) | sed 's|^\./||' | sort)

if [ "$status" -eq 0 ]; then
  echo "layers: every include runs downwards"
fi
exit "$status"
