#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test VIRELUZ.
# Quick no-op when everything is already installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libxkbcommon-dev libgl-dev
  libcurl4-openssl-dev libssl-dev libftdi1-dev libsimpleini-dev nlohmann-json3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libmosquitto-dev mosquitto mosquitto-clients python3-paho-mqtt python3-jinja2
  qt6-httpserver-dev qt6-websockets-dev chromium nodejs python3-websockets
  python3 python3-aiosmtpd socat faketime xvfb xauth time openssl
  fonts-dejavu-core
  dpkg-dev file lintian devscripts
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# npm comes with some builds of nodejs and as its own package with Debian's.
if ! command -v npm >/dev/null 2>&1; then missing+=(npm); fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
