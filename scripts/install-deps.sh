#!/usr/bin/env bash
# Installs the Debian packages Lumetra needs to build, run and test. Idempotent: when
# everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libqcustomplot-dev libgl-dev
  fonts-liberation fonts-dseg
  xvfb xauth poppler-utils clang-format
  desktop-file-utils appstream
  libmosquitto-dev mosquitto mosquitto-clients
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
