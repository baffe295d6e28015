#!/usr/bin/env bash
# Takes the README's screenshot, docs/screenshot.png: the program on a virtual
# screen against the simulated instrument, after "Show flight log" for flight 1.
#
#   scripts/screenshot.sh [OUTPUT.png]
#
# Needs Xvfb, xdotool and ImageMagick's import (apt-get install xvfb xdotool
# imagemagick). Uses a device map of its own, like scripts/run-demo.sh.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="${TOLMERA_BUILD_DIR:-$here/build}"
out="${1:-$here/docs/screenshot.png}"

for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || {
        echo "screenshot: $tool is missing (apt-get install xvfb xdotool imagemagick)" >&2
        exit 1
    }
done

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tolmera-reader tolmera-sim -j2 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/tolmera-shot.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# A virtual screen on the first free display number, which Xvfb reports itself.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "screenshot: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

map="$work/config/tolmera-reader/dosdevices"
mkdir -p "$map"
# Reports would go to the pilot's folder; nothing is written here, the link
# only gives the "C:\\" label a plain path to show.
ln -s /home/pilot/Flightlogs "$map/c:"
"$build/sim/tolmera-sim" --link "$map/com1" --transcript "$work/transcript.log" </dev/null >"$work/sim.out" &
pids+=($!)
for _ in $(seq 50); do [ -L "$map/com1" ] && break; sleep 0.1; done

XDG_CONFIG_HOME="$work/config" "$build/ui/tolmera-reader" >"$work/reader.log" 2>&1 &
pids+=($!)
window=""
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^TOLMERA reader$' 2>/dev/null | head -n1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { cat "$work/reader.log" >&2; echo "screenshot: the window did not appear" >&2; exit 1; }
sleep 1

# An exchange is over when the instrument has been quiet for a second.
wait_until_quiet() {
    local last=-1 size
    for _ in $(seq 40); do
        sleep 0.5
        size=$(stat -c %s "$work/transcript.log")
        [ "$size" -eq "$last" ] && [ "$size" -gt 0 ] && return 0
        last=$size
    done
}

# The window's client area is 618 x 502 below the menu bar. "Show flight log"
# (the flight box beside it holds 1 at start) and "Get Orvin information" are
# in the left column.
eval "$(xdotool getwindowgeometry --shell "$window")"
menu_height=$((HEIGHT - 502))
xdotool mousemove --window "$window" 100 $((menu_height + 0 + 40 + 11)) click 1
wait_until_quiet
xdotool mousemove --window "$window" 100 $((menu_height + 296 + 71 + 11)) click 1
wait_until_quiet
xdotool mousemove 0 0
sleep 0.5

mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "screenshot: $out (${WIDTH}x${HEIGHT})"
