#!/usr/bin/env bash
# Configures and builds VIRELUZ in build/ (or $VIRELUZ_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VIRELUZ_BUILD_DIR:-build}
JOBS=${VIRELUZ_JOBS:-$(nproc)}
LAUNCHER=()
# ccache, when present, makes rebuilds in several work trees cheap.
if command -v ccache >/dev/null 2>&1; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${VIRELUZ_BUILD_TYPE:-RelWithDebInfo} "${LAUNCHER[@]}" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS"
