#!/bin/bash
# Builds what is missing and starts the viewer under Wine on sample pictures.
#
#   scripts/run-viewer.sh                    # on your X display, else headless
#   scripts/run-viewer.sh --screenshot FILE  # headless: the first screen of
#                                            # thumbnails as a 240x320 PNG
#
# Set-up as scripts/test.sh does it (dependencies, the win64 build in
# build/win64), with a Wine prefix and device root of its own
# (build/win64/run-prefix, build/win64/run-device), so tests and the viewer
# never share a device. The device root gets sample pictures of our own
# (scripts/make_samples.py) in "\My Documents\Pictures", and the first start
# opens "\My Documents\Pictures\Holiday\".
#
# With a DISPLAY the viewer runs in a 240x320 Wine desktop window; without
# one it runs on a private Xvfb screen of 240x320 at 16 bits, and a
# screenshot is saved when the first thumbnails are drawn.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WIN64="$ROOT/build/win64"
PREFIX="$WIN64/run-prefix"
DEVICE="$WIN64/run-device"
JOBS=${PV_JOBS:-3}
screenshot=""

while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) screenshot=$(realpath -m -- "${2:?--screenshot needs a file}"); shift 2 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) echo "run-viewer.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

say() { echo "run-viewer.sh: $*"; }

xvfb_pid=""
cleanup() {
  WINEPREFIX="$PREFIX" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# 1. Tools and dependencies, then the build (only what is missing).
if ! command -v wine >/dev/null || ! command -v x86_64-w64-mingw32-g++ >/dev/null ||
   ! command -v Xvfb >/dev/null || ! command -v import >/dev/null; then
  say "installing the tools (scripts/setup.sh)"
  "$ROOT/scripts/setup.sh"
fi
# The dependencies report their own steps (on standard error); the build
# shows each step it takes as "[done/total]", on one line on a terminal.
say "dependencies (a first build takes several minutes)"
"$ROOT/scripts/build-deps.sh" win64 >/dev/null
if [ ! -f "$WIN64/CMakeCache.txt" ]; then
  say "configuring the build in $WIN64"
  cmake -G Ninja -S "$ROOT" -B "$WIN64" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw64.cmake" \
    -DPV_DEPS_PREFIX="$("$ROOT/scripts/build-deps.sh" --prefix win64)" >/dev/null
fi
say "building viewer.exe"
NINJA_STATUS="run-viewer.sh: [%f/%t] " cmake --build "$WIN64" -j "$JOBS" --target viewer
EXE="$WIN64/app/viewer.exe"

# 2. Wine prefix, device root and sample pictures.
say "preparing the Wine prefix and the device root"
"$ROOT/scripts/wine-prefix.sh" --reuse "$PREFIX" "$DEVICE" >/dev/null
tiff_flag=""
[ -f "$ROOT/imagelib/readers/tiff.cpp" ] && tiff_flag="--tiff"
/usr/bin/python3 "$ROOT/scripts/make_samples.py" "$DEVICE/My Documents/Pictures" $tiff_flag
export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if ! grep -q '^\[Software\\\\Trelmo\]' "$PREFIX/user.reg"; then
  env -u DISPLAY wine reg add 'HKCU\Software\Trelmo' /v Path /t REG_SZ \
    /d '\My Documents\Pictures\Holiday\' /f >/dev/null 2>&1
  wineserver -w
fi

# 3. The screen: the user's display (in a Wine desktop the handheld's size),
# or a private Xvfb.
headless=1
if [ -z "$screenshot" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  headless=0
fi
if [ "$headless" -eq 1 ]; then
  for n in $(seq 150 199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 240x320x16 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
      DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
      sleep 0.1
    done
    if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
      export DISPLAY=":$n"
      break
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  done
  [ -n "$xvfb_pid" ] || { say "could not start Xvfb"; exit 1; }
fi

# 4. Start the viewer with D: (the device root) as its current drive.
cd "$DEVICE"
if [ "$headless" -eq 0 ]; then
  say "starting the viewer in a 240x320 desktop on $DISPLAY"
  exec wine explorer /desktop=Handheld,240x320 "$EXE"
fi

[ -n "$screenshot" ] || screenshot="$WIN64/viewer-screen.png"
wine "$EXE" >/dev/null 2>&1 &
viewer_pid=$!

# A screen is drawn when it stops changing: thumbnails come in one by one,
# then the picture stays as it is.
settle() {
  local last="" same=0 sum
  for _ in $(seq 1 240); do
    sleep 0.5
    xwininfo -root -tree 2>/dev/null | grep -q '"Trelmo"' || continue
    sum=$(import -window root rgb:- 2>/dev/null | md5sum | cut -d' ' -f1) || continue
    if [ "$sum" = "$last" ]; then same=$((same + 1)); else same=0; last=$sum; fi
    [ "$same" -ge 4 ] && return 0
  done
  return 1
}

# The start screen comes first unless the user turned it off (UseSplashScreen
# 0 in the prefix): the way to the thumbnails is a tap on its "Browse Folder"
# tile, at 96 pixels per inch (10, 48)-(74, 112).
settle || true
if ! grep -qi '^"UseSplashScreen"=dword:00000000' "$PREFIX/user.reg"; then
  say "tapping the start screen's Browse Folder tile"
  /usr/bin/python3 "$ROOT/scripts/x_tap.py" 42 80
fi
say "waiting for the first screen of thumbnails"
settle || true
import -window root -crop 240x320+0+0 "$screenshot"
say "screenshot saved to $screenshot"
kill "$viewer_pid" 2>/dev/null || true
