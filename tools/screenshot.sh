#!/bin/bash
# Screenshot of the running main window for the README: the simulated
# instrument on a virtual clock, a few virtual minutes in so that both charts
# hold data, on a virtual screen (Xvfb, 1366x768 unless told), with openbox as
# the window manager when it is installed. Not part of the test suite.
#
#   tools/screenshot.sh [OUTPUT.png] [REAL_SECONDS] [WIDTHxHEIGHT] [full]
#
# With "full", the run goes at full speed from midnight until both charts are
# full (65 535 points each, in the second simulated day, 140 000 virtual
# seconds), where the instrument falls silent so that the picture stands
# still; give it REAL_SECONDS enough to get there (a few minutes). The same
# picture comes from every build: the simulation is seeded.
#
# The README's pictures:
#   tools/screenshot.sh docs/main-window-1366x768.png 25 1366x768
#   tools/screenshot.sh docs/main-window-1920x1080.png 25 1920x1080
#
# Needs Xvfb and ImageMagick's import (tools/setup-debian.sh installs both);
# openbox and wmctrl (optional) add the title bar and a real close.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/main-window-1366x768.png}
seconds=${2:-25}
size=${3:-1366x768}
exe=$root/build/default/gui/quorvel
[ -x "$exe" ] || { echo "build first: cmake --build --preset default" >&2; exit 1; }

work=$(mktemp -d)
display=:$((100 + RANDOM % 400))
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 1
fi

if [ "${4:-}" = full ]; then
  {
    printf '[Software]\nDRAVO_Solar\\General\\RetentionMaxPoints=65535\n'
    printf 'DRAVO_Solar\\General\\MinSignal_mV_Meas=150\n'
    printf 'DRAVO_Solar\\General\\latitude=0.79412480965742\n'
    printf 'DRAVO_Solar\\General\\longitude=-0.0610865238198015\n'
    printf 'DRAVO_Solar\\General\\Altitude=0\n'
  } >"$work/settings.ini"
  TZ=UTC "$exe" --simulate --speed 0 --clock-start 2026-06-21T00:00:00 --sim-seed 3 \
    --sim-events 140000:silence --data-dir "$work/data" --settings "$work/settings.ini" \
    >"$work/quorvel.log" 2>&1 &
else
  "$exe" --simulate --speed 20 --clock-start 2026-06-21T09:30:00 --sim-seed 3 \
    --data-dir "$work/data" --settings "$work/settings.ini" >"$work/quorvel.log" 2>&1 &
fi
app=$!
sleep "$seconds"
mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "wrote $out"

# Close the window as a user would and check that the program ends with 0.
if command -v wmctrl >/dev/null && [ ${#pids[@]} -gt 1 ]; then
  wmctrl -c "Quorvel Monitor"
else
  kill -TERM "$app"
fi
status=0
wait "$app" || status=$?
echo "quorvel ended with status $status"
