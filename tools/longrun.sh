#!/bin/sh
# Long unattended runs of the built program (headless, simulated instrument,
# virtual clock at full speed, both buffers at 65535 points):
#
#   tools/longrun.sh rss        one, two and seven simulated days; prints the
#                               peak RSS of each run and checks the week: no
#                               error line, one results file per day, each
#                               starting with its header
#   tools/longrun.sh gui        the same day and week in the main window
#                               (QT_QPA_PLATFORM=offscreen), with its charts
#   tools/longrun.sh replay     a replay of 10^6 reports (a 1000-second
#                               capture's answers a thousand times over);
#                               prints its peak RSS, which must stay under
#                               50 MB (the file is read as the run goes)
#   tools/longrun.sh valgrind [SECONDS]
#                               valgrind memcheck over a shorter run
#                               (default 3 simulated hours of daylight, with
#                               faults); fails on any error
#
# Needs build/default (cmake --preset default && cmake --build --preset default),
# GNU time and valgrind (tools/setup-debian.sh installs them).
set -eu
cd "$(dirname "$0")/.."
Q=${QUORVEL:-build/default/gui/quorvel}
WORK=${LONGRUN_DIR:-build/longrun}
START=2026-06-21T00:00:00
rm -rf "$WORK"
mkdir -p "$WORK"
{
  printf '[Software]\nDRAVO_Solar\\General\\RetentionMaxPoints=65535\n'
  printf 'DRAVO_Solar\\General\\MinSignal_mV_Meas=150\n'
  printf 'DRAVO_Solar\\General\\latitude=0.79412480965742\n'
  printf 'DRAVO_Solar\\General\\longitude=-0.0610865238198015\n'
  printf 'DRAVO_Solar\\General\\Altitude=0\n'
} > "$WORK/settings.ini"

run() {  # NAME SECONDS [wrapper...]
  name=$1; secs=$2; shift 2
  mkdir -p "$WORK/$name"
  TZ=UTC LC_ALL=C "$@" "$Q" ${FRONT---headless} --simulate --speed 0 --clock-start "$START" \
    --duration "$secs" --data-dir "$WORK/$name/data" --settings "$WORK/settings.ini" \
    ${EXTRA:-} > "$WORK/$name/log.txt"
}

check_week() {
  dir=$WORK/week
  status=0
  if grep -q "error\|Setting " "$dir/log.txt"; then
    echo "week: error lines in the log:"; grep "error\|Setting " "$dir/log.txt" | head; status=1
  fi
  files=$(ls "$dir/data" | wc -l)
  [ "$files" -eq 7 ] || { echo "week: $files results files, expected 7"; status=1; }
  header=$(head -n 1 "$WORK/day/data/"* | head -c 20)
  for f in "$dir/data"/*; do
    [ "$(head -c 20 "$f")" = "$header" ] || { echo "week: $f does not start with the header"; status=1; }
    n=$(grep -c "^Local Date" "$f")
    [ "$n" -eq 1 ] || { echo "week: $f has $n headers"; status=1; }
  done
  lines=$(cat "$dir/data"/* | wc -l)
  echo "week: $files files, $lines lines, $(grep -c "mean seeing" "$dir/log.txt") mean lines"
  return $status
}

case "${1:-rss}" in
  rss)
    for item in day:86400 twodays:172800 week:604800; do
      name=${item%%:*}; secs=${item#*:}
      t0=$(date +%s)
      run "$name" "$secs" /usr/bin/time -f "%M" -o "$WORK/$name/rss_kb"
      t1=$(date +%s)
      echo "$name ($secs simulated s): peak RSS $(cat "$WORK/$name/rss_kb") KB, $((t1 - t0)) s"
    done
    check_week
    ;;
  gui)
    export QT_QPA_PLATFORM=offscreen
    FRONT=""
    for item in day:86400 twodays:172800 week:604800; do
      name=${item%%:*}; secs=${item#*:}
      t0=$(date +%s)
      run "$name" "$secs" /usr/bin/time -f "%M" -o "$WORK/$name/rss_kb"
      t1=$(date +%s)
      echo "window, $name ($secs simulated s): peak RSS $(cat "$WORK/$name/rss_kb") KB, $((t1 - t0)) s"
    done
    files=$(ls "$WORK/week/data" | wc -l)
    echo "window, week: $files results files, $(cat "$WORK/week/data"/* | wc -l) lines"
    [ "$files" -eq 7 ]
    ;;
  valgrind)
    secs=${2:-10800}
    # Daylight, with an unplug, garbled answers and a silent spell on the way.
    START=2026-06-21T08:00:00
    EXTRA="--sim-events 600:unplug,660:plug,1200:garbage,1260:normal,1800:silence,1810:talk,1900:unplug,1910:plug"
    run memcheck "$secs" valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
      --errors-for-leak-kinds=definite --show-leak-kinds=definite \
      --log-file="$WORK/valgrind.txt"
    grep "ERROR SUMMARY\|definitely lost" "$WORK/valgrind.txt"
    ;;
  replay)
    dir=$WORK/replay
    mkdir -p "$dir"
    TZ=UTC LC_ALL=C "$Q" --headless --simulate --speed 0 --clock-start 2026-06-21T09:00:00 \
      --duration 1000 --data-dir "$dir/capture-data" --settings "$WORK/settings.ini" \
      --capture "$dir/capture.txt" > /dev/null
    # The version answer once, then the measurement answers a thousand times.
    { grep -v '^#' "$dir/capture.txt" | grep '^..80' | head -n 1
      for _ in $(seq 1000); do grep -v '^#' "$dir/capture.txt" | grep -v '^..80'; done
    } > "$dir/replay.txt"
    reports=$(wc -l < "$dir/replay.txt")
    t0=$(date +%s)
    TZ=UTC LC_ALL=C /usr/bin/time -f "%M" -o "$dir/rss_kb" "$Q" --headless \
      --replay "$dir/replay.txt" --speed 0 --clock-start 2026-06-21T00:00:00 \
      --data-dir "$dir/data" --settings "$WORK/settings.ini" > "$dir/log.txt"
    t1=$(date +%s)
    rss=$(cat "$dir/rss_kb")
    echo "replay of $reports reports ($(du -m "$dir/replay.txt" | cut -f1) MB): peak RSS $rss KB, $((t1 - t0)) s"
    rm -f "$dir/replay.txt"
    [ "$rss" -lt 51200 ]
    ;;
  *) echo "usage: tools/longrun.sh rss | gui | replay | valgrind [SECONDS]" >&2; exit 2 ;;
esac
