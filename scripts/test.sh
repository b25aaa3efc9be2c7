#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
cd "${VIRELUZ_BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)" --timeout 600
