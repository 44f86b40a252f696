#!/usr/bin/env bash
# The whole test suite under AddressSanitizer + UndefinedBehaviorSanitizer
# (halting on the first report), and the concurrency and lifetime tests under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
# Relative paths in the compiler cache, so another checkout reuses it.
export CCACHE_BASEDIR="$PWD"

scripts/install-deps.sh
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCHORDWRIGHT_SANITIZE=address -DCHORDWRIGHT_BENCH=OFF >/dev/null
ninja -C build-asan
# Fewer samples and phrases than the plain run: the instrumented code is slower.
CHORDWRIGHT_HOSTILE_SAMPLES=500000 CHORDWRIGHT_ROUNDTRIP_PHRASES=2000 CHORDWRIGHT_ROUNDTRIP_PLAYED=40 \
	ctest --test-dir build-asan --output-on-failure -j2

echo "== ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCHORDWRIGHT_SANITIZE=thread -DCHORDWRIGHT_BENCH=OFF >/dev/null
ninja -C build-tsan concurrency_stress_test lifetime_test motifex_notes_test
CHORDWRIGHT_STRESS_SECONDS=5 ctest --test-dir build-tsan --output-on-failure -R 'Concurrency|Lifetimes|SeveralModulesComposeAtOnce'
