#!/usr/bin/env bash
# Builds the Debian package of the reader:
#
#   scripts/build-deb.sh          ->  build-deb/tolmera-reader_0.9.3_amd64.deb
#
# A release build of the program alone (no tests) in build-deb/, compiled with
# Debian's hardening flags (dpkg-buildflags: fortify, stack protector, relro,
# bindnow) and packed by CPack, which strips the binary. The package's library
# dependencies come from dpkg-shlibdeps (package dpkg-dev), which CPack runs on
# the binary, and CPack needs `file` to find it. When lintian is installed, the
# package is checked with it and any error or warning fails the build.
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

# CMake takes no CPPFLAGS, so the preprocessor flags (_FORTIFY_SOURCE) join the
# compiler flags, as Debian's own CMake builds do. They are given on the command
# line so that a build folder configured earlier cannot keep older flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLMERA_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tolmera-reader_*.deb
(cd "$build" && cpack -G DEB)

deb=$(ls "$build"/tolmera-reader_*.deb)
echo
dpkg-deb --field "$deb"
echo "Package: $deb"

if command -v lintian >/dev/null; then
    echo
    # Errors and warnings fail the build; informational tags are shown too.
    if lintian --fail-on error,warning -I "$deb"; then
        echo "lintian: no errors, no warnings"
    else
        echo "build-deb: lintian found errors or warnings in $deb" >&2
        exit 1
    fi
else
    echo "lintian is not installed: the package was not checked (sudo apt-get install lintian)"
fi
