#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) and runs
# each for a bounded time: scripts/fuzz.sh [SECONDS_PER_TARGET] (default 60).
# For a release, run longer, e.g. scripts/fuzz.sh 3600.
set -euo pipefail
cd "$(dirname "$0")/.."
# Relative paths in the compiler cache, so another checkout reuses it.
export CCACHE_BASEDIR="$PWD"
seconds=${1:-60}

scripts/install-deps.sh
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCHORDWRIGHT_FUZZ=ON -DCHORDWRIGHT_SANITIZE=address \
	-DCHORDWRIGHT_BENCH=OFF >/dev/null
ninja -C build-fuzz motifex_data_fuzz patch_fuzz

status=0
for target in motifex_data patch; do
	work=build-fuzz/corpus-$target
	mkdir -p "$work"
	echo "== $target: $seconds s"
	if ! build-fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -dict=fuzz/json.dict -print_final_stats=1 \
		-artifact_prefix=build-fuzz/ "$work" fuzz/corpus/$target >build-fuzz/$target.log 2>&1; then
		echo "fuzzing $target found a failure:"
		tail -n 40 build-fuzz/$target.log
		status=1
	fi
	grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' build-fuzz/$target.log || true
done
exit $status
