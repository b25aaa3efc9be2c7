#!/usr/bin/env bash
# Builds the Debian package in build-deb/ (the program and its tool only, no
# tests), with Debian's build flags (dpkg-buildflags, hardening=+all: stack
# protector, fortified functions, RELRO, BIND_NOW, PIE):
# build-deb/vireluz_<version>-1_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${VIRELUZ_DEB_BUILD_DIR:-build-deb}
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
VIRELUZ_BUILD_DIR=$BUILD_DIR VIRELUZ_TARGETS="vireluz vireluz-tic" \
  bash scripts/build.sh -DVIRELUZ_BUILD_TESTS=OFF -DVIRELUZ_BUILD_BENCH=OFF \
  "-DCMAKE_C_FLAGS=$CPPFLAGS $CFLAGS" "-DCMAKE_CXX_FLAGS=$CPPFLAGS $CXXFLAGS" \
  "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS" "-DCMAKE_SHARED_LINKER_FLAGS=$LDFLAGS"
cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$BUILD_DIR"
ls -l "$BUILD_DIR"/*.deb
