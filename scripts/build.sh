#!/usr/bin/env bash
# Configures and builds VIRELUZ in build/ (or $VIRELUZ_BUILD_DIR): every
# target, or only those of $VIRELUZ_TARGETS (blank-separated). Extra arguments
# go to the configuration (cmake -D...).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VIRELUZ_BUILD_DIR:-build}
JOBS=${VIRELUZ_JOBS:-$(nproc)}
LAUNCHER=()
# ccache, when present, makes rebuilds in several work trees cheap; paths
# relative to the repository let a clone elsewhere (the fresh-clone test) reuse
# the same objects.
if command -v ccache >/dev/null 2>&1; then
  LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${VIRELUZ_BUILD_TYPE:-RelWithDebInfo} "${LAUNCHER[@]}" "$@" >/dev/null
TARGETS=()
for t in ${VIRELUZ_TARGETS:-}; do TARGETS+=(--target "$t"); done
cmake --build "$BUILD_DIR" -j "$JOBS" "${TARGETS[@]}"
