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
official_locate_or_skip "== Official kit" "official-kit job skipped"
scripts/install-deps.sh official
export CCACHE_BASEDIR="$PWD"
root=$PWD
work=$(mktemp -d /tmp/chordwright-official.XXXXXX)
cleanup() {
	official_stop_xvfb
	rm -rf "$work"
}
trap cleanup EXIT
began=$(date +%s)
phase() {
	echo "== Official kit, $1 ($(($(date +%s) - began)) s)"
}
fail() {
	echo "FAILED: $*" >&2
	exit 1
}

phase "a: make dist from a clean copy with $RACK_DIR"
official_build "$work"
if grep -iE 'warning' "$work/make.log"; then
	fail "the official build gave compiler warnings (above)"
fi
# What players get: the library, the manifest, the panels, the presets and the
# example patches, as in the tree.
contents=$(tar --zstd -tf "$PACKAGE")
for f in plugin.so plugin.json res/Quadrelle.svg res/Motifex.svg presets/*/*.vcvm examples/*.vcv; do
	grep -qxF "Chordwright/$f" <<<"$contents" || fail "the package lacks $f"
done
echo "built $(basename "$PACKAGE") without warnings: $(grep -c '' <<<"$contents") entries, presets and examples included"

patch=$root/tests/official/motifex-into-quadrelle.vcv
# The log must show the plug-in, both modules and both panels, nothing wrong
# and a clean stop.
check_log() {
	local log=$1 problems
	grep -q 'Loaded Chordwright ' "$log" || fail "$log: the plug-in did not load"
	for model in Motifex Quadrelle; do
		grep -q "Creating module Chordwright $model\$" "$log" || fail "$log: no $model module"
		grep -q "Creating module widget Chordwright $model\$" "$log" || fail "$log: no $model panel"
	done
	problems=$(official_log_problems "$log")
	[ -z "$problems" ] || fail "$log: warnings or errors: $problems"
	official_clean_end "$log" || fail "$log: the host did not stop cleanly"
}

phase "b: headless run of both modules in $RACK_HOST"
user=$(official_user_folder "$work")
official_run_headless "$user" "$patch" 3 || fail "the headless host exited with an error"
check_log "$user/log.txt"
echo "loaded, ran and stopped cleanly: $(grep -c '' "$user/log.txt") log lines, no warnings"

phase "c: screenshots and autosave round trip under Xvfb"
official_start_xvfb
user=$(official_user_folder "$work")
(cd "$RACK_HOST" && timeout 120 ./Rack -t 2 -u "$user" -s "$RACK_HOST" "$patch" >"$user/stdout.txt" 2>&1) ||
	fail "the screenshot run failed"
for model in Quadrelle Motifex; do
	shot=$user/screenshots/Chordwright/$model.png
	[ -s "$shot" ] || fail "no screenshot of $model"
	echo "screenshot $model: $(identify -format '%w x %h' "$shot")"
done
official_clean_end "$user/log.txt" || fail "the screenshot run did not stop cleanly"

# The phrase generators' saved data in an autosaved patch, by module id.
motifex_data() {
	python3 - "$1" <<'PY'
import json, sys
p = json.load(open(sys.argv[1]))
data = {m["id"]: m.get("data") for m in p["modules"] if m["model"] == "Motifex"}
print(json.dumps(data, sort_keys=True))
PY
}
has_motifex_data='all(m.get("data") and "currentNoteArray" in m["data"] for m in p["modules"] if m["model"] == "Motifex")'
first=$(official_user_folder "$work" '"autosaveInterval": 1.0')
official_run_windowed "$first" "$patch" "$has_motifex_data" 40 || fail "the first windowed run"
check_log "$first/log.txt"
cp "$first/autosave/patch.json" "$work/autosaved.vcv"
second=$(official_user_folder "$work" '"autosaveInterval": 1.0')
official_run_windowed "$second" "$work/autosaved.vcv" "$has_motifex_data" 40 || fail "the second windowed run"
check_log "$second/log.txt"
saved=$(motifex_data "$work/autosaved.vcv")
again=$(motifex_data "$second/autosave/patch.json")
[ "$saved" = "$again" ] || fail "the second run's autosave differs: $saved vs $again"
python3 - "$work/autosaved.vcv" "$patch" <<'PY' || fail "the first autosave lost what the patch held"
import json, struct, sys
saved = {m["id"]: m.get("data") for m in json.load(open(sys.argv[1]))["modules"]}
given = {m["id"]: m.get("data") for m in json.load(open(sys.argv[2]))["modules"]}
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
echo "a second run loaded the autosave and saved the same phrases, keys and chords"

phase "d: module suites on the host's libRack.so"
plugin_dir=$work/installed
mkdir -p "$plugin_dir"
cp -r "$PLUGIN_BUILD/plugin.so" "$PLUGIN_BUILD/plugin.json" "$PLUGIN_BUILD/res" "$plugin_dir/"
cmake -S tests/official -B build-official -G Ninja -DRACK_DIR="$RACK_DIR" -DRACK_HOST="$RACK_HOST" \
	-DPLUGIN_DIR="$plugin_dir" >/dev/null
ninja -C build-official
ctest --test-dir build-official --output-on-failure -j2

phase "e: panels as the host draws them, presets and example patches"
official_stop_xvfb
CHORDWRIGHT_VCVPLUGIN=$PACKAGE scripts/official-panels.sh
CHORDWRIGHT_VCVPLUGIN=$PACKAGE scripts/official-presets.sh

phase "f: rendering on the host's engine; parity of our engine and the host's, patch by patch"
CHORDWRIGHT_VCVPLUGIN=$PACKAGE scripts/official-render-rack.sh
CHORDWRIGHT_VCVPLUGIN=$PACKAGE scripts/official-parity.sh

phase "g: example patches and listening examples on Rack's engine"
CHORDWRIGHT_VCVPLUGIN=$PACKAGE scripts/official-examples.sh

phase "passed"
