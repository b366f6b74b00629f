#!/bin/bash
# Builds everything and runs every test:
#   build/native  g++ Debug with AddressSanitizer/UBSan: unit tests
#   build/tsan    g++ with ThreadSanitizer: the concurrency and browser tests
#   build/fuzz    clang with libFuzzer: fuzz targets (built and run when
#                 PV_FUZZ_SECONDS is set; the native and Win64 trees replay
#                 their crashers either way)
#   build/win64   mingw-w64 cross build: the Win32 programs and all tests, run
#                 under Wine on an Xvfb screen the size of the handheld's
#                 (16 bits); tests labelled screen24 run afterwards on a
#                 24-bit one, and tests labelled dpi192 on a VGA handheld's
#                 screen (480x640, 192 pixels per inch, its own Wine prefix
#                 build/win64/wineprefix-dpi192)
#
#   scripts/test.sh [--native-only | --win64-only]
#
# Environment:
#   PV_JOBS           parallel build and test jobs (default: number of cores)
#   PV_WIN64_JOBS     parallel Wine tests (default: PV_JOBS, at most 4)
#   PV_DESKTOPS       X servers for the Wine tests that drive windows, each
#                     with its own copy of the Wine prefix (default 2)
#   PV_FUZZ_SECONDS   if set, build the fuzz targets and run each for that
#                     many seconds
#   PV_TEST_TIMEOUT   per-test time limit in seconds (default 300)
#   PV_FRESH_WINE=1   make the Wine prefix anew even if build/win64 has one
#
# The Wine prefix (build/win64/wineprefix) is made once per build tree and kept
# across runs; a new Wine version or PV_FRESH_WINE=1 makes it anew. The device
# root (build/win64/device) is emptied at every run, so each run starts from a
# clean device.
set -uo pipefail

ROOT=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1

do_native=1
do_win64=1
for arg in "$@"; do
  case "$arg" in
    --native-only) do_win64=0 ;;
    --win64-only) do_native=0 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    *) echo "test.sh: unknown argument $arg" >&2; exit 2 ;;
  esac
done

JOBS=${PV_JOBS:-$(nproc)}
WIN64_JOBS=${PV_WIN64_JOBS:-$(( JOBS < 4 ? JOBS : 4 ))}
TIMEOUT=${PV_TEST_TIMEOUT:-300}

BUILD="$ROOT/build"
NATIVE="$BUILD/native"
TSAN="$BUILD/tsan"
FUZZ="$BUILD/fuzz"
WIN64="$BUILD/win64"
WINEPFX="$WIN64/wineprefix"
DEVICE="$WIN64/device"

failures=()
summaries=()
total_passed=0
total_failed=0
xvfb_pids=()
wine_started=0
extra_prefixes=()
ctest_pid=""
tail_pid=""

section() {
  printf '\n==================== %s ====================\n' "$*"
}

fail() {
  echo "test.sh: FAILED: $*" >&2
  failures+=("$*")
}

