#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need,
# when any of them is missing. Needs root (or sudo) only when it installs.
#
#   scripts/install-deps.sh            # what building and testing need
#   scripts/install-deps.sh --ci       # also the tools of the sanitizer, fuzz,
#                                      # install and dependency checks
#   scripts/install-deps.sh --list     # prints the list, installs nothing
#
# The list names every package whose files the build and the tests read, or
# one that depends on it: apt installs without the recommended packages, so a
# package that is only recommended by one on the list is missing on a fresh
# system. scripts/check-deps.py checks this after a build.
set -euo pipefail

ci=false
list=false
for arg in "$@"; do
    case "$arg" in
    --ci) ci=true ;;
    --list) list=true ;;
    esac
done

# poppler-utils gives pdftotext, with which the print test reads its PDF back.
# fonts-dejavu-core is fontconfig's default sans-serif, in which the test
# windows that keep Qt's default font are drawn; fontconfig itself makes do
# with fonts-liberation2, so apt would not install it.
packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-charts-dev libqt6sql6-sqlite zlib1g-dev
    libxlsxwriter-dev fonts-liberation2 fonts-crosextra-carlito fonts-dejavu-core
    python3 python3-openpyxl xvfb xauth imagemagick poppler-utils
)
if $ci; then
    packages+=(clang libclang-rt-14-dev desktop-file-utils appstream dpkg-dev file strace)
fi
if $list; then
    printf '%s\n' "${packages[@]}"
    exit 0
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
