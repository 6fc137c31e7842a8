#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
# Idempotent; run as root (or with sudo available).
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  g++-multilib
  clang-14 libclang-rt-14-dev
  xvfb x11-apps imagemagick xdotool
  fonts-noto-core fonts-noto-cjk
  python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