cleanup() {
  local p
  for p in $ctest_pid $tail_pid; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  ctest_pid=""
  tail_pid=""
  if [ "$wine_started" -eq 1 ]; then
    WINEPREFIX="$WINEPFX" wineserver -k >/dev/null 2>&1 || true
    wine_started=0
  fi
  for p in "${extra_prefixes[@]}"; do
    WINEPREFIX="$p" wineserver -k >/dev/null 2>&1 || true
  done
  extra_prefixes=()
  for p in "${xvfb_pids[@]}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  xvfb_pids=()
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM

# What every tree with tests shares: fixtures made once for all of them, and
# line tables only for debugging (full debug information doubles the time of
# every link, and ninety-odd Win64 programs are linked).
TEST_TREE_ARGS=(-DPV_FIXTURE_CACHE="$BUILD/fixture-cache"
                -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1)

# configure <build-dir> <cmake args...>
configure() {
  local dir=$1
  shift
  cmake -G Ninja -S "$ROOT" -B "$dir" "$@"
}

# run_ctest <label> <build-dir> <jobs> [ctest args...] -> adds to the summaries and totals
run_ctest() {
  local label=$1 dir=$2 jobs=$3 log rc line passed failed
  log="$dir/ctest.log"
  : >"$log"
  # In the background, so that a signal to this script is acted on at once
  # rather than when ctest is done.
  ctest --test-dir "$dir" --output-on-failure --no-tests=error \
    -j "$jobs" --timeout "$TIMEOUT" "${@:4}" >"$log" 2>&1 </dev/null &
  ctest_pid=$!
  tail -n +1 -s 0.2 -f --pid="$ctest_pid" "$log" &
  tail_pid=$!
  wait "$ctest_pid"
  rc=$?
  wait "$tail_pid"
  ctest_pid=""
  tail_pid=""
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$(( $(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line") - failed ))
    total_passed=$(( total_passed + passed ))
    total_failed=$(( total_failed + failed ))
    summaries+=("$label: $line")
  else
    summaries+=("$label: no test summary (ctest exit $rc)")
  fi
  [ "$rc" -eq 0 ] || fail "$label tests"
}

# Finds a display number with no X server on it, from :90 upward.
free_display() {
  local n
  for n in $(seq 90 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      echo "$n"
      return 0
    fi
  done
  return 1
}

# xvfb_display [depth [size]]: starts an X server, 16 bits and 240x320 (the
# handheld's screen) unless told otherwise, and sets `display` to its name.
xvfb_display() {
  local n pid depth=${1:-16} size=${2:-240x320}
  for _ in 1 2 3; do
    n=$(free_display) || { echo "test.sh: no free X display" >&2; return 1; }
    Xvfb ":$n" -screen 0 "${size}x$depth" -nolisten tcp >>"$WIN64/xvfb.log" 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do
      if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
        xvfb_pids+=("$pid")
        display=":$n"
        echo "Xvfb :$n (pid $pid), ${size}x$depth"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  echo "test.sh: Xvfb did not start (see $WIN64/xvfb.log)" >&2
  return 1
}

# start_xvfb [depth [size]]: the X server of desktop 0, as DISPLAY.
start_xvfb() {
  local display
  xvfb_display "$@" || return 1
  export DISPLAY=$display
}

# start_wine <prefix>: one server and one set of Wine's background processes
# for the whole run, started away from ctest's output (see
# scripts/wine-run.sh).
start_wine() {
  WINEPREFIX="$1" WINEDEBUG=-all wineserver -p </dev/null >/dev/null 2>&1
  ( cd "$DEVICE" && WINEPREFIX="$1" WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
      wine cmd.exe /c exit </dev/null >/dev/null 2>&1 ) || true
}

# start_desktops <count> [depth [size]]: desktops 1 to count-1 beside the
# current one (DISPLAY and PV_WINEPREFIX), each an X server of its own with a
# copy of the prefix, for scripts/wine-run.sh; sets desktop_spec to the
# resource file that offers them all to ctest.
start_desktops() {
  local count=$1 i display prefix ids='{"id": "0", "slots": 1}'
  shift
  for (( i = 1; i < count; i++ )); do
    prefix="$PV_WINEPREFIX-desktop$i"
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    rm -rf -- "$prefix"
    cp -a -- "$PV_WINEPREFIX" "$prefix" || return 1
    xvfb_display "$@" || return 1
    extra_prefixes+=("$prefix")
    start_wine "$prefix"
    export "PV_DESKTOP_${i}_DISPLAY=$display" "PV_DESKTOP_${i}_WINEPREFIX=$prefix"
    ids+=", {\"id\": \"$i\", \"slots\": 1}"
  done
  desktop_spec="$WIN64/desktops-$count.json"
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"desktops": [%s]}]}\n' "$ids" >"$desktop_spec"
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

start_time=$(date +%s)

section "setup"
if ! "$ROOT/scripts/setup.sh"; then
  fail "scripts/setup.sh"
  exit 1
fi

section "third-party libraries"
deps_targets=all
[ "$do_native" -eq 1 ] && [ "$do_win64" -eq 0 ] && deps_targets=native
[ "$do_native" -eq 0 ] && [ "$do_win64" -eq 1 ] && deps_targets=win64
if ! "$ROOT/scripts/build-deps.sh" "$deps_targets"; then
  fail "scripts/build-deps.sh $deps_targets"
  exit 1
fi

if [ "$do_native" -eq 1 ]; then
  section "native: configure and build ($NATIVE)"
  # The benchmarks build here too, against the same objects, so that they
  # keep building; their figures come from a Release tree (README).
  if configure "$NATIVE" -DCMAKE_BUILD_TYPE=Debug "${TEST_TREE_ARGS[@]}" -DPV_BENCH=ON \
       -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DPV_SANITIZE=ON \
       -DPV_DEPS_PREFIX="$("$ROOT/scripts/build-deps.sh" --prefix native)" &&
     cmake --build "$NATIVE" -j "$JOBS"; then
    section "native: tests"
    run_ctest native "$NATIVE" "$JOBS"
  else
    fail "native build"
  fi

  # Only what the threaded tests need, to keep the run short: the
  # concurrency test and the browser's thumbnail worker.
  section "tsan: configure, build and run the threaded tests ($TSAN)"
  if configure "$TSAN" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DPV_TSAN=ON \
       -DPV_FIXTURE_CACHE="$BUILD/fixture-cache" \
       -DPV_DEPS_PREFIX="$("$ROOT/scripts/build-deps.sh" --prefix native)" &&
     cmake --build "$TSAN" -j "$JOBS" --target concurrency_test browser_test; then
    run_ctest tsan "$TSAN" 1 -R '^(concurrency_test|browser_test)$'
  else
    fail "tsan build"
  fi

  if [ -n "${PV_FUZZ_SECONDS:-}" ]; then
    section "fuzz: configure and build ($FUZZ)"
    if configure "$FUZZ" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPV_FUZZ=ON -DPV_TESTS=OFF \
         -DPV_DEPS_PREFIX="$("$ROOT/scripts/build-deps.sh" --prefix native)" &&
       cmake --build "$FUZZ" -j "$JOBS"; then
      section "fuzz: running each target for $PV_FUZZ_SECONDS s"
      mapfile -t fuzzers < <(find "$FUZZ/fuzz" -type f -perm -u+x -not -path '*/CMakeFiles/*' 2>/dev/null | sort)
      [ "${#fuzzers[@]}" -gt 0 ] || fail "no fuzz targets found in $FUZZ/fuzz"
      for f in "${fuzzers[@]}"; do
        name=$(basename -- "$f")
        corpus="$FUZZ/corpus/$name"
        mkdir -p "$corpus"
        seeds=()
        [ -d "$ROOT/fuzz/corpus/$name" ] && seeds=("$ROOT/fuzz/corpus/$name")
        echo "--- $name"
        if "$f" -max_total_time="$PV_FUZZ_SECONDS" -print_final_stats=1 \
             -artifact_prefix="$FUZZ/crash-$name-" "$corpus" "${seeds[@]}" \
             >"$FUZZ/$name.log" 2>&1; then
          grep -E '^(Done|stat::number_of_executed_units)' "$FUZZ/$name.log" || true
        else
          tail -n 60 "$FUZZ/$name.log"
          fail "fuzz target $name"
        fi
      done
    else
      fail "fuzz build"
    fi
  fi
fi

if [ "$do_win64" -eq 1 ]; then
  section "win64: configure and build ($WIN64)"
  if configure "$WIN64" -DCMAKE_BUILD_TYPE=Debug "${TEST_TREE_ARGS[@]}" \
       -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw64.cmake" \
       -DPV_DEPS_PREFIX="$("$ROOT/scripts/build-deps.sh" --prefix win64)" &&
     cmake --build "$WIN64" -j "$JOBS"; then
    section "win64: Wine prefix, device root and X server"
    wine_ok=1
    reuse=--reuse
    [ "${PV_FRESH_WINE:-0}" = 1 ] && reuse=
    rm -rf -- "$DEVICE"
    # Any server left on this prefix by an interrupted run goes first.
    WINEPREFIX="$WINEPFX" wineserver -k >/dev/null 2>&1 || true
    if ! "$ROOT/scripts/wine-prefix.sh" $reuse "$WINEPFX" "$DEVICE"; then
      fail "Wine prefix"
      wine_ok=0
    fi
    if [ "$wine_ok" -eq 1 ] && ! start_xvfb; then
      fail "Xvfb"
      wine_ok=0
    fi
    if [ "$wine_ok" -eq 1 ]; then
      export PV_BUILD_WIN64="$WIN64" PV_WINEPREFIX="$WINEPFX" PV_DEVICE_ROOT="$DEVICE"
      wine_started=1
      # The other desktops copy the prefix before any program runs on it.
      desktop_spec="$WIN64/desktops.json"
      if [ "${PV_DESKTOPS:-2}" -gt 1 ] && ! start_desktops "${PV_DESKTOPS:-2}"; then
        fail "desktops beside the first"
        desktop_spec="$WIN64/desktops.json"
      fi
      start_wine "$WINEPFX"
      section "win64: tests under Wine"
      run_ctest win64 "$WIN64" "$WIN64_JOBS" -LE 'screen24|dpi192' --resource-spec-file "$desktop_spec"
      if ctest --test-dir "$WIN64" -N -L screen24 2>/dev/null | grep -q 'Total Tests: [1-9]'; then
        section "win64: tests on a 24-bit screen"
        # Wine and X go, and X comes back with 24 bits; scripts/wine-run.sh
        # starts the Wine server again, and cleanup ends it.
        cleanup
        if start_xvfb 24; then
          wine_started=1
          run_ctest win64-screen24 "$WIN64" "$WIN64_JOBS" -L screen24
        else
          fail "Xvfb at 24 bits"
        fi
      fi
      if ctest --test-dir "$WIN64" -N -L dpi192 2>/dev/null | grep -q 'Total Tests: [1-9]'; then
        section "win64: tests on a 192-dpi screen of 480x640"
        # A prefix of its own (Wine reads the pixels per inch at start-up)
        # on the same device root, and an X server of the VGA size.
        cleanup
        WINEPFX="$WIN64/wineprefix-dpi192"
        export PV_WINEPREFIX="$WINEPFX"
        WINEPREFIX="$WINEPFX" wineserver -k >/dev/null 2>&1 || true
        if "$ROOT/scripts/wine-prefix.sh" $reuse --dpi 192 "$WINEPFX" "$DEVICE" && start_xvfb 16 480x640; then
          wine_started=1
          run_ctest win64-dpi192 "$WIN64" 1 -L dpi192
        else
          fail "Wine prefix or Xvfb at 192 dpi"
        fi
      fi
    fi
    cleanup
  else
    fail "win64 build"
  fi
fi

section "summary"
for s in "${summaries[@]}"; do
  echo "$s"
done
echo "elapsed: $(( $(date +%s) - start_time )) s"
if [ "${#failures[@]}" -gt 0 ]; then
  printf 'failed step: %s\n' "${failures[@]}"
fi
if [ "${#summaries[@]}" -gt 0 ]; then
  echo "tests: $total_passed passed, $total_failed failed"
fi
[ "${#failures[@]}" -eq 0 ]
