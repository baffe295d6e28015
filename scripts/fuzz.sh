#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each of them for
# the given number of seconds (default 45), seeded with fuzz/corpus/<target>.
# Fails when any target finds a crash, a sanitizer report or a broken
# invariant; the input that did it is kept under <build>/fuzz-findings/.
#
#   scripts/fuzz.sh          # 45 seconds each, as in CI
#   scripts/fuzz.sh 1800     # the long run: half an hour each
#
# The inputs the run discovers go to a scratch folder, so the corpus kept in
# the repository stays small; copy interesting ones over by hand.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="${TOLMERA_FUZZ_BUILD_DIR:-$here/build-fuzz}"
seconds="${1:-45}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [seconds-per-target]" >&2
    exit 2
fi

targets=(fuzz_readrun fuzz_flightrecord fuzz_info fuzz_pilotname fuzz_simcommands fuzz_cellvalue fuzz_logbookfiles)

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DTOLMERA_FUZZ=ON -DTOLMERA_BUILD_TESTS=OFF \
    -DTOLMERA_WERROR="${TOLMERA_WERROR:-OFF}" >/dev/null
cmake --build "$build" --target fuzz_targets -j"$(nproc)"

findings="$build/fuzz-findings"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolmera-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$findings"

# Leaks are findings too; a single slow input (a hang) counts after 10 s.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

run_target() {
    local t=$1
    mkdir -p "$scratch/$t" "$findings/$t"
    "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$t/" "$scratch/$t" "$here/fuzz/corpus/$t" >"$scratch/$t.log" 2>&1
}

# Two targets at a time: one per core of a small machine.
jobs=$(( $(nproc) < 2 ? 1 : 2 ))
declare -A pids=()
failed=()
finish() {
    local t=$1
    if wait "${pids[$t]}"; then
        local runs
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$scratch/$t.log" | grep -o '[0-9]*$' || echo "?")
        echo "fuzz: $t clean ($runs inputs in ${seconds}s)"
    else
        failed+=("$t")
        echo "fuzz: $t FOUND A PROBLEM; its log ends:" >&2
        tail -n 40 "$scratch/$t.log" >&2
        echo "fuzz: the input is kept in $findings/$t/" >&2
    fi
    unset "pids[$t]"
}

queue=("${targets[@]}")
running=()
while [ ${#queue[@]} -gt 0 ] || [ ${#running[@]} -gt 0 ]; do
    while [ ${#queue[@]} -gt 0 ] && [ ${#running[@]} -lt "$jobs" ]; do
        t=${queue[0]}
        queue=("${queue[@]:1}")
        echo "fuzz: $t for ${seconds}s"
        run_target "$t" &
        pids[$t]=$!
        running+=("$t")
    done
    # Wait for the oldest one: all run equally long.
    finish "${running[0]}"
    running=("${running[@]:1}")
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: problems found by ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: all ${#targets[@]} targets clean"
