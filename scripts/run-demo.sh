#!/usr/bin/env bash
# Builds the program and starts it against the simulated instrument.
#
# The simulated instrument serves the sample logbook on a pseudo-terminal.
# COM1 and drive "c:\" are pointed at it and at a demo folder through a
# device map of its own, in a temporary XDG_CONFIG_HOME, so the user's own
# device map is never touched; likewise the flights it reads go to a logbook
# in a temporary XDG_DATA_HOME, never to the user's own. Reports land in the
# folder printed below.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="${TOLMERA_BUILD_DIR:-$here/build}"

"$here/scripts/install-deps.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run-demo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Run it from a desktop session, or under a virtual screen:  xvfb-run -a $0" >&2
    exit 1
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tolmera-reader tolmera-sim -j"$(nproc)"

demo=$(mktemp -d "${TMPDIR:-/tmp}/tolmera-demo.XXXXXX")
map="$demo/config/tolmera-reader/dosdevices"
mkdir -p "$map" "$demo/Flightlogs" "$demo/data"
ln -s "$demo/Flightlogs" "$map/c:"

"$build/sim/tolmera-sim" --link "$map/com1" --transcript "$demo/transcript.log" </dev/null >"$demo/sim.out" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$map/com1" ] && break; sleep 0.1; done

echo "Simulated instrument on $(head -n1 "$demo/sim.out"); reports go to $demo/Flightlogs"
XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data" "$build/ui/tolmera-reader"
