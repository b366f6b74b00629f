#!/bin/bash
# Makes a 64-bit Wine prefix for running the Win32 programs and their tests,
# plus the "device root": a folder standing in for the handheld's file system,
# with "My Documents", "Temp" and "Storage Card" in it. Drive D: of the prefix
# is the device root, so a program whose current drive is D: (scripts/wine-run.sh
# arranges that) sees "\Temp\x" as <device-root>/Temp/x.
#
#   scripts/wine-prefix.sh [--reuse] [--dpi N] <prefix-dir> <device-root-dir>
#
# Without --reuse the prefix is always made anew (an existing one is deleted).
# With --reuse a prefix that this script finished earlier with the same Wine
# version is kept, which saves the boot; the device folders and the D: mapping
# are checked and put right either way. The device root's contents are left
# alone: the caller empties it if it wants a clean device.
#
# --dpi N gives the prefix a screen of N pixels per inch (96 unless told; 192
# is a VGA handheld's), as Wine reads it: LogPixels of the user's desktop
# settings and of the current hardware profile's fonts.
set -euo pipefail

reuse=0
dpi=96
while [ $# -gt 0 ]; do
  case "$1" in
    --reuse) reuse=1; shift ;;
    --dpi) dpi=${2:-}; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -ne 2 ] || ! [[ "$dpi" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 [--reuse] [--dpi N] <prefix-dir> <device-root-dir>" >&2
  exit 2
fi

prefix=$(realpath -m -- "$1")
device=$(realpath -m -- "$2")

export WINEPREFIX="$prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No offers to download Mono or Gecko while booting, and no desktop menu
# entries for the programs in the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

marker="$prefix/.pv-prefix-complete"
wine_version=$(wine --version 2>/dev/null || true)
if [ -z "$wine_version" ]; then
  echo "wine-prefix.sh: wine is not installed (run scripts/setup.sh)" >&2
  exit 1
fi

prefix_is_complete() {
  [ -f "$marker" ] && [ -f "$prefix/system.reg" ] && [ -f "$prefix/user.reg" ] &&
    [ "$(cat "$marker")" = "$wine_version" ]
}

if [ "$reuse" -eq 1 ] && prefix_is_complete; then
  echo "wine-prefix.sh: reusing $prefix ($wine_version)"
else
  if [ -e "$prefix" ]; then
    # Stop a server still holding the old prefix open before deleting it.
    wineserver -k >/dev/null 2>&1 || true
    rm -rf -- "$prefix"
  fi
  mkdir -p -- "$(dirname -- "$prefix")"
  start=$(date +%s.%N)
  # Booting needs no display; keep it from touching one that happens to be set.
  env -u DISPLAY -u WAYLAND_DISPLAY wineboot -i >/dev/null 2>&1
  wineserver -w
  # A crashing program should end (winedbg prints the backtrace on stderr)
  # rather than wait for someone to close a dialog.
  env -u DISPLAY wine reg add 'HKCU\Software\Wine\WineDbg' \
    /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # There is no window manager on the test display. Left managed, every hidden
  # or destroyed top-level window waits 2 s for one to answer.
  env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
  if [ ! -f "$prefix/system.reg" ] || [ ! -d "$prefix/drive_c/windows" ]; then
    echo "wine-prefix.sh: wineboot did not produce a usable prefix in $prefix" >&2
    exit 1
  fi
  if ! grep -q '"ShowCrashDialog"=dword:00000000' "$prefix/user.reg" ||
     ! grep -q '"Managed"="N"' "$prefix/user.reg"; then
    echo "wine-prefix.sh: could not write the settings into $prefix/user.reg" >&2
    exit 1
  fi
  printf '%s\n' "$wine_version" >"$marker"
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" -v p="$prefix" -v v="$wine_version" \
    'BEGIN { printf "wine-prefix.sh: made %s in %.1f s (%s)\n", p, e - s, v }'
fi

# Dialog templates name "Tahoma", "MS Sans Serif" and "MS Shell Dlg"; all
# three are pinned to Wine's own Tahoma, so dialog units, and with them every
# dialog's size on the 240-pixel screen, are the same on every machine.
if ! grep -q '"MS Sans Serif"="Tahoma"' "$prefix/user.reg" 2>/dev/null; then
  for face in "MS Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
    env -u DISPLAY wine reg add 'HKCU\Software\Wine\Fonts\Replacements' \
      /v "$face" /t REG_SZ /d Tahoma /f >/dev/null 2>&1
  done
  wineserver -w
  if ! grep -q '"MS Sans Serif"="Tahoma"' "$prefix/user.reg"; then
    echo "wine-prefix.sh: could not pin the dialog fonts in $prefix/user.reg" >&2
    exit 1
  fi
fi

hex_dpi=$(printf '%08x' "$dpi")
if ! grep -q "\"LogPixels\"=dword:$hex_dpi" "$prefix/user.reg" 2>/dev/null; then
  env -u DISPLAY wine reg add 'HKCU\Control Panel\Desktop' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  env -u DISPLAY wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w
  if ! grep -q "\"LogPixels\"=dword:$hex_dpi" "$prefix/user.reg"; then
    echo "wine-prefix.sh: could not set $dpi pixels per inch in $prefix/user.reg" >&2
    exit 1
  fi
fi

mkdir -p -- "$device/My Documents" "$device/Temp" "$device/Storage Card"
rm -f -- "$prefix/dosdevices/d:" "$prefix/dosdevices/d::"
ln -s -- "$device" "$prefix/dosdevices/d:"
echo "wine-prefix.sh: D: is $device"
