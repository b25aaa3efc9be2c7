#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# (-DVIRELUZ_SANITIZE=ON, gcc, build folder build-asan) and runs ctest.
# Fails on a build error, a failing test, or any sanitizer report (memory
# error, leak, undefined behaviour), including reports of programs that the
# script tests start.
#
#   scripts/sanitize.sh [--no-app] [-R REGEX]
#     --no-app  without the Qt program (-DVIRELUZ_BUILD_APP=OFF); the test
#               programs that need it are not built
#     -R REGEX  run only the tests whose name matches
#
# Environment: VIRELUZ_JOBS (default 2), VIRELUZ_ASAN_BUILD_DIR (default build-asan).
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${VIRELUZ_ASAN_BUILD_DIR:-$ROOT/build-asan}
JOBS=${VIRELUZ_JOBS:-2}
APP=ON
CTEST_ARGS=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-app) APP=OFF ;;
    -R) CTEST_ARGS+=(-R "$2"); shift ;;
    *) echo "sanitize.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
  shift
done

# The same options for the test discovery that runs during the build.
# A small quarantine: the long-run test measures memory growth, which the
# default 256 MB quarantine would fill over the run.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:quarantine_size_mb=16:verify_asan_link_order=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
# Tests check time and memory limits only in the ordinary build.
export VIRELUZ_SANITIZED=1

t0=$(date +%s)
echo "== configuring $BUILD (app $APP)"
mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIRELUZ_SANITIZE=ON \
  -DVIRELUZ_BUILD_APP=$APP -DVIRELUZ_BUILD_TESTS=ON -DVIRELUZ_BUILD_BENCH=OFF >"$BUILD/configure.log" 2>&1 ||
  { cat "$BUILD/configure.log"; echo "sanitize.sh: configure failed" >&2; exit 2; }

# The targets: every test program (the fuzz targets' seed replays included)
# and the command-line tool the script tests run. Without the app, the test
# programs whose tests.cmake links it are left out.
mapfile -t all_tests < <(cmake --build "$BUILD" --target help | grep -oE '(test|fuzz)_[A-Za-z0-9_]*' |
  grep -E '^test_|_replay$' | grep -v '_autogen$' | sort -u)
skipped=()
if [ "$APP" = OFF ]; then
  while IFS= read -r f; do
    rel=${f#tests/}
    rel=${rel%/tests.cmake}
    skipped+=("test_${rel//\//_}")
  done < <(grep -l 'vireluz_app' $(find tests -name tests.cmake) 2>/dev/null)
fi
targets=(vireluz-tic)
# The end-to-end tests run the program itself.
[ "$APP" = ON ] && targets+=(vireluz)
for t in "${all_tests[@]}"; do
  [[ " ${skipped[*]} " == *" $t "* ]] || targets+=("$t")
done
[ ${#skipped[@]} -gt 0 ] && echo "   not built without the app: ${skipped[*]}"

echo "== building ${#targets[@]} targets with -j$JOBS (log: $BUILD/build.log)"
if ! cmake --build "$BUILD" -j"$JOBS" --target "${targets[@]}" >"$BUILD/build.log" 2>&1; then
  grep -E 'error|Error|ERROR' "$BUILD/build.log" | head -40
  echo "sanitize.sh: build failed (see $BUILD/build.log)" >&2
  exit 1
fi
t1=$(date +%s)

echo "== running the tests"
exclude=()
if [ "$APP" = OFF ]; then
  # Without the program: neither the end-to-end tests nor the programs left out.
  re='^e2e_'
  [ ${#skipped[@]} -gt 0 ] && re+=$(printf '|^%s_NOT_BUILT$' "${skipped[@]}")
  exclude=(-E "$re")
fi
ctest_log=$BUILD/sanitize-ctest.log
(cd "$BUILD" && ctest --output-on-failure -j"$JOBS" --timeout 900 "${exclude[@]}" "${CTEST_ARGS[@]}") \
  >"$ctest_log" 2>&1
rc=$?
t2=$(date +%s)
tail -40 "$ctest_log"

# Reports of programs whose exit status a test does not check (a tool in a
# pipe, a child process) still fail the run.
reports=$(grep -hE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer' \
  "$ctest_log" "$BUILD/Testing/Temporary/LastTest.log" 2>/dev/null | sort -u)
echo "== sanitizer run: build $((t1 - t0)) s, tests $((t2 - t1)) s, total $((t2 - t0)) s"
if [ -n "$reports" ]; then
  echo "== sanitizer reports:"
  echo "$reports" | head -30
  echo "sanitize.sh: sanitizer reports found (full output: $ctest_log and $BUILD/Testing/Temporary/LastTest.log)" >&2
  exit 1
fi
if [ $rc -ne 0 ]; then
  echo "sanitize.sh: tests failed (see $ctest_log)" >&2
  exit 1
fi
echo "sanitize.sh: no failure, no sanitizer report"
