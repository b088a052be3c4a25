#!/bin/sh
# Fuzzes the parsers of outside input with libFuzzer (clang, with
# AddressSanitizer and UndefinedBehaviorSanitizer):
#
#   report     a measurement answer with any calibration and Sun elevation
#              through the answer check, the decoder and the formatting
#   replay     the replay/capture file reader
#   settings   the settings store's typed reads of any stored text or file
#   sun_batch  quorvel-sun --batch rows
#   alpaca     the Alpaca device's request handling (any method, path,
#              query and body) and the discovery test
#   formula    the numeric fields' formula evaluator (tools/fuzz/fuzz_formula.sh)
#
#   tools/fuzz/fuzz.sh TARGET [SECONDS]   fuzz for SECONDS (default 180); the
#                                         corpus grows in fuzz-out/TARGET/corpus
#   tools/fuzz/fuzz.sh TARGET --smoke     a short fixed run from the seeds, for CI
#   tools/fuzz/fuzz.sh all [SECONDS]      every target in turn
#
# Exit status is non-zero when a crash, a sanitizer report or a broken
# invariant was found; the input is then in fuzz-out/TARGET/.
set -eu
cd "$(dirname "$0")/../.."

TARGET=${1:?usage: tools/fuzz/fuzz.sh TARGET|all [SECONDS|--smoke]}
ARG=${2:-180}

if [ "$TARGET" = all ]; then
  for t in report replay settings sun_batch alpaca formula; do
    "$0" "$t" "$ARG"
  done
  exit 0
fi
if [ "$TARGET" = formula ]; then
  exec tools/fuzz/fuzz_formula.sh "$ARG"
fi

. tools/fuzz/compiler.sh

COMMON="$(ls common/*.cpp)"
QT=""
case "$TARGET" in
  report)
    SOURCES="device/MeasurementAnswer.cpp measure/ComputeCore.cpp measure/Declarations.cpp
      measure/RollingBuffer.cpp records/ResultFile.cpp records/Cp1252.cpp records/RegionalFormat.cpp
      ephemeris/Calendar.cpp $COMMON"
    QT=Qt6Core; MAX_LEN=128; SMOKE_RUNS=100000 ;;
  replay)
    SOURCES="device/Replay.cpp device/HidText.cpp $COMMON"
    QT=Qt6Core; MAX_LEN=4096; SMOKE_RUNS=50000 ;;
  settings)
    SOURCES="records/SettingsStore.cpp records/TaggedValue.cpp records/ProgramSettings.cpp
      records/Cp1252.cpp measure/Declarations.cpp measure/SeeingGlance.cpp $COMMON"
    QT=Qt6Core; MAX_LEN=1024; SMOKE_RUNS=400 ;;
  sun_batch)
    SOURCES="$(ls ephemeris/*.cpp) sun/SunReport.cpp $COMMON"
    MAX_LEN=1024; SMOKE_RUNS=5000 ;;
  alpaca)
    SOURCES="alpaca/AlpacaDevice.cpp live/LiveSnapshot.cpp $COMMON"
    MAX_LEN=2048; SMOKE_RUNS=200000 ;;
  *) echo "unknown target $TARGET" >&2; exit 2 ;;
esac

BUILD=${FUZZ_BUILD_DIR:-build/fuzz}
OUT=fuzz-out/$TARGET
BIN=$BUILD/fuzz_$TARGET
SEEDS=tools/fuzz/${TARGET}_seeds
mkdir -p "$BUILD" "$OUT/corpus"

FLAGS=""
LIBS=""
if [ -n "$QT" ]; then
  FLAGS=$(pkg-config --cflags "$QT")
  LIBS=$(pkg-config --libs "$QT")
fi

# Rebuild only when a source or header of the project is newer than the binary.
stale=1
if [ -x "$BIN" ]; then
  stale=0
  for f in tools/fuzz/fuzz_$TARGET.cpp $SOURCES $(ls app/*.h alpaca/*.h live/*.h common/*.h measure/*.h records/*.h device/*.h ephemeris/*.h sun/*.h); do
    if [ "$f" -nt "$BIN" ]; then stale=1; fi
  done
fi
if [ "$stale" -eq 1 ]; then
  # shellcheck disable=SC2086
  "$CXX" -std=c++17 -O1 -g -fPIC -I. $FLAGS -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined tools/fuzz/fuzz_$TARGET.cpp $SOURCES $LIBS -o "$BIN.tmp"
  mv "$BIN.tmp" "$BIN"
fi

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
DICT=""
[ -f "tools/fuzz/$TARGET.dict" ] && DICT="-dict=tools/fuzz/$TARGET.dict"
# New inputs go to the first corpus folder, never to the seeds in the tree.
if [ "$ARG" = "--smoke" ]; then
  rm -rf "$OUT/smoke"
  mkdir -p "$OUT/smoke"
  # shellcheck disable=SC2086
  exec "$BIN" -seed=1 -runs=${FUZZ_SMOKE_RUNS:-$SMOKE_RUNS} -max_len=$MAX_LEN $DICT \
    -artifact_prefix="$OUT/" "$OUT/smoke" "$SEEDS"
fi
# shellcheck disable=SC2086
exec "$BIN" -max_total_time="$ARG" -max_len=$MAX_LEN $DICT -print_final_stats=1 \
  -artifact_prefix="$OUT/" "$OUT/corpus" "$SEEDS"
