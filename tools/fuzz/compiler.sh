# Sourced by the fuzz scripts: the clang++ that builds the fuzz targets
# ($FUZZ_CXX, else Debian's clang-14), in CXX.
CXX=${FUZZ_CXX:-}
if [ -z "$CXX" ]; then
  for c in clang++-14 clang++; do
    if command -v "$c" >/dev/null 2>&1; then CXX=$c; break; fi
  done
fi
[ -n "$CXX" ] || { echo "clang++ not found (Debian: clang-14 libclang-rt-14-dev)" >&2; exit 2; }
