#!/bin/sh
# Fuzzes the numeric fields' formula evaluator with libFuzzer (clang, with
# AddressSanitizer and UndefinedBehaviorSanitizer).
#
#   tools/fuzz/fuzz_formula.sh [SECONDS]   fuzz for SECONDS (default 180); the
#                                          corpus grows in fuzz-out/formula/
#   tools/fuzz/fuzz_formula.sh --smoke     a short fixed run from the seeds
#                                          (same inputs every time), for CI
#
# Exit status is non-zero when a crash, a sanitizer report or a broken
# invariant was found; the input is then in fuzz-out/formula/.
set -eu
cd "$(dirname "$0")/../.."

. tools/fuzz/compiler.sh

BUILD=${FUZZ_BUILD_DIR:-build/fuzz}
OUT=fuzz-out/formula
BIN=$BUILD/fuzz_formula
SOURCES="tools/fuzz/fuzz_formula.cpp setup/Formula.cpp setup/NumberCheck.cpp common/Format.cpp common/Errors.cpp"
mkdir -p "$BUILD" "$OUT/corpus"

# Rebuild only when a source or header is newer than the binary.
stale=1
if [ -x "$BIN" ]; then
  stale=0
  for f in $SOURCES setup/Formula.h setup/NumberCheck.h common/Format.h common/Errors.h; do
    if [ "$f" -nt "$BIN" ]; then stale=1; fi
  done
fi
if [ "$stale" -eq 1 ]; then
  # shellcheck disable=SC2086
  "$CXX" -std=c++17 -O1 -g -I. -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined $SOURCES -o "$BIN.tmp"
  mv "$BIN.tmp" "$BIN"
fi

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# New inputs go to the first corpus folder, never to the seeds in the tree.
if [ "${1:-}" = "--smoke" ]; then
  rm -rf "$OUT/smoke"
  mkdir -p "$OUT/smoke"
  exec "$BIN" -seed=1 -runs=100000 -max_len=256 -dict=tools/fuzz/formula.dict \
    -artifact_prefix="$OUT/" "$OUT/smoke" tools/fuzz/formula_seeds
fi

SECONDS_TO_RUN=${1:-180}
exec "$BIN" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -dict=tools/fuzz/formula.dict \
  -print_final_stats=1 -artifact_prefix="$OUT/" "$OUT/corpus" tools/fuzz/formula_seeds
