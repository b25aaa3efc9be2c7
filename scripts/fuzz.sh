#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# in build-fuzz and runs each one for a bounded time on a fresh copy of its seed
# corpus (fuzz/corpus/<target> -> fuzz/corpus-run/<target>), one after the
# other, each in one process at the lowest priority (nice 19).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]    SECONDS per target, default 60
#
# Targets: fuzz_decoder_fast (framer and decoder only, for millions of
# inputs), fuzz_decoder (the same with the file lines, string changes, skip
# counts and alert hook), fuzz_ini (INI load, save, load), fuzz_tables (alert
# and Cosm tables in use).
#
# With VIRELUZ_FUZZ_KEEP_CORPUS=1 the corpus of the previous run is kept and
# the seeds are added to it, so that runs add up (a long campaign in parts);
# the executions of the kept runs are added up in fuzz/corpus-run/<target>.executions.
# With VIRELUZ_FUZZ_RUNS=N a target also stops after N executions.
#
# Fails when any target finds a crash, a leak, an undefined-behaviour report,
# a timeout or an out-of-memory; the input that caused it is left in
# fuzz/corpus-run/<target>-artifacts/. Prints, for each target, the executions
# run, libFuzzer's executions per second, the coverage and what was found.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

SECONDS_PER_TARGET=${1:-60}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=(fuzz_decoder_fast fuzz_decoder fuzz_ini fuzz_tables)
BUILD=${VIRELUZ_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
JOBS=${VIRELUZ_JOBS:-2}

if ! [[ $SECONDS_PER_TARGET =~ ^[0-9]+$ ]] || [ "$SECONDS_PER_TARGET" -lt 1 ]; then
  echo "fuzz.sh: SECONDS must be a positive number (got '$SECONDS_PER_TARGET')" >&2
  exit 2
fi
RUNS=${VIRELUZ_FUZZ_RUNS:--1}
if ! [[ $RUNS =~ ^(-1|[0-9]+)$ ]]; then
  echo "fuzz.sh: VIRELUZ_FUZZ_RUNS must be a number of executions (got '$RUNS')" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is missing (install clang-14)" >&2
  exit 2
fi

echo "== configuring and building in $BUILD"
mkdir -p "$BUILD"
# Runs of different targets may go on in parallel: one builds at a time.
exec 9>"$BUILD/build.lock"
flock 9
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" "${LAUNCHER[@]}" -DVIRELUZ_FUZZ=ON -DVIRELUZ_BUILD_APP=OFF \
  -DVIRELUZ_BUILD_TESTS=OFF -DVIRELUZ_BUILD_BENCH=OFF >"$BUILD/configure.log" 2>&1 ||
  { cat "$BUILD/configure.log"; echo "fuzz.sh: configure failed" >&2; exit 2; }
cmake --build "$BUILD" -j"$JOBS" --target "${TARGETS[@]}" >"$BUILD/build.log" 2>&1 ||
  { tail -50 "$BUILD/build.log"; echo "fuzz.sh: build failed" >&2; exit 2; }
flock -u 9

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LC_ALL=C.UTF-8
# fuzz_ini and fuzz_tables rewrite their INI files at every input, and the
# writers fsync: on a memory file system that costs nothing.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

# fuzz_ini reaches files above 8 KiB (one of its seeds is a 10 KiB file); the
# fast decoder target stays near the framer's 2 KiB buffer.
declare -A MAX_LEN=([fuzz_decoder]=8192 [fuzz_decoder_fast]=2048 [fuzz_ini]=24576 [fuzz_tables]=4096)
declare -A DICT=([fuzz_decoder_fast]=fuzz_decoder)
RUN_DIR=$ROOT/fuzz/corpus-run
mkdir -p "$RUN_DIR"
status=0
summary=()
for t in "${TARGETS[@]}"; do
  corpus=$RUN_DIR/$t
  artifacts=$RUN_DIR/$t-artifacts/
  [ "${VIRELUZ_FUZZ_KEEP_CORPUS:-0}" = 1 ] || rm -rf "$corpus" "$RUN_DIR/$t.executions"
  rm -rf "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  [ -d "$ROOT/fuzz/corpus/$t" ] && cp -r "$ROOT/fuzz/corpus/$t/." "$corpus/"
  dict=()
  d=${DICT[$t]:-$t}
  [ -f "$ROOT/fuzz/$d.dict" ] && dict=(-dict="$ROOT/fuzz/$d.dict")
  log=$RUN_DIR/$t.log
  echo "== $t: ${SECONDS_PER_TARGET}s on $(ls "$corpus" | wc -l) inputs (log: $log)"
  # One process per corpus: -reload=0 spares the look for inputs that other
  # processes add, a scan of the whole folder every second.
  nice -n 19 "$BUILD/$t" "$corpus" -max_total_time="$SECONDS_PER_TARGET" -runs="$RUNS" -reload=0 \
    -print_final_stats=1 -max_len="${MAX_LEN[$t]:-4096}" -timeout=25 -rss_limit_mb=2048 -error_exitcode=77 \
    -timeout_exitcode=78 -artifact_prefix="$artifacts" "${dict[@]}" >"$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  total=""
  if [ "${VIRELUZ_FUZZ_KEEP_CORPUS:-0}" = 1 ] && [ -n "$execs" ]; then
    sum=$(($(cat "$RUN_DIR/$t.executions" 2>/dev/null || echo 0) + execs))
    echo "$sum" >"$RUN_DIR/$t.executions"
    total=", $sum with the earlier kept runs"
  fi
  found=$(grep -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: |ALARM: |out-of-memory|deadly signal|fuzz_[a-z_]*: |uncaught exception|terminate called' "$log" |
    sort -u | head -8)
  inputs=$(ls "$artifacts" 2>/dev/null | sed "s|^|$artifacts|")
  if [ $rc -ne 0 ] || [ -n "$inputs" ]; then
    status=1
    summary+=("$t: FAILED (exit $rc) after ${execs:-?} executions, coverage ${cov:-?}")
    echo "---- $t found:"
    echo "${found:-(no sanitizer line; see the log)}"
    grep -A25 -E 'ERROR: |runtime error:' "$log" | head -40
    [ -n "$inputs" ] && echo "reproducer(s): $inputs" &&
      echo "replay: $BUILD/$t <reproducer>"
  else
    summary+=("$t: ok, ${execs:-?} executions (${speed:-?}/s$total), coverage ${cov:-?}, nothing found")
  fi
done

echo "== fuzzing summary (${SECONDS_PER_TARGET}s per target)"
printf '%s\n' "${summary[@]}"
exit $status
