#!/usr/bin/env bash
# Installs タンドレル for the current user, without root:
#   tools/install.sh [--autostart] [--from <build-dir>]
#   tools/install.sh --uninstall [--purge]
# The program goes into a folder of its own, ~/.local/opt/tandrel/, because its
# settings file lives beside it and must stay writable; a menu launcher and the
# icons go where the desktop looks for them, and --autostart starts the program
# at login. Installing again keeps the settings file. --uninstall removes what
# the install added and keeps the settings file; --purge removes that too.
# --from installs a build made before instead of building first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="$HOME/.local/opt/tandrel"
data="${XDG_DATA_HOME:-$HOME/.local/share}"
config="${XDG_CONFIG_HOME:-$HOME/.config}"
launcher="$data/applications/tandrel.desktop"
autostart_entry="$config/autostart/tandrel.desktop"
settings="$prefix/tandrel.ini"
# What the last install added, one path a line; the uninstall removes these.
manifest="$prefix/installed-files"

usage() {
  echo "usage: $0 [--autostart] [--from <build-dir>] | --uninstall [--purge]" >&2
  exit 2
}

uninstall() {
  local purge=$1 file
  if [ -f "$manifest" ]; then
    while IFS= read -r file; do
      [ -n "$file" ] && rm -f -- "$file"
    done <"$manifest"
    rm -f -- "$manifest"
  fi
  # Entries of an install whose list was lost; all of them are ours by name.
  rm -f -- "$launcher" "$autostart_entry" "$prefix/tandrel" "$prefix/share/applications/tandrel.desktop"
  rm -f -- "$data"/icons/hicolor/*/apps/tandrel.png "$prefix"/share/icons/hicolor/*/apps/tandrel.png
  [ "$purge" = yes ] && rm -f -- "$settings"
  rmdir -- "$data"/icons/hicolor/*/apps "$data"/icons/hicolor/* 2>/dev/null || true
  # Empty folders inside our own folder go; the user's menus and icon folders stay.
  [ -d "$prefix" ] && find "$prefix" -depth -mindepth 1 -type d -empty -delete
  rmdir -- "$prefix" 2>/dev/null || true
  touch "$data/icons/hicolor" 2>/dev/null || true
  if [ -e "$settings" ]; then
    echo "Removed タンドレル; its settings file stays at $settings (--uninstall --purge removes it)."
  else
    echo "Removed タンドレル."
  fi
}

install() {
  local autostart=$1 build=$2 file size
  if [ -z "$build" ]; then
    build="$root/build"
    # The compiler and flags of tools/run.sh and tools/test.sh, so all three share build/.
    CXX=g++ TANDREL_WERROR=ON "$root/tools/setup.sh" "$build"
  fi
  [ -x "$build/tandrel" ] && [ -f "$build/cmake_install.cmake" ] || {
    echo "no build in $build: run tools/setup.sh first" >&2
    exit 1
  }
  # An autostart entry from an earlier install is renewed, not dropped.
  [ -e "$autostart_entry" ] && autostart=yes

  mkdir -p "$prefix"
  cmake --install "$build" --prefix "$prefix" >/dev/null
  # CMake's list ends without a line end.
  { cat "$build/install_manifest.txt"; echo; } >"$manifest.new"

  mkdir -p "$data/applications"
  cp "$prefix/share/applications/tandrel.desktop" "$launcher"
  echo "$launcher" >>"$manifest.new"
  for file in "$prefix"/share/icons/hicolor/*/apps/tandrel.png; do
    size="${file#"$prefix"/share/icons/hicolor/}"
    size="${size%%/*}"
    mkdir -p "$data/icons/hicolor/$size/apps"
    cp "$file" "$data/icons/hicolor/$size/apps/tandrel.png"
    echo "$data/icons/hicolor/$size/apps/tandrel.png" >>"$manifest.new"
  done
  # Icon caches look at the theme folder's time.
  touch "$data/icons/hicolor"
  if [ "$autostart" = yes ]; then
    mkdir -p "$config/autostart"
    cp "$launcher" "$autostart_entry"
    echo "$autostart_entry" >>"$manifest.new"
  fi
  mv "$manifest.new" "$manifest"

  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$launcher"
  fi
  echo "Installed タンドレル in $prefix; it is in the menu under Network."
  [ "$autostart" = yes ] && echo "It starts at login (minimised when the option says so)."
  if [ -e "$settings" ]; then
    echo "Its settings file $settings was kept."
  fi
}

mode=install autostart=no purge=no build=""
while (($#)); do
  case "$1" in
    --autostart) autostart=yes ;;
    --uninstall) mode=uninstall ;;
    --purge) purge=yes ;;
    --from)
      (($# >= 2)) || usage
      build="$(cd "$2" && pwd)"
      shift
      ;;
    *) usage ;;
  esac
  shift
done
if [ "$mode" = uninstall ]; then
  [ "$autostart" = no ] && [ -z "$build" ] || usage
  uninstall "$purge"
else
  [ "$purge" = no ] || usage
  install "$autostart" "$build"
fi
