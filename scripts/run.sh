#!/usr/bin/env bash
# Installs what is missing, builds, and starts VIRELUZ. Without an interface
# attached it runs on the simulated interface (two virtual meters).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec "${VIRELUZ_BUILD_DIR:-build}/vireluz" --auto "$@"
