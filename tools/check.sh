#!/bin/sh
# Installs what is missing, builds Quorvel and runs every test.
set -eu
cd "$(dirname "$0")/.."
tools/setup-debian.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
