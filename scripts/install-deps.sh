#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  libgtk-3-dev libwebkit2gtk-4.1-dev glib-networking libdbusmenu-glib-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64
  nsis
  xvfb xauth x11-utils libxfixes3 openbox trayer xdotool wmctrl imagemagick dbus-daemon
  fonts-wqy-microhei fonts-wqy-zenhei fonts-arphic-uming python3 python3-pil curl
  dpkg-dev file desktop-file-utils appstream lintian libglib2.0-bin iproute2
  clang libclang-rt-14-dev llvm
  xrestop
  at-spi2-core python3-pyatspi
  sway waybar wayvnc grim util-linux
  systemd
  libqrencode-dev zbar-tools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO=sudo
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
