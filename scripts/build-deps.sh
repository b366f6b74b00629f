#!/usr/bin/env bash
# Builds the third-party libraries from Debian's source packages as static
# libraries, for the native (Linux x86-64) and win64 (mingw-w64, posix threads)
# targets, into a cache outside the work tree:
#
#   ${PV_DEPS_CACHE:-$HOME/.cache/pictureviewer-deps}/<key>/<target>/{include,lib}
#
# <key> is a hash of this recipe (this script, scripts/deps/*) and of the tool
# versions, so changing either builds a fresh prefix next to the old one.
#
# Libraries (all static):
#   zlib          lib/libz.a         include/zlib.h zconf.h
#   minizip       lib/libminizip.a   include/minizip/{unzip,ioapi}.h
#   libjpeg-turbo lib/libjpeg.a      include/jpeglib.h jconfig.h jmorecfg.h jerror.h
#   transupp      lib/libtransupp.a  include/transupp.h (include after jpeglib.h)
#   libpng + APNG lib/libpng16.a (and a copy named libpng.a)
#                                    include/png.h pngconf.h pnglibconf.h
#   LibRaw        lib/libraw.a       include/libraw/*.h
#   libdeflate    lib/libdeflate.a   include/libdeflate.h
#
# Usage:
#   scripts/build-deps.sh [native|win64|all]   build (default: all); the last
#                                              line(s) on stdout are the prefixes
#   scripts/build-deps.sh --prefix native|win64
#                                              print a prefix without building
#   scripts/build-deps.sh --prune              delete cached builds of other
#                                              recipes
# Progress goes to stderr; build logs stay in <key>/logs/<target>/.
set -euo pipefail

ZLIB_PKG=zlib                  ZLIB_VER=1:1.2.13.dfsg-1
JPEG_PKG=libjpeg-turbo         JPEG_VER=1:2.1.5-2
PNG_PKG=libpng1.6              PNG_VER=1.6.39-2+deb12u5
RAW_PKG=libraw                 RAW_VER=0.20.2-2.1+deb12u1
DEFLATE_PKG=libdeflate         DEFLATE_VER=1.14-1
# Shipped in the libpng source package but left out of its patch series.
PNG_APNG_PATCH=debian/patches/libpng-1.6.39-apng.patch

MINGW=x86_64-w64-mingw32

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SCRIPT_PATH="$SCRIPT_DIR/$(basename "${BASH_SOURCE[0]}")"
CACHE_ROOT=$(realpath -m "${PV_DEPS_CACHE:-$HOME/.cache/pictureviewer-deps}")
JOBS=$(nproc 2>/dev/null || echo 2)

# Nothing from the caller's environment may leak into the recipe.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS CC CXX AR RANLIB MAKEFLAGS MFLAGS \
      CMAKE_GENERATOR CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_PARALLEL_LEVEL || true
export LC_ALL=C

say() { echo "deps: $*" >&2; }
die() { echo "deps: error: $*" >&2; exit 1; }

