#!/usr/bin/env bash
# The host's own CPU meter on both modules: builds the plug-in with the
# official Rack 2 kit from a clean copy of this tree (official_build), builds
# bench/official_meter.cpp against the official host's engine library and
# runs it (see that file). Skipped, with exit 0, where the kit is absent.
#   scripts/bench-official.sh [SECONDS]
# The kit, the host, the package and our build: see scripts/official-lib.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "bench-official" "skipped"
official_work
official_build "$WORK"
# clang: the host's internal calls here (engine set-up, meter) are only deprecated there.
"${CXX_FOR_RACK:-clang++}" -std=c++11 -O2 -march=nehalem -DARCH_LIN -DARCH_X64 -I "$RACK_DIR/include" -I "$RACK_DIR/dep/include" \
	-I src -Wno-deprecated-declarations bench/official_meter.cpp -o "$WORK/official_meter" \
	-L "$RACK_HOST" -lRack -Wl,-rpath,"$RACK_HOST" -ljansson -ldl -lpthread
"$WORK/official_meter" "$PLUGIN_BUILD" "${1:-10}"
