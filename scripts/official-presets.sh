#!/usr/bin/env bash
# Loads, headless in the official Rack host, a patch built from each factory
# preset and each example patch, and fails on any warning or error about the
# plug-in or the patch, or a run that does not end cleanly. Patches that use
# the host maker's free modules (Fundamental) run with them installed, as
# every player has them; without their package such a patch is skipped.
#   RACK_DIR   the official SDK  (default ../shared/rack/Rack-SDK)
#   RACK_HOST  the official host (default ../shared/rack/Rack)
#   RACK_FUNDAMENTAL  the Fundamental package (default ../shared/rack/Fundamental)
#   CHORDWRIGHT_VCVPLUGIN  an already built .vcvplugin (else one is built
#              from a clean copy of the tree)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
source scripts/official-lib.sh
official_locate_or_skip "official-presets" "skipped"
official_work
official_package "$WORK"
official_fundamental || FUNDAMENTAL_PACKAGE=""
RACK_VERSION=$(python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['version'])" "$RACK_HOST/Core.json" 2>/dev/null || echo 2.4.1)

# One patch per preset: the preset's module alone; the examples as they are.
mkdir "$WORK/patches"
python3 - "$ROOT" "$WORK/patches" "$RACK_VERSION" <<'PY'
import glob, json, os, shutil, sys
root, out, version = sys.argv[1:4]
for path in sorted(glob.glob(os.path.join(root, "presets", "*", "*.vcvm"))):
    module = json.load(open(path))
    module.update({"id": 1, "pos": [0, 0]})
    name = "preset " + os.path.basename(os.path.dirname(path)) + " - " + os.path.basename(path)[:-5]
    json.dump({"version": version, "modules": [module], "cables": []}, open(os.path.join(out, name + ".vcv"), "w"))
for path in sorted(glob.glob(os.path.join(root, "examples", "*.vcv"))):
    shutil.copy(path, os.path.join(out, "example " + os.path.basename(path)))
PY

# Each run in a fresh user folder; two at a time.
run_one() {
	local patch=$1 user with=""
	if grep -q '"plugin": *"Fundamental"' "$patch"; then
		if [ -z "$FUNDAMENTAL_PACKAGE" ]; then
			echo "skip  $(basename "$patch") (no Fundamental package; set RACK_FUNDAMENTAL)"
			return 0
		fi
		with=fundamental
	fi
	user=$(official_user_folder "$WORK" "" $with)
	official_run_headless "$user" "$patch" 3 || true
	local log=$user/log.txt problems=""
	local modules
	modules=$(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))['modules']))" "$patch")
	if [ ! -f "$log" ]; then
		problems="no log"
	else
		problems=$(official_log_problems "$log")
		grep -q "Loaded Chordwright" "$log" || problems+=$'\n''plug-in not loaded'
		[ "$(grep -c 'Creating module widget' "$log")" = "$modules" ] || problems+=$'\n''not every module was created'
		official_clean_end "$log" || problems+=$'\n''no END: the host did not stop cleanly'
	fi
	if [ -n "$problems" ]; then
		echo "FAIL  $(basename "$patch")"
		echo "$problems" | sed 's/^/      /'
		return 1
	fi
	echo "ok    $(basename "$patch")"
}
export -f run_one official_user_folder official_run_headless official_log_problems official_clean_end
export WORK PACKAGE RACK_HOST FUNDAMENTAL_PACKAGE
failed=0
find "$WORK/patches" -name '*.vcv' -print0 | sort -z | xargs -0 -n1 -P2 bash -c 'run_one "$0"' >"$WORK/results.txt" || failed=1
cat "$WORK/results.txt"
passed=$(grep -c '^ok' "$WORK/results.txt" || true)
fails=$(grep -c '^FAIL' "$WORK/results.txt" || true)
echo "official host: $passed passed, $fails failed"
[ "$failed" = 0 ] && [ "$fails" = 0 ]
