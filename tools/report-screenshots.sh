#!/bin/bash
# Pictures of quorvel-report's HTML report and of the History window for the
# README: two simulated days (the simulated instrument at full speed), the
# report rendered by headless Chromium, and the window under Xvfb opened
# from the main window's History entry (Alt+H). Not part of the test suite.
#
#   tools/report-screenshots.sh [OUTPUT_FOLDER]
#
# Needs chromium, Xvfb, ImageMagick's import and xdotool; openbox (optional)
# adds the title bars.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
exe=$root/build/default/app/quorvel
report=$root/build/default/report/quorvel-report
[ -x "$exe" ] && [ -x "$report" ] || { echo "build first: cmake --build --preset default" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out"
export TZ=Europe/Paris

# Two days from midnight local time, at full speed (a few seconds).
"$exe" --headless --simulate --speed 0 --clock-start 2026-06-20T22:00:00 --duration 172800 --sim-seed 3 \
  --data-dir "$work/data" --settings "$work/settings.ini" >"$work/quorvel.log" 2>&1

QUORVEL_SETTINGS="$work/settings.ini" "$report" --station "simulated" --html "$work/report.html" "$work/data"
chromium --no-sandbox --headless --disable-gpu --disable-background-networking --disable-component-update \
  --disable-sync --no-first-run --user-data-dir="$work/chromium" --hide-scrollbars --window-size=1000,1500 \
  --screenshot="$out/report-html.png" "file://$work/report.html" 2>/dev/null
echo "wrote $out/report-html.png"

display=:$((100 + RANDOM % 400))
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 1
fi
# The window of a quiet evening after the two days: the Sun is down.
"$exe" --simulate --speed 1 --clock-start 2026-06-22T21:00:00 --sim-seed 3 \
  --data-dir "$work/data" --settings "$work/settings.ini" >"$work/quorvel-gui.log" 2>&1 &
pids+=($!)
main=""
for _ in $(seq 100); do
  main=$(xdotool search --name "Quorvel Monitor" 2>/dev/null | head -1) && [ -n "$main" ] && break
  sleep 0.2
done
[ -n "$main" ] || { echo "the main window did not appear" >&2; exit 1; }
sleep 2
xdotool windowactivate --sync "$main" key alt+h
history=""
for _ in $(seq 100); do
  history=$(xdotool search --name "^History$" 2>/dev/null | head -1) && [ -n "$history" ] && break
  sleep 0.2
done
[ -n "$history" ] || { echo "the History window did not appear" >&2; exit 1; }
xdotool windowsize "$history" 1340 740 windowmove "$history" 10 10
sleep 2
# The second day, compared with the first.
import -window "$history" "$out/history-window.png"
echo "wrote $out/history-window.png"
