#!/bin/sh
# One simulated day through a build, for comparing builds bit for bit: the
# results must not depend on the processor, the compiler or the machine.
#
# 1. Unless CAPTURE is given, the seeded simulated instrument runs a whole
#    day (2026-06-21 UTC, 86 400 reports) on the virtual clock and its
#    answers are captured to OUTDIR/capture.txt: the reference capture.
# 2. quorvel-headless replays the capture on the same clock into
#    OUTDIR/replay/ (one results file for the day).
# 3. quorvel-sun --batch computes the rows of the ephemeris test table into
#    OUTDIR/sun-batch.txt, and 20 000 instants and sites spread over
#    1950-2049 and the globe into OUTDIR/sun-grid.txt: a build that fuses
#    multiply and add changes a last printed digit in about one row in ten
#    thousand, too rarely for the table's 54 rows to show it.
# The simulated run's results file must equal the replay's.
# OUTDIR/SHA256SUMS then holds the hashes of the four outputs, for
# comparing with tests/identity/SHA256SUMS or with another build's.
#
# usage: tools/identity-day.sh HEADLESS SUN TABLE OUTDIR [CAPTURE]
#   HEADLESS, SUN  the quorvel-headless and quorvel-sun programs to run
#   TABLE          tests/ephemeris/data/sun_reference.csv
set -eu

[ $# -ge 4 ] || {
  echo "usage: $0 HEADLESS SUN TABLE OUTDIR [CAPTURE]" >&2
  exit 2
}
headless=$1
sun=$2
table=$3
out=$4
capture=${5:-}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Date columns, file names and number formats depend on these alone.
TZ=UTC
LC_ALL=C
LANG=C
XDG_RUNTIME_DIR=$out/run
export TZ LC_ALL LANG XDG_RUNTIME_DIR
unset LANGUAGE

start=2026-06-21T00:00:00
seed=20260621

rm -rf "$out"
mkdir -p "$out/run"
chmod 700 "$out/run"

if [ -z "$capture" ]; then
  capture=$out/capture.txt
  "$headless" --simulate --sim-seed "$seed" --speed 0 --clock-start "$start" --duration 86400 \
    --capture "$capture" --data-dir "$out/simulated" --settings "$out/simulated.ini" \
    >"$out/simulated.log" 2>&1 || { tail -n 5 "$out/simulated.log" >&2; fail "the simulated day"; }
else
  cp "$capture" "$out/capture.txt"
fi

"$headless" --replay "$out/capture.txt" --speed 0 --clock-start "$start" \
  --data-dir "$out/replay" --settings "$out/replay.ini" \
  >"$out/replay.log" 2>&1 || { tail -n 5 "$out/replay.log" >&2; fail "the replay"; }
grep -q 'Replay over' "$out/replay.log" || fail "the replay did not run to the end of the capture"

# The table's instants and sites; its other columns are astropy's answers.
grep -v '^#' "$table" | cut -d, -f1-4 | "$sun" --batch >"$out/sun-batch.txt" 2>"$out/sun-batch.err" ||
  { cat "$out/sun-batch.err" >&2; fail "quorvel-sun --batch"; }

# Made with integers only, so that every awk writes the same rows.
awk 'BEGIN {
  for (i = 0; i < 20000; i++)
    printf "%04d-%02d-%02dT%02d:%02d:%02d,%.2f,%.2f,%d\n", 1950 + (i * 7) % 100, 1 + (i * 5) % 12,
      1 + (i * 11) % 28, (i * 13) % 24, (i * 17) % 60, (i * 19) % 60,
      ((i * 3719) % 17800 - 8900) / 100, ((i * 7919) % 36000 - 18000) / 100, (i * 31) % 3000
}' >"$out/sun-grid.csv"
"$sun" --batch <"$out/sun-grid.csv" >"$out/sun-grid.txt" 2>"$out/sun-grid.err" ||
  { head -n 5 "$out/sun-grid.err" >&2; fail "quorvel-sun --batch on the grid"; }

cd "$out"
if [ -d simulated ]; then
  cmp -s simulated/*_Results.txt replay/*_Results.txt ||
    fail "the replay of the capture gave other results than the simulated run"
fi
# The file's name holds a blank ("2026_ 6_21_Results.txt"): a glob, not a list.
[ "$(ls replay | wc -l)" -eq 1 ] || fail "the replay wrote $(ls replay | wc -l) files, expected one results file"
sha256sum capture.txt replay/*_Results.txt sun-batch.txt sun-grid.txt >SHA256SUMS
