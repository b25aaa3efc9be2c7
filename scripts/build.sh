#!/usr/bin/env bash
# Configures and builds VIRELUZ in build/ (or $VIRELUZ_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VIRELUZ_BUILD_DIR:-build}
JOBS=${VIRELUZ_JOBS:-$(nproc)}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${VIRELUZ_BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS"
