#!/bin/bash
# Runs a Win64 program under Wine with drive D: (the device root) as its current
# drive and passes on its exit code. ctest uses this as the cross-compiling
# emulator of the win64 build (see cmake/toolchain-mingw64.cmake).
#
#   scripts/wine-run.sh <program.exe> [args...]
#
# Environment:
#   DISPLAY          X display to use (required; scripts/test.sh starts Xvfb)
#   PV_BUILD_WIN64   win64 build tree; default: the nearest folder above the
#                    program that holds a CMakeCache.txt
#   PV_WINEPREFIX    Wine prefix; default $PV_BUILD_WIN64/wineprefix
#   PV_DEVICE_ROOT   device root mapped to D:; default $PV_BUILD_WIN64/device
# Both are made by scripts/wine-prefix.sh.
#
# Tests that drive windows hold one of ctest's "desktops" resources (see
# cmake/testing.cmake). Desktop 0 is DISPLAY with PV_WINEPREFIX; scripts/test.sh
# may offer more, each an X server of its own with a copy of the prefix on the
# same device root, named by PV_DESKTOP_<n>_DISPLAY and PV_DESKTOP_<n>_WINEPREFIX.
set -uo pipefail

fail() {
  echo "wine-run.sh: $*" >&2
  exit 125
}

[ $# -ge 1 ] || fail "usage: wine-run.sh <program.exe> [args...]"

if [ -n "${CTEST_RESOURCE_GROUP_0_DESKTOPS:-}" ]; then
  desktop=${CTEST_RESOURCE_GROUP_0_DESKTOPS#id:}
  desktop=${desktop%%,*}
  if [ "$desktop" != 0 ]; then
    display_var=PV_DESKTOP_${desktop}_DISPLAY
    prefix_var=PV_DESKTOP_${desktop}_WINEPREFIX
    [ -n "${!display_var:-}" ] && [ -n "${!prefix_var:-}" ] ||
      fail "ctest gave desktop $desktop, but $display_var or $prefix_var is not set"
    export DISPLAY=${!display_var} PV_WINEPREFIX=${!prefix_var}
  fi
fi
exe=$(realpath -e -- "$1" 2>/dev/null) || fail "no such program: $1"
shift

if [ -z "${DISPLAY:-}" ]; then
  fail "DISPLAY is not set; the Win32 programs need an X server (scripts/test.sh starts Xvfb -screen 0 240x320x16)"
fi

build="${PV_BUILD_WIN64:-}"
if [ -z "$build" ]; then
  dir=$(dirname -- "$exe")
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do
    dir=$(dirname -- "$dir")
  done
  [ -f "$dir/CMakeCache.txt" ] || fail "cannot tell the build tree of $exe; set PV_BUILD_WIN64"
  build=$dir
fi

prefix="${PV_WINEPREFIX:-$build/wineprefix}"
device="${PV_DEVICE_ROOT:-$build/device}"
if [ ! -f "$prefix/system.reg" ] || [ ! -f "$prefix/.pv-prefix-complete" ]; then
  fail "no Wine prefix at $prefix; make one with: scripts/wine-prefix.sh '$prefix' '$device'"
fi
[ -d "$device" ] || fail "no device root at $device; make it with: scripts/wine-prefix.sh --reuse '$prefix' '$device'"
if [ "$(readlink -f -- "$prefix/dosdevices/d:")" != "$(readlink -f -- "$device")" ]; then
  fail "D: of $prefix is not $device; fix it with: scripts/wine-prefix.sh --reuse '$prefix' '$device'"
fi

export WINEPREFIX="$prefix"
# The programs may look at where their device lives on the host (Z: is /).
export PV_DEVICE_ROOT
PV_DEVICE_ROOT=$(readlink -f -- "$device")
export WINEDEBUG="${PV_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEARCH

# Wine takes the current Unix folder's drive as the current drive: the device
# root lies under both Z: (/) and D:, and the deeper mapping wins.
cd -- "$device" || fail "cannot enter $device"

# The first program started on a prefix also starts Wine's background processes
# (services, explorer, ...), and they inherit its stdout and stderr. ctest reads
# those until they close, so a test that happened to come first would seem to
# run until the background processes end. Start them here, away from our
# output, unless a server is already up (scripts/test.sh starts one for the
# whole run). A server started here stays PV_WINESERVER_PERSIST seconds
# (default 30) after the last program ends, so one ctest run shares it.
{
  flock 9
  if wineserver "-p${PV_WINESERVER_PERSIST:-30}" </dev/null >/dev/null 2>&1 9>&-; then
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
} 9>"$prefix/.pv-start.lock"

exec wine "$exe" "$@"
