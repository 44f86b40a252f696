#!/usr/bin/env bash
# The official-kit job: the plug-in built and tried the way players get it,
# with the official Rack 2 SDK and host.
#   a. a clean copy of the tree builds with `make RACK_DIR=… dist`, without a
#      compiler warning;
#   b. the .vcvplugin, installed into a fresh user folder, loads in the host run
#      headless on a patch of both modules (Motifex running, its CV into
#      Quadrelle's V/Oct), which stops cleanly, with no warning or error;
#   c. under Xvfb: the host's screenshot mode draws both panels; a windowed run
#      autosaves the phrase generator's phrase, key and chords, and a second run
#      that loads that autosave keeps them in its own autosave;
#   d. the module behaviour suites, built against the SDK's headers, run on the
#      host's own libRack.so with the plugin.so that `make` built;
#   e. the panels as the host draws them (docs/*.png) and checked against its
#      renderer; the factory presets and example patches load in the host;
#   f. rendering offline on the host's own engine (scripts/render-rack.sh):
#      the files rackhost writes, bad input refused, nothing left behind
#      (scripts/official-render-rack.sh); parity: every patch both engines
#      can play, rendered by both, sample for sample the same
#      (scripts/official-parity.sh);
#   g. the example patches and listening examples on Rack's engine
#      (scripts/official-examples.sh).
# Kit and host: RACK_DIR and RACK_HOST (default ../shared/rack/Rack-SDK and
# ../shared/rack/Rack beside the repo). Without either, it says so and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
JOB="Official kit"
official_locate_or_skip "== $JOB" "official-kit job skipped"
scripts/install-deps.sh official
export CCACHE_BASEDIR="$PWD"
official_work

phase "a: make dist from a clean copy with $RACK_DIR"
official_build "$WORK"
if grep -iE 'warning' "$WORK/make.log"; then
	fail "the official build gave compiler warnings (above)"
fi
entries=$(official_check_package "$PACKAGE" plugin.so)
echo "built $(basename "$PACKAGE") without warnings: $entries entries, presets and examples included"

patch=$PWD/tests/official/motifex-into-quadrelle.vcv
# The log must show the plug-in, both modules and both panels, nothing wrong
# and a clean stop.
check_log() {
	local log=$1 faults
	faults=$(official_log_faults "$log")
	[ -z "$faults" ] || fail "$log: $faults"
	for model in Motifex Quadrelle; do
		grep -q "Creating module Chordwright $model\$" "$log" || fail "$log: no $model module"
		grep -q "Creating module widget Chordwright $model\$" "$log" || fail "$log: no $model panel"
	done
}

phase "b: headless run of both modules in $RACK_HOST"
user=$(official_user_folder "$WORK")
official_run_headless "$user" "$patch" 3 || fail "the headless host exited with an error"
check_log "$user/log.txt"
echo "loaded, ran and stopped cleanly: $(grep -c '' "$user/log.txt") log lines, no warnings"

phase "c: screenshots and autosave round trip under Xvfb"
official_start_xvfb
user=$(official_user_folder "$WORK")
official_screenshots "$user" "$patch" || fail "the screenshot run failed"
for model in Quadrelle Motifex; do
	shot=$user/screenshots/Chordwright/$model.png
	[ -s "$shot" ] || fail "no screenshot of $model"
	echo "screenshot $model: $(identify -format '%w x %h' "$shot")"
done
official_clean_end "$user/log.txt" || fail "the screenshot run did not stop cleanly"

holds_phrases='not patchlib.composes_on_load(p)'
first=$(official_user_folder "$WORK" '"autosaveInterval": 1.0')
official_run_windowed "$first" "$patch" "$holds_phrases" 40 || fail "the first windowed run"
check_log "$first/log.txt"
cp "$first/autosave/patch.json" "$WORK/autosaved.vcv"
second=$(official_user_folder "$WORK" '"autosaveInterval": 1.0')
official_run_windowed "$second" "$WORK/autosaved.vcv" "$holds_phrases" 40 || fail "the second windowed run"
check_log "$second/log.txt"
python3 - "$WORK/autosaved.vcv" "$patch" "$second/autosave/patch.json" <<'PY' ||
import json, struct, sys
def motifex_data(path):
    return {m["id"]: m.get("data") for m in json.load(open(path))["modules"] if m["model"] == "Motifex"}
saved, given, again = (motifex_data(f) for f in sys.argv[1:4])
assert again == saved, "the second run's autosave differs: %s vs %s" % (again, saved)
composed = saved[1]
# Module 1 composed its own phrase; module 3 kept the one the patch gave it.
assert 31 <= len(composed["currentNoteArray"]) <= 41, composed
assert composed["currentKeyMain"] == "C minor", composed
# Its phrase holds no hold after a rest, so it is saved as given, in floats.
f32 = lambda x: struct.unpack("f", struct.pack("f", x))[0]
assert [f32(x) for x in saved[3]["currentNoteArray"]] == [f32(x) for x in given[3]["currentNoteArray"]], saved[3]
for k in ("currentKeyMain", "currentProg1", "currentProg2", "currentProg3", "currentProg4"):
    assert saved[3][k] == given[3][k], (k, saved[3][k])
print("autosave: a composed phrase of %d steps, and the given F# major phrase, key and chords"
      % len(composed["currentNoteArray"]))
PY
	fail "the autosaves do not keep what the patch gave and the first run composed (above)"
echo "a second run loaded the autosave and saved the same phrases, keys and chords"

phase "d: module suites on the host's libRack.so"
plugin_dir=$WORK/installed
mkdir -p "$plugin_dir"
cp -r "$PLUGIN_BUILD/plugin.so" "$PLUGIN_BUILD/plugin.json" "$PLUGIN_BUILD/res" "$plugin_dir/"
cmake -S tests/official -B build-official -G Ninja -DRACK_DIR="$RACK_DIR" -DRACK_HOST="$RACK_HOST" \
	-DPLUGIN_DIR="$plugin_dir" >/dev/null
ninja -C build-official
ctest --test-dir build-official --output-on-failure -j2

phase "e: panels as the host draws them, presets and example patches"
official_stop_xvfb
export CHORDWRIGHT_VCVPLUGIN=$PACKAGE
scripts/official-panels.sh
scripts/official-presets.sh

phase "f: rendering on the host's engine; parity of our engine and the host's, patch by patch"
scripts/official-render-rack.sh
scripts/official-parity.sh

phase "g: example patches and listening examples on Rack's engine"
scripts/official-examples.sh

phase "passed"
