#!/usr/bin/env bash
# The host's own CPU meter on both modules: builds the plug-in with the
# official Rack 2 kit from a clean copy of this tree, builds
# bench/official_meter.cpp against the official host's engine library and
# runs it (see that file). Skipped, with exit 0, where the kit is absent.
#   RACK_DIR   the kit (default ../shared/rack/Rack-SDK from the repo root)
#   RACK_HOST  the host folder with libRack.so (default ../shared/rack/Rack)
#   scripts/bench-official.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
source scripts/official-lib.sh
official_locate_or_skip "bench-official" "skipped"

official_work
official_clean_copy "$WORK/tree"
make -s -C "$WORK/tree" RACK_DIR="$RACK_DIR" -j2 plugin.so >"$WORK/make.log" 2>&1 || {
	cat "$WORK/make.log"
	exit 1
}
# clang: the host's internal calls here (engine set-up, meter) are only deprecated there.
"${CXX_FOR_RACK:-clang++}" -std=c++11 -O2 -march=nehalem -DARCH_LIN -DARCH_X64 -I "$RACK_DIR/include" -I "$RACK_DIR/dep/include" \
	-I "$ROOT/src" -Wno-deprecated-declarations bench/official_meter.cpp -o "$WORK/official_meter" \
	-L "$RACK_HOST" -lRack -Wl,-rpath,"$RACK_HOST" -ljansson -ldl -lpthread
"$WORK/official_meter" "$WORK/tree" "${1:-10}"
