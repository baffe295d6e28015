#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# when any of them is missing. Needs root (or sudo) only when it installs.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-charts-dev libqt6sql6-sqlite zlib1g-dev
    libxlsxwriter-dev fonts-liberation2 fonts-crosextra-carlito
    python3 python3-openpyxl xvfb xauth imagemagick
)
if [ "${1:-}" = "--ci" ]; then
    packages+=(clang libclang-rt-14-dev desktop-file-utils appstream dpkg-dev file)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
