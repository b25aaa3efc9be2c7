#!/usr/bin/env bash
# Installs puppeteer-core (the browser driver only: it never downloads a
# browser; the tests use Debian's chromium) into the folder given, once.
set -euo pipefail
DEST=$1
VERSION=24.43.1
if [ -f "$DEST/node_modules/puppeteer-core/package.json" ]; then exit 0; fi
command -v npm >/dev/null 2>&1 || { echo "npm absent" >&2; exit 77; }
mkdir -p "$DEST"
npm install --prefix "$DEST" --no-audit --no-fund --ignore-scripts --loglevel=error "puppeteer-core@$VERSION"
