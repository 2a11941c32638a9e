#!/usr/bin/env bash
# Installs what the project needs on Debian 12, then configures and builds it.
#   tools/setup.sh [build-dir]     (default: build)
# Environment: CXX picks the compiler (g++ by default); warnings are errors
# unless TANDREL_WERROR=OFF. Every script builds build/ with the same compiler
# and flags, so alternating them never flips its cache into a full rebuild.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"

packages=(
  cmake ninja-build g++ clang clang-format pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6multimedia6 libgl-dev
  libbenchmark-dev
  fonts-ipafont-gothic fonts-ipafont-mincho
  xvfb xauth openbox trayer x11-utils imagemagick libxcb1-dev
  dovecot-core dovecot-pop3d dovecot-imapd
  python3 procps time ccache openssl xdotool desktop-file-utils util-linux mount
  lintian appstream dpkg-dev file
  mpop libclang-rt-14-dev
  qtkeychain-qt6-dev gnome-keyring libsecret-tools dbus libglib2.0-bin
  qt6-translations-l10n qt6-networkauth-dev
  qt6-wayland mutter xwayland dbus dbus-bin
  haskell-status-notifier-item-utils python3-dbus-next
  dconf-service dconf-gsettings-backend gsettings-desktop-schemas
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # Debian starts the Dovecot service on install; the tests run their own instance.
  $sudo systemctl disable --now dovecot >/dev/null 2>&1 || $sudo service dovecot stop >/dev/null 2>&1 || true
fi

# Worktrees of the same project share compiled objects through ccache.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" \
  -DCMAKE_CXX_COMPILER="${CXX:-g++}" \
  -DTANDREL_WERROR="${TANDREL_WERROR:-ON}" \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) >/dev/null
# After an update that adds a Q_OBJECT header, Qt's moc step in an existing build
# folder can look current and skip it (the link then fails); forgetting its stamps
# makes it look at every header again, which costs a few seconds.
find "$build" -path '*_autogen*' -name timestamp -delete 2>/dev/null || true
# TANDREL_TARGETS (blank-separated) builds only those, as tools/package.sh does.
cmake --build "$build" -j "$(nproc)" ${TANDREL_TARGETS:+--target $TANDREL_TARGETS}