usage() {
  sed -n '/^# Usage:/,/^# Progress/p' "$SCRIPT_PATH" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

tool_version() {
  local out
  if out=$("$@" 2>/dev/null | head -n 1); then echo "$*: $out"; else echo "$*: missing"; fi
}

pkg_version() {
  echo "$1: $(dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo missing)"
}

recipe_key() {
  {
    echo "== build-deps.sh"
    cat "$SCRIPT_PATH"
    if [ -d "$SCRIPT_DIR/deps" ]; then
      find "$SCRIPT_DIR/deps" -type f | sort | while read -r f; do
        echo "== deps/${f#"$SCRIPT_DIR/deps/"}"
        cat "$f"
      done
    fi
    tool_version gcc --version
    tool_version g++ --version
    tool_version "$MINGW-gcc-posix" --version
    tool_version "$MINGW-g++-posix" --version
    pkg_version gcc-mingw-w64-x86-64-posix
    pkg_version g++-mingw-w64-x86-64-posix
    pkg_version mingw-w64-x86-64-dev
    pkg_version binutils-mingw-w64-x86-64
    pkg_version libc6-dev
    tool_version nasm --version
    tool_version cmake --version
  } | sha256sum | cut -c1-16
}

KEY=$(recipe_key)
KEYDIR="$CACHE_ROOT/$KEY"

prefix_of() { echo "$KEYDIR/$1"; }

# ---------------------------------------------------------------- sources

fetch_one() { # pkg version destname
  local pkg=$1 ver=$2 dest=$3 upstream dir
  if ! apt-get source -q "$pkg=$ver" >"$SRC_LOG.part" 2>&1; then
    cat "$SRC_LOG.part" >>"$SRC_LOG"
    grep -E '^(E|W):' "$SRC_LOG.part" | grep -v unsandboxed >&2 || tail -n 5 "$SRC_LOG.part" >&2
    die "cannot fetch Debian source package $pkg=$ver. The deb-src entries must be
      enabled and 'apt-get update' run (scripts/setup.sh does both); if that is done,
      the archive no longer carries this exact version."
  fi
  cat "$SRC_LOG.part" >>"$SRC_LOG"
  rm -f "$SRC_LOG.part"
  upstream=${ver#*:}
  upstream=${upstream%-*}
  dir="$pkg-$upstream"
  [ -d "$dir" ] || die "apt-get source $pkg=$ver did not unpack into $dir"
  mv "$dir" "$dest"
}

prepare_sources() {
  local src="$KEYDIR/src" tmp="$KEYDIR/.src-tmp"
  [ -f "$src/.stamp" ] && return 0
  exec 8>"$KEYDIR/.lock-src"
  flock 8
  if [ ! -f "$src/.stamp" ]; then
    command -v dpkg-source >/dev/null || die "dpkg-source is missing (apt-get install dpkg-dev)"
    say "fetching Debian source packages"
    rm -rf "$tmp" "$src"
    mkdir -p "$tmp" "$KEYDIR/logs"
    SRC_LOG="$KEYDIR/logs/sources.log"
    : >"$SRC_LOG"
    (
      cd "$tmp"
      fetch_one "$ZLIB_PKG" "$ZLIB_VER" zlib
      fetch_one "$JPEG_PKG" "$JPEG_VER" libjpeg-turbo
      fetch_one "$PNG_PKG" "$PNG_VER" libpng
      fetch_one "$RAW_PKG" "$RAW_VER" libraw
      fetch_one "$DEFLATE_PKG" "$DEFLATE_VER" libdeflate
      [ -f zlib/contrib/minizip/unzip.c ] || die "zlib source has no contrib/minizip"
      [ -f libjpeg-turbo/transupp.c ] || die "libjpeg-turbo source has no transupp.c"
      # Animated PNG support; must apply without fuzz on top of Debian's series.
      if ! (cd libpng && patch -p1 --forward --batch --fuzz=0 <"$PNG_APNG_PATCH") >>"$SRC_LOG" 2>&1; then
        tail -n 15 "$SRC_LOG" >&2
        die "the APNG patch does not apply to $PNG_PKG $PNG_VER"
      fi
      grep -q '^#define PNG_APNG_SUPPORTED' libpng/png.h || die "APNG patch did not define PNG_APNG_SUPPORTED"
      rm -f ./*.dsc ./*.tar.* ./*.diff.gz
      date -u +%FT%TZ >.stamp
    )
    mv -T "$tmp" "$src"
  fi
  exec 8>&-
}

# ---------------------------------------------------------------- building

# run_step <log> <command...>: quiet unless it fails.
run_step() {
  local log=$1; shift
  echo "+ $*" >>"$log"
  if ! "$@" >>"$log" 2>&1; then
    echo "deps: $TARGET: step failed: $*" >&2
    echo "----- tail of $log" >&2
    tail -n 40 "$log" >&2
    echo "-----" >&2
    return 1
  fi
}

setup_target() { # target
  TARGET=$1
  case $TARGET in
    native)
      CC_BIN=gcc CXX_BIN=g++ AR_BIN=ar RANLIB_BIN=ranlib
      OPT_FLAGS="-O2 -DNDEBUG -fPIC"
      RAW_DEFS=""
      CMAKE_TARGET_ARGS=(-DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
                         -DCMAKE_POSITION_INDEPENDENT_CODE=ON)
      ;;
    win64)
      CC_BIN=$MINGW-gcc-posix CXX_BIN=$MINGW-g++-posix
      AR_BIN=$MINGW-ar RANLIB_BIN=$MINGW-ranlib
      OPT_FLAGS="-O2 -DNDEBUG"
      RAW_DEFS="-DLIBRAW_NODLL"
      CMAKE_TARGET_ARGS=(-DCMAKE_TOOLCHAIN_FILE="$SCRIPT_DIR/deps/toolchain-win64.cmake")
      ;;
    *) die "unknown target '$TARGET'" ;;
  esac
  local t
  for t in "$CC_BIN" "$CXX_BIN" "$AR_BIN" "$RANLIB_BIN" cmake nasm make; do
    command -v "$t" >/dev/null || die "$TARGET: '$t' not found (scripts/setup.sh installs the tools)"
  done
  SRC="$KEYDIR/src"
  WORK="$KEYDIR/.work-$TARGET"
  STAGE="$KEYDIR/.stage-$TARGET"
  LOGS="$KEYDIR/logs/$TARGET"
  GEN=(-G "Unix Makefiles")
  command -v ninja >/dev/null && GEN=(-G Ninja)
  CMAKE_COMMON=("${GEN[@]}" -DCMAKE_BUILD_TYPE=Release "${CMAKE_TARGET_ARGS[@]}"
                -DCMAKE_INSTALL_PREFIX="$STAGE" -Wno-dev)
}

build_zlib() {
  local log="$LOGS/zlib.log" z="$WORK/zlib"
  # The dfsg tarball lacks win32/, which zlib's CMake needs; its configure
  # script handles both targets. It builds in its tree: use a private copy.
  cp -a "$SRC/zlib" "$z"
  if [ "$TARGET" = win64 ]; then
    (cd "$z" && run_step "$log" env CHOST=$MINGW CC="$CC_BIN" CFLAGS="$OPT_FLAGS" ./configure --static)
  else
    (cd "$z" && run_step "$log" env CC="$CC_BIN" CFLAGS="$OPT_FLAGS" ./configure --static)
  fi
  run_step "$log" make -C "$z" -j "$JOBS" libz.a
  cp "$z/libz.a" "$STAGE/lib/libz.a"
  cp "$z/zlib.h" "$z/zconf.h" "$STAGE/include/"
}

build_minizip() {
  local log="$LOGS/minizip.log" m="$SRC/zlib/contrib/minizip" o="$WORK/minizip"
  mkdir -p "$o"
  # IOAPI_NO_64 is not needed: glibc has fopen64 & co. (ioapi.h asks for them)
  # and so does mingw-w64.
  local f
  for f in ioapi unzip; do
    # shellcheck disable=SC2086  # OPT_FLAGS is a list of flags
    run_step "$log" "$CC_BIN" $OPT_FLAGS -I"$STAGE/include" -I"$m" -c "$m/$f.c" -o "$o/$f.o"
  done
  run_step "$log" "$AR_BIN" rcs "$STAGE/lib/libminizip.a" "$o/ioapi.o" "$o/unzip.o"
  mkdir -p "$STAGE/include/minizip"
  cp "$m/unzip.h" "$m/ioapi.h" "$STAGE/include/minizip/"
}

build_jpeg() {
  local log="$LOGS/jpeg.log" s="$SRC/libjpeg-turbo" b="$WORK/jpeg-build"
  run_step "$log" cmake -S "$s" -B "$b" "${CMAKE_COMMON[@]}" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
    -DCMAKE_ASM_NASM_COMPILER=nasm
  run_step "$log" cmake --build "$b" --target jpeg-static -j "$JOBS"
  cp "$b/libjpeg.a" "$STAGE/lib/libjpeg.a"
  cp "$s/jpeglib.h" "$s/jmorecfg.h" "$s/jerror.h" "$b/jconfig.h" "$STAGE/include/"
  # Lossless transforms (jpegtran's engine). transupp.c wants the private
  # headers (jinclude.h, jconfigint.h, jpegcomp.h); transupp.h itself only
  # needs jpeglib.h, so only it is installed.
  # shellcheck disable=SC2086  # OPT_FLAGS is a list of flags
  run_step "$log" "$CC_BIN" $OPT_FLAGS -I"$b" -I"$s" -c "$s/transupp.c" -o "$WORK/transupp.o"
  run_step "$log" "$AR_BIN" rcs "$STAGE/lib/libtransupp.a" "$WORK/transupp.o"
  # transupp.h has neither an include guard nor C linkage for C++ callers.
  {
    echo "/* libjpeg-turbo's transupp.h, with an include guard and C linkage added. */"
    echo "#ifndef PV_DEPS_TRANSUPP_H"
    echo "#define PV_DEPS_TRANSUPP_H"
    echo "#ifdef __cplusplus"
    echo "extern \"C\" {"
    echo "#endif"
    cat "$s/transupp.h"
    echo "#ifdef __cplusplus"
    echo "}"
    echo "#endif"
    echo "#endif /* PV_DEPS_TRANSUPP_H */"
  } >"$STAGE/include/transupp.h"
}

build_png() {
  local log="$LOGS/png.log" s="$SRC/libpng" b="$WORK/png-build"
  run_step "$log" cmake -S "$s" -B "$b" "${CMAKE_COMMON[@]}" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_FRAMEWORK=OFF -Dld-version-script=OFF \
    -DZLIB_INCLUDE_DIR="$STAGE/include" -DZLIB_LIBRARY="$STAGE/lib/libz.a"
  run_step "$log" cmake --build "$b" --target png_static -j "$JOBS"
  cp "$b/libpng16.a" "$STAGE/lib/libpng16.a"
  cp "$b/libpng16.a" "$STAGE/lib/libpng.a"
  cp "$s/png.h" "$s/pngconf.h" "$b/pnglibconf.h" "$STAGE/include/"
}

# LibRaw: the library objects listed in its Makefile.dist (LIB_OBJECTS), built
# without OpenMP, LCMS, JasPer or libjpeg. Threads are left at LibRaw's default
# (LIBRAW_NOTHREADS is not defined), i.e. what upstream calls libraw_r.
#
# -fno-aggressive-loop-optimizations: LibRaw fills whole 2-D tables through
# their first row (e.g. FORC(36) xtrans[0][c], a char[6][6], when a TIFF's
# CFAPattern has 36 entries). GCC takes the row's bound (6) as the loop's and
# drops the exit test, so the loop writes past the object until it faults.
# With the flag the loop keeps its count and stays inside the table.
RAW_CXXFLAGS="-fno-aggressive-loop-optimizations"
build_raw() {
  local log="$LOGS/raw.log" s="$SRC/libraw" o="$WORK/raw-build"
  mkdir -p "$o"
  awk -v src="$s" '
    /^LIB_OBJECTS=/ { inlist = 1; sub(/^LIB_OBJECTS=/, "") }
    inlist {
      cont = ($0 ~ /\\$/); line = $0; gsub(/\\/, " ", line)
      n = split(line, w, /[ \t]+/)
      for (i = 1; i <= n; i++) if (w[i] != "") objs[++nobj] = w[i]
      if (!cont) inlist = 0
      next
    }
    /^object\/[A-Za-z0-9_]+\.o: src\/.*\.cpp$/ { sub(/:$/, "", $1); rule[$1] = $2 }
    END {
      if (nobj == 0) { print "no LIB_OBJECTS in Makefile.dist" > "/dev/stderr"; exit 1 }
      printf "OBJS ="
      for (i = 1; i <= nobj; i++) { o = objs[i]; sub(/^object\//, "", o); printf " %s", o }
      printf "\n\nlibraw.a: $(OBJS)\n\trm -f $@\n\t$(AR) rcs $@ $(OBJS)\n\n"
      for (i = 1; i <= nobj; i++) {
        if (!(objs[i] in rule)) { print "no rule for " objs[i] > "/dev/stderr"; exit 1 }
        o = objs[i]; sub(/^object\//, "", o)
        printf "%s: %s/%s\n\t$(CXX) -c $(CXXFLAGS) -o $@ $<\n", o, src, rule[objs[i]]
      }
    }' "$s/Makefile.dist" >"$o/Makefile" 2>>"$log" || {
      echo "deps: $TARGET: cannot read LibRaw's object list" >&2; tail -n 5 "$log" >&2; return 1; }
  run_step "$log" make -C "$o" -j "$JOBS" libraw.a \
    CXX="$CXX_BIN" AR="$AR_BIN" CXXFLAGS="$OPT_FLAGS $RAW_CXXFLAGS -w -I$s $RAW_DEFS"
  cp "$o/libraw.a" "$STAGE/lib/libraw.a"
  mkdir -p "$STAGE/include/libraw"
  cp "$s"/libraw/*.h "$STAGE/include/libraw/"
}

# libdeflate: the library's sources compiled as its Makefile does (C99, frame
# pointer omitted), without the programs; the CPU feature checks pick the
# x86 fast paths at run time.
build_deflate() {
  local log="$LOGS/deflate.log" s="$SRC/libdeflate" o="$WORK/deflate-build" f objs=()
  mkdir -p "$o"
  for f in "$s"/lib/*.c "$s"/lib/x86/cpu_features.c; do
    local obj="$o/$(basename "$(dirname "$f")")-$(basename "$f" .c).o"
    # shellcheck disable=SC2086  # OPT_FLAGS is a list of flags
    run_step "$log" "$CC_BIN" $OPT_FLAGS -std=c99 -fomit-frame-pointer -I"$s" -c "$f" -o "$obj"
    objs+=("$obj")
  done
  run_step "$log" "$AR_BIN" rcs "$STAGE/lib/libdeflate.a" "${objs[@]}"
  cp "$s/libdeflate.h" "$STAGE/include/"
}

build_target() { # target
  setup_target "$1"
  local prefix
  prefix=$(prefix_of "$TARGET")
  exec 9>"$KEYDIR/.lock-$TARGET"
  flock 9
  if [ -f "$prefix/.stamp" ]; then
    say "$TARGET cached at $prefix"
    return 0
  fi
  local t0=$SECONDS
  say "building $TARGET (logs in $LOGS)"
  rm -rf "$WORK" "$STAGE" "$LOGS"
  mkdir -p "$WORK" "$STAGE/include" "$STAGE/lib" "$LOGS"

  build_zlib
  # The rest only depends on zlib: build them side by side.
  local pids=() p rc=0
  build_minizip & pids+=($!)
  build_jpeg & pids+=($!)
  build_png & pids+=($!)
  build_raw & pids+=($!)
  build_deflate & pids+=($!)
  for p in "${pids[@]}"; do wait "$p" || rc=1; done
  [ "$rc" -eq 0 ] || { echo "deps: $TARGET: build failed (logs in $LOGS)" >&2; return 1; }

  for f in libz.a libminizip.a libjpeg.a libtransupp.a libpng16.a libraw.a libdeflate.a; do
    [ -s "$STAGE/lib/$f" ] || { echo "deps: $TARGET: $f is missing" >&2; return 1; }
  done
  {
    echo "target=$TARGET"
    echo "key=$KEY"
    echo "$ZLIB_PKG=$ZLIB_VER"
    echo "$JPEG_PKG=$JPEG_VER"
    echo "$PNG_PKG=$PNG_VER+apng"
    echo "$RAW_PKG=$RAW_VER"
    echo "$DEFLATE_PKG=$DEFLATE_VER"
    echo "built=$(date -u +%FT%TZ)"
  } >"$STAGE/.stamp"
  rm -rf "$prefix"   # a stale, stamp-less leftover; never a finished prefix
  mv -T "$STAGE" "$prefix"
  rm -rf "$WORK"
  say "$TARGET built in $((SECONDS - t0))s at $prefix"
}

# ---------------------------------------------------------------- main

case ${1:-all} in
  --prefix)
    case ${2:-} in
      native|win64) prefix_of "$2"; exit 0 ;;
      *) usage ;;
    esac ;;
  --prune)
    if [ -d "$CACHE_ROOT" ]; then
      find "$CACHE_ROOT" -mindepth 1 -maxdepth 1 -type d ! -name "$KEY" -print0 |
        while IFS= read -r -d '' d; do say "removing $d"; rm -rf "$d"; done
    fi
    exit 0 ;;
  native|win64) TARGETS=("$1") ;;
  all) TARGETS=(native win64) ;;
  -h|--help) usage ;;
  *) usage ;;
esac

mkdir -p "$KEYDIR"
need_build=0
for t in "${TARGETS[@]}"; do
  [ -f "$(prefix_of "$t")/.stamp" ] || need_build=1
done
if [ "$need_build" -eq 1 ]; then
  prepare_sources
fi

# Each target builds in its own background job: "set -e" stays in force there,
# which it would not inside "( ... ) || ...".
declare -A PIDS=()
for t in "${TARGETS[@]}"; do
  ( build_target "$t" ) & PIDS[$t]=$!
done
failed=()
for t in "${TARGETS[@]}"; do
  wait "${PIDS[$t]}" || failed+=("$t")
done
[ "${#failed[@]}" -eq 0 ] || die "failed: ${failed[*]}"

# Once both targets are done the sources are no longer needed.
if [ -d "$KEYDIR/src" ] && [ -f "$(prefix_of native)/.stamp" ] && [ -f "$(prefix_of win64)/.stamp" ]; then
  ( flock 8; rm -rf "$KEYDIR/src" ) 8>"$KEYDIR/.lock-src"
fi

for t in "${TARGETS[@]}"; do
  prefix_of "$t"
done
