#!/usr/bin/env bash
# Builds the program and runs every test: unit tests of the core, the
# simulated instrument, and the windows driven offscreen against the
# simulated instrument over a pseudo-terminal.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="${TOLMERA_BUILD_DIR:-$here/build}"

"$here/scripts/install-deps.sh" "$@"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2
