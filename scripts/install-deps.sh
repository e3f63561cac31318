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

SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO=sudo

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Windows build of the demo site needs cpp-httplib as its author ships
# it, one header holding the whole library: Debian's -dev package keeps
# only the declarations (the rest is in its Linux .so). Debian's source of
# that same package, with Debian's patches applied, is that header; apt
# fetches and checks it against the archive's signed index.
HTTPLIB_VERSION=$(dpkg-query -W -f='${source:Version}' libcpp-httplib-dev)
HTTPLIB_SOURCE=/usr/local/src/cpp-httplib-${HTTPLIB_VERSION%%-*}
if [[ ! -f $HTTPLIB_SOURCE/httplib.h ]]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/lists/partial" "$work/get"
  for suite in bookworm bookworm-updates; do
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main"
  done >"$work/sources.list"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main" \
    >>"$work/sources.list"
  apt_src=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
           -o "Dir::State::Lists=$work/lists" -o APT::Sandbox::User=root)
  $SUDO apt-get "${apt_src[@]}" update -q >/dev/null
  (cd "$work/get" && $SUDO apt-get "${apt_src[@]}" source -q "cpp-httplib=$HTTPLIB_VERSION" >/dev/null)
  $SUDO mkdir -p "$(dirname "$HTTPLIB_SOURCE")"
  $SUDO rm -rf "$HTTPLIB_SOURCE.new"
  $SUDO cp -r "$work"/get/cpp-httplib-*/ "$HTTPLIB_SOURCE.new"
  $SUDO mv "$HTTPLIB_SOURCE.new" "$HTTPLIB_SOURCE"
fi
