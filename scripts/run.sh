#!/usr/bin/env bash
# Installs what is missing, builds only the program and its tool (in a build
# folder of their own, build-run/, without tests or benchmarks), and starts
# VIRELUZ. Without an interface attached it runs the demonstration on the
# simulated interface (two virtual meters, reading and graphs started).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${VIRELUZ_RUN_BUILD_DIR:-build-run}
VIRELUZ_BUILD_DIR=$BUILD_DIR VIRELUZ_TARGETS="vireluz vireluz-tic" \
  bash scripts/build.sh -DVIRELUZ_BUILD_TESTS=OFF -DVIRELUZ_BUILD_BENCH=OFF
exec "$BUILD_DIR/vireluz" --auto "$@"
