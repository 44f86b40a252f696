#!/usr/bin/env bash
# Loads, headless in the official Rack host, a patch built from each factory
# preset and each example patch, and fails on any warning or error about the
# plug-in or the patch, or a run that does not end cleanly. Patches that use
# the host maker's free modules (Fundamental) run with them installed, as
# every player has them; without their package such a patch is skipped.
# The kit, the host, the package and our build: see scripts/official-lib.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "official-presets" "skipped"
official_work
official_package "$WORK"
official_fundamental || FUNDAMENTAL_PACKAGE=""

# One patch per preset: the preset's module alone; the examples as they are.
mkdir "$WORK/patches"
for preset in presets/*/*.vcvm; do
	name=$(basename "$(dirname "$preset")")" - "$(basename "$preset" .vcvm)
	python3 scripts/patchlib.py preset-patch "$preset" "$WORK/patches/preset $name.vcv"
done
for example in examples/*.vcv; do
	cp "$example" "$WORK/patches/example $(basename "$example")"
done

# Each run in a fresh user folder; two at a time.
run_one() {
	local patch=$1 user with="" modules problems
	if grep -q '"plugin": *"Fundamental"' "$patch"; then
		if [ -z "$FUNDAMENTAL_PACKAGE" ]; then
			echo "skip  $(basename "$patch") (no Fundamental package; set RACK_FUNDAMENTAL)"
			return 0
		fi
		with=fundamental
	fi
	user=$(official_user_folder "$WORK" "" $with)
	official_run_headless "$user" "$patch" 3 || true
	modules=$(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))['modules']))" "$patch")
	problems=$(
		official_log_faults "$user/log.txt"
		[ "$(grep -c 'Creating module widget' "$user/log.txt" 2>/dev/null)" = "$modules" ] ||
			echo "not every module was created"
	)
	if [ -n "$problems" ]; then
		echo "FAIL  $(basename "$patch")"
		echo "$problems" | sed 's/^/      /'
		return 1
	fi
	echo "ok    $(basename "$patch")"
}
export -f run_one official_user_folder official_settings official_run_headless official_log_faults \
	official_log_problems official_clean_end
export WORK PACKAGE RACK_HOST FUNDAMENTAL_PACKAGE
failed=0
find "$WORK/patches" -name '*.vcv' -print0 | sort -z | xargs -0 -n1 -P2 bash -c 'run_one "$0"' >"$WORK/results.txt" || failed=1
cat "$WORK/results.txt"
passed=$(grep -c '^ok' "$WORK/results.txt" || true)
fails=$(grep -c '^FAIL' "$WORK/results.txt" || true)
echo "official host: $passed passed, $fails failed"
[ "$failed" = 0 ] && [ "$fails" = 0 ]
