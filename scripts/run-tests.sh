#!/usr/bin/env bash
# Builds the program and runs every test: unit tests of the core, the
# simulated instrument, and the windows driven offscreen against the
# simulated instrument over a pseudo-terminal. Then the same tests once more
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer, and a short
# run of the fuzz targets (scripts/fuzz.sh) with clang's libFuzzer; the
# install check (scripts/check-install.sh) runs after the first build.
#
#   scripts/run-tests.sh        # what a developer runs
#   scripts/run-tests.sh --ci   # continuous integration: also installs clang
#
# Build folders: $TOLMERA_BUILD_DIR (default build/), with -asan and -fuzz
# beside it. TOLMERA_FUZZ_SECONDS sets the fuzz time per target (default 45).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="${TOLMERA_BUILD_DIR:-$here/build}"
asan_build="$build-asan"
fuzz_build="$build-fuzz"
fuzz_seconds="${TOLMERA_FUZZ_SECONDS:-45}"
ci=false
for arg in "$@"; do
    [ "$arg" = "--ci" ] && ci=true
done
# In CI a compiler warning fails the build.
werror=OFF
$ci && werror=ON

"$here/scripts/install-deps.sh" "$@"

timings=()
phase_start=0
begin() {
    echo
    echo "=== $1"
    phase_start=$SECONDS
}
done_phase() {
    timings+=("$(printf '%-34s %4d s' "$1" $((SECONDS - phase_start)))")
}
summary() {
    echo
    echo "=== times"
    printf '%s\n' "${timings[@]}"
}
trap summary EXIT

begin "format check"
"$here/scripts/check-format.sh"
done_phase "format check"

begin "build and test"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_WERROR=$werror >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2
done_phase "build and test"

begin "install check"
if ! command -v desktop-file-validate >/dev/null && ! $ci; then
    echo "install check: skipped, desktop-file-utils is not installed (scripts/install-deps.sh --ci installs it)"
else
    "$here/scripts/check-install.sh" "$build"
fi
done_phase "install check"

begin "dependency check"
if ! command -v strace >/dev/null && ! $ci; then
    echo "dependency check: skipped, strace is not installed (scripts/install-deps.sh --ci installs it)"
else
    "$here/scripts/check-deps.py" "$build"
fi
done_phase "dependency check"

begin "build and test with sanitizers"
cmake -S "$here" -B "$asan_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_SANITIZE=ON \
    -DTOLMERA_WERROR=$werror >/dev/null
cmake --build "$asan_build" -j"$(nproc)"
# Every report goes to a file, also those of processes the tests start (the
# simulated instrument), whose output no test looks at; any file is a failure.
reports="$asan_build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
ASAN_OPTIONS="detect_leaks=1:log_path=$reports/asan" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan" \
    ctest --test-dir "$asan_build" --output-on-failure -j2
if [ -n "$(ls -A "$reports")" ]; then
    echo "Sanitizer reports:" >&2
    for f in "$reports"/*; do
        echo "--- $f" >&2
        cat "$f" >&2
    done
    exit 1
fi
done_phase "build and test with sanitizers"

begin "fuzz (${fuzz_seconds} s per target)"
if ! command -v clang++ >/dev/null && ! $ci; then
    echo "fuzz: skipped, clang++ is not installed (scripts/install-deps.sh --ci installs it)"
else
    TOLMERA_FUZZ_BUILD_DIR="$fuzz_build" TOLMERA_WERROR=$werror "$here/scripts/fuzz.sh" "$fuzz_seconds"
fi
done_phase "fuzz (${fuzz_seconds} s per target)"
