#!/usr/bin/env bash
# Builds the Debian package in build-deb/ (the program and its tool only, no
# tests): build-deb/vireluz_<version>-1_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${VIRELUZ_DEB_BUILD_DIR:-build-deb}
VIRELUZ_BUILD_DIR=$BUILD_DIR VIRELUZ_TARGETS="vireluz vireluz-tic" \
  bash scripts/build.sh -DVIRELUZ_BUILD_TESTS=OFF -DVIRELUZ_BUILD_BENCH=OFF
cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$BUILD_DIR"
ls -l "$BUILD_DIR"/*.deb
