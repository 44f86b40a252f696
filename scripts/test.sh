#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
# Relative paths in the compiler cache, so another checkout reuses it.
export CCACHE_BASEDIR="$PWD"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The pure logic first: it builds and runs without the host or the plug-in.
ninja -C build unit_tests
ctest --test-dir build --output-on-failure -L unit
ninja -C build
ctest --test-dir build --output-on-failure -j2 -LE unit
