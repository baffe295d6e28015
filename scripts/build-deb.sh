#!/usr/bin/env bash
# Builds the Debian package of the reader:
#
#   scripts/build-deb.sh          ->  build-deb/tolmera-reader_0.9.3_amd64.deb
#
# A release build of the program alone (no tests) in build-deb/, packed by
# CPack. The package's library dependencies come from dpkg-shlibdeps (package
# dpkg-dev), which CPack runs on the binary, and CPack needs `file` to find it.
# Install the package with:  sudo apt install ./build-deb/tolmera-reader_0.9.3_amd64.deb
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-deb"

"$here/scripts/install-deps.sh"
for tool in dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null || {
        echo "build-deb: $tool is missing; install it with:  sudo apt-get install dpkg-dev file" >&2
        echo "(or run scripts/install-deps.sh --ci, which installs both)" >&2
        exit 1
    }
done

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLMERA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tolmera-reader_*.deb
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/tolmera-reader_*.deb)
echo
dpkg-deb --field "$deb"
echo "Package: $deb"
