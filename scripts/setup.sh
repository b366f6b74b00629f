#!/bin/sh
# Installs what building and testing need on a Debian 12 machine: compilers,
# the Win64 cross tool chain, Wine and Xvfb, and the independent tools the tests
# use as oracles and fixture makers. Adds deb-src entries so the dependency build
# can fetch Debian's source packages. Safe to run again.
set -eu

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

PACKAGES="
  build-essential cmake ninja-build pkg-config dpkg-dev git ca-certificates
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils libxtst6 nasm
  clang lld libclang-rt-14-dev
  googletest libbenchmark-dev
  libjpeg-turbo-progs netpbm imagemagick libimage-exiftool-perl python3-pil
  libtiff-tools pngcheck giflib-tools gifsicle icoutils zip unzip libvips-tools exiv2
  libvips-dev pngquant
  libtiff-dev libraw-bin dcraw
  openobex-apps
  libturbojpeg0-dev libspng-dev libdeflate-dev libpng-dev
  python3-skimage
"

have_all() {
  for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || return 1
  done
  return 0
}

add_deb_src() {
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    if grep -q '^Types: deb$' /etc/apt/sources.list.d/debian.sources; then
      $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
      return 0
    fi
  fi
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list \
     && ! grep -q '^deb-src ' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee -a /etc/apt/sources.list >/dev/null
    return 0
  fi
  return 1
}

changed=0
add_deb_src && changed=1 || true
if [ "$changed" -eq 1 ] || ! have_all; then
  $SUDO apt-get update -q
fi
if ! have_all; then
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $PACKAGES
fi
