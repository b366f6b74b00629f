#!/bin/bash
# The viewer's start-up benchmark under Wine: 500 camera pictures of 4000 x
# 3000 with EXIF (bench/make_camera_folder.py) are made in the device root of
# build/win64, viewer_startup times the first screen of thumbnails with a
# cold and a warm thumbnail cache, and the pictures are deleted again.
#
#   scripts/bench-viewer-startup.sh [runs]      # default 3 runs
#
# Needs the win64 build (scripts/test.sh --win64-only makes it); runs on a
# private Xvfb screen of 240 x 320 at 16 bits.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WIN64="$ROOT/build/win64"
runs=${1:-3}
[ -f "$WIN64/CMakeCache.txt" ] || { echo "bench-viewer-startup.sh: no build/win64 (scripts/test.sh --win64-only)" >&2; exit 1; }
cmake --build "$WIN64" -j "${PV_JOBS:-3}" --target viewer viewer_startup >/dev/null
"$ROOT/scripts/wine-prefix.sh" --reuse "$WIN64/wineprefix" "$WIN64/device" >/dev/null
folder="$WIN64/device/Temp/startup500"

xvfb_pid=""
cleanup() {
  rm -rf -- "$folder"
  WINEPREFIX="$WIN64/wineprefix" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

echo "bench-viewer-startup.sh: drawing the camera pictures"
/usr/bin/python3 "$ROOT/bench/make_camera_folder.py" "$folder" 500 20

for n in $(seq 150 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 240x320x16 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then export DISPLAY=":$n"; break; fi
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[ -n "$xvfb_pid" ] || { echo "bench-viewer-startup.sh: could not start Xvfb" >&2; exit 1; }

PV_BUILD_WIN64="$WIN64" "$ROOT/scripts/wine-run.sh" "$WIN64/tests/viewer/viewer_startup.exe" \
  "Z:$WIN64/app/viewer.exe" '\Temp\startup500\' "$runs"
