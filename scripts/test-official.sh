#!/usr/bin/env bash
# The official-kit job: the plug-in built and tried the way players get it,
# with the official Rack 2 SDK and host, in parts (each can run alone):
#   build     a clean copy of the tree builds with `make RACK_DIR=… dist`
#             without a compiler warning; the package holds what players get.
#             Always first: the other parts use its package.
#   headless  the package, installed into a fresh user folder, loads in the
#             host run headless on tests/official/motifex-into-quadrelle.vcv
#             and stops cleanly, with no warning or error;
#   window    under Xvfb: the host's screenshot mode draws both panels; a
#             windowed run autosaves the phrase generators' phrases, keys and
#             chords, and a second run that loads that autosave keeps them;
#   hands     under Xvfb, as a player's hands do it: a running Motifex
#             duplicated with Ctrl+D and the patch saved with Ctrl+S; the copy
#             and the reopened patch hold what the Motifex held;
#   suites    the module suites, built against the SDK's headers, run on the
#             host's own libRack.so with the plugin.so `make` built;
#   players   Initialize, Randomize, Duplicate, undo of a deletion, preset
#             paste, saving and reopening, bypass, sample-rate changes and two
#             engine threads on the host's library: each Motifex then plays
#             what it played, sample for sample (tests/official/player_actions);
#   panels    both panels as the host draws them, into docs/*.png; each panel
#             graphic drawn by nanosvg (the host's) and librsvg alike within
#             0.1 % of the pixels; every printed name read back (tesseract);
#   presets   each factory preset and example patch loads headless in the host
#             (Fundamental installed) without a warning and stops cleanly;
#   render-rack  scripts/render-rack.sh as a player meets it: the files rackhost
#             writes, bad input refused before rendering with a message naming
#             the culprit and a plain status, progress only on a terminal, no
#             temporary folder left behind, a player's folder only read;
#   parity    every patch both engines can play rendered by `rackhost render`
#             and on Rack's engine: bit for bit alike with the plug-in compiled
#             with our CMake flags, within 1e-5 V with the package;
#   examples  the ids the example patches give Fundamental's modules are those
#             it names so; every example and preset rendered on Rack's engine
#             matches its listening example (scripts/make-listening.py --check).
#   scripts/test-official.sh [PART...]   (default: every part, in this order)
# Kit, host, Fundamental, display, our build: see scripts/official-lib.sh.
# Without the kit and host, it says so and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
JOB="Official kit"
PARTS=(headless window hands suites players panels presets render-rack parity examples)
for part in "$@"; do
	[[ " build ${PARTS[*]} " == *" $part "* ]] || fail "no part $part; the parts: build ${PARTS[*]}"
done
official_locate_or_skip "== $JOB" "official-kit job skipped"
scripts/install-deps.sh official
export CCACHE_BASEDIR="$PWD"
official_work
patch=$PWD/tests/official/motifex-into-quadrelle.vcv

phase "build: make dist from a clean copy with $RACK_DIR"
official_build "$WORK"
if grep -iE 'warning' "$WORK/make.log"; then
	fail "the official build gave compiler warnings (above)"
fi
entries=$(official_check_package "$PACKAGE" plugin.so)
echo "built $(basename "$PACKAGE") without warnings: $entries entries, presets and examples included"
# Every render on Rack's engine below plays this package.
export CHORDWRIGHT_VCVPLUGIN=$PACKAGE

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

part_headless() {
	phase "headless: both modules in $RACK_HOST"
	user=$(official_user_folder "$WORK")
	official_run_headless "$user" "$patch" 3 || fail "the headless host exited with an error"
	check_log "$user/log.txt"
	echo "loaded, ran and stopped cleanly: $(grep -c '' "$user/log.txt") log lines, no warnings"
}

part_window() {
	phase "window: screenshots and the autosave round trip under Xvfb"
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
# It is saved as given, in floats.
f32 = lambda x: struct.unpack("f", struct.pack("f", x))[0]
assert [f32(x) for x in saved[3]["currentNoteArray"]] == [f32(x) for x in given[3]["currentNoteArray"]], saved[3]
for k in ("currentKeyMain", "currentProg1", "currentProg2", "currentProg3", "currentProg4"):
    assert saved[3][k] == given[3][k], (k, saved[3][k])
print("autosave: a composed phrase of %d steps, and the given F# major phrase, key and chords"
      % len(composed["currentNoteArray"]))
PY
		fail "the autosaves do not keep what the patch gave and the first run composed (above)"
	echo "a second run loaded the autosave and saved the same phrases, keys and chords"
}

part_hands() {
	phase "hands: in the host's window, a running Motifex duplicated (Ctrl+D), the patch saved (Ctrl+S) and reopened"
	official_fundamental || fail "no Fundamental package for the example patch (set RACK_FUNDAMENTAL)"
	official_start_xvfb
	local user again pos given=$WORK/hands.vcv
	user=$(official_user_folder "$WORK" "" fundamental)
	# The first example patch (Motifex clocked by Fundamental's LFO), its
	# phrase given a hold right after a rest. Prints where the Motifex is.
	pos=$(/usr/bin/python3 - examples/Motifex-First-Patch.vcv "$given" <<'PY'
import json, sys
sys.path.insert(0, "scripts")
from patchlib import MOTIFEX
p = json.load(open(sys.argv[1]))
m = next(m for m in p["modules"] if m["model"] == "Motifex")
notes = m["data"]["currentNoteArray"]
k = next(i for i in range(1, len(notes)) if notes[i - 1] == MOTIFEX.EMPTY_NOTE)
notes[k] = MOTIFEX.UNDERSCORE_NOTE
json.dump(p, open(sys.argv[2], "w"), indent=2)
print(m["pos"][0])
PY
	)
	cp "$given" "$WORK/hands-given.json"
	official_start_windowed "$user" "$given" 120
	official_await 60 grep -qF "Creating module widget Chordwright Motifex" "$user/log.txt" ||
		fail "the host did not open the patch"
	xdotool search --sync --name "VCV Rack" >/dev/null
	# A few frames for the window to lay the rack out under the pointer.
	sleep 2
	# The rack opens with its first module 30 px from the window's left edge,
	# 15 px a grid step; the pointer over Motifex's title, as a player's hand.
	xdotool mousemove --sync $((30 + pos * 15 + 300)) 90
	xdotool key --clearmodifiers ctrl+d
	official_await 30 grep -qF "cloneAction] Creating module widget Chordwright Motifex" "$user/log.txt" ||
		fail "Ctrl+D over the Motifex duplicated nothing (see $user/log.txt)"
	xdotool key --clearmodifiers ctrl+s
	official_await 30 grep -qF "Saving patch $given" "$user/log.txt" || fail "Ctrl+S did not save $given"
	official_quit_windowed || fail "the host did not quit cleanly after Ctrl+S"
	check_log "$user/log.txt"
	tar --zstd -xOf "$given" --wildcards '*patch.json' >"$WORK/hands-saved.json" || fail "$given is no patch the host saved"
	again=$(official_user_folder "$WORK" '"autosaveInterval": 1.0' fundamental)
	official_run_windowed "$again" "$given" \
		'sum(1 for m in p["modules"] if m["model"] == "Motifex" and m.get("data")) == 2' 40 ||
		fail "the saved patch did not reopen with both Motifex"
	check_log "$again/log.txt"
	/usr/bin/python3 - "$WORK/hands-given.json" "$WORK/hands-saved.json" "$again/autosave/patch.json" <<'PY' ||
import json, sys
def motifexes(path):
    return {m["id"]: m["data"] for m in json.load(open(path))["modules"] if m["model"] == "Motifex"}
given, saved, reopened = (motifexes(f) for f in sys.argv[1:4])
(original, data), = given.items()
assert len(saved) == 2 and saved[original] == data, "saved: %s" % saved
copy = next(i for i in saved if i != original)
assert saved[copy] == data, "the duplicate saved %s, not %s" % (saved[copy], data)
assert reopened == saved, "reopened: %s" % reopened
print("Ctrl+D, Ctrl+S, reopened: the original and its duplicate hold the given phrase of %d steps (a hold after a"
      " rest kept), %s, chords %s" % (len(data["currentNoteArray"]), data["currentKeyMain"],
                                    " ".join(data["currentProg%d" % c] for c in range(1, 5))))
PY
		fail "the duplicate or the reopened patch lost what the Motifex held (above)"
}

# The suites' build on the host's libRack.so, with the plugin.so make built.
official_suites_build() {
	plugin_dir=$WORK/installed
	mkdir -p "$plugin_dir"
	# Kept times, so that a second part using the build links nothing again.
	cp -rp "$PLUGIN_BUILD/plugin.so" "$PLUGIN_BUILD/plugin.json" "$PLUGIN_BUILD/res" "$plugin_dir/"
	cmake -S tests/official -B build-official -G Ninja -DRACK_DIR="$RACK_DIR" -DRACK_HOST="$RACK_HOST" \
		-DPLUGIN_DIR="$plugin_dir" >/dev/null
	ninja -C build-official
}

part_suites() {
	phase "suites: the module suites on the host's libRack.so"
	official_suites_build
	ctest --test-dir build-official --output-on-failure -j2
}

part_players() {
	phase "players: a player's actions on Rack's own library, each Motifex held to what it played"
	official_suites_build
	build-official/player_actions --gtest_brief=1
}

part_panels() {
	phase "panels: as the host draws them, against its renderer"
	local user slug panel shot window_user readings scale dir problems
	user=$(official_user_folder "$WORK")
	echo '{"version": "2.4.1", "modules": [], "cables": []}' >"$WORK/empty.vcv"
	slug="$(ls "$user/plugins-lin-x64")"
	official_start_xvfb
	official_screenshots "$user" "$WORK/empty.vcv" || {
		tail -20 "$user/log.txt" 2>/dev/null || tail -20 "$user/stdout.txt"
		fail "panels: the host's screenshot run failed"
	}
	problems=$(official_log_problems "$user/log.txt")
	[ -z "$problems" ] || check_failed "panels: the host complained: $problems"
	mkdir -p docs
	for panel in Quadrelle Motifex; do
		shot="$user/screenshots/$slug/$panel.png"
		[ -f "$shot" ] || fail "panels: the host made no picture of $panel"
		cp "$shot" "docs/$panel.png"
	done

	# Motifex playing a factory preset in a window of the host, its display
	# filled, for the manual: docs/Motifex-running.png. The host puts the first
	# module of a patch at the rack's top left, 30 px in and 60 px down in its
	# default window; the crop is the panel at 100 %.
	python3 scripts/patchlib.py preset-patches --running "$WORK" "presets/Motifex/D Minor Busy Sixteenths.vcvm"
	window_user=$(official_user_folder "$WORK")
	official_start_windowed "$window_user" "$WORK/preset Motifex - D Minor Busy Sixteenths.vcv" 60
	sleep 5
	import -window root "$WORK/window.png"
	official_quit_windowed || check_failed "panels: the windowed run failed"
	# Without time stamps, so that an unchanged picture leaves the file unchanged.
	convert "$WORK/window.png" -crop 600x380+30+60 +repage -strip -define png:exclude-chunks=date,time docs/Motifex-running.png

	# nanosvg against librsvg.
	g++ -O2 -std=c++17 -o "$WORK/panel-check" scripts/panel-check.cpp -I"$RACK_DIR/dep/include" \
		$(pkg-config --cflags --libs cairo jansson) -lm
	for panel in Quadrelle Motifex; do
		# 150 dpi: the host's 75 px per inch at zoom 2.
		rsvg-convert --dpi-x 150 --dpi-y 150 -o "$WORK/$panel.rsvg.png" "res/$panel.svg"
		"$WORK/panel-check" compare "res/$panel.svg" "$WORK/$panel.rsvg.png" ||
			check_failed "panels: res/$panel.svg drawn by nanosvg and by librsvg differ (above)"
	done

	# The printed names read back from the host's pictures.
	# Each name's box (from res-src/*.labels.json) cropped from the host's picture,
	# read as one line at two scales: tesseract's line reader misses some short
	# words at one scale or the other, which says nothing about the print.
	# Single characters (note letters, octave digits) are left out.
	for panel in Quadrelle Motifex; do
		readings=()
		for scale in 2.5 4; do
			dir="$WORK/ocr-$panel-$scale"
			mkdir -p "$dir"
			"$WORK/panel-check" crops "docs/$panel.png" "res-src/$panel.labels.json" $scale "$dir" >/dev/null
			tesseract "$dir/list.txt" "$dir/read" --psm 7 -l eng >/dev/null 2>&1
			readings+=("$dir/read.txt")
		done
		printf '%s: ' "$panel"
		"$WORK/panel-check" ocr "$WORK/ocr-$panel-4/expected.txt" "${readings[@]}" ||
			check_failed "panels: names on $panel's panel not read as printed (above)"
	done
	official_verdict "panels" "panels: pictures in docs/Quadrelle.png, docs/Motifex.png, docs/Motifex-running.png"
}

part_presets() {
	phase "presets: each factory preset and example patch in the host"
	official_fundamental || FUNDAMENTAL_PACKAGE=""
	# One patch per preset: the preset's module alone; the examples as they are.
	local patches=$WORK/preset-patches example failed=0 passed fails
	mkdir "$patches"
	python3 scripts/patchlib.py preset-patches "$patches" presets/*/*.vcvm
	for example in examples/*.vcv; do
		cp "$example" "$patches/example $(basename "$example")"
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
		modules=$(jq '.modules | length' "$patch")
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
	find "$patches" -name '*.vcv' -print0 | sort -z | xargs -0 -n1 -P2 bash -c 'run_one "$0"' >"$WORK/results.txt" || failed=1
	cat "$WORK/results.txt"
	passed=$(grep -c '^ok' "$WORK/results.txt" || true)
	fails=$(grep -c '^FAIL' "$WORK/results.txt" || true)
	echo "official host: $passed passed, $fails failed"
	[ "$failed" = 0 ] && [ "$fails" = 0 ] || fail "presets: not every patch loaded cleanly (above)"
}

# In a subshell: renders make their scratch folders in a TMPDIR of their own,
# so that none can be missed.
part_render_rack() (
	phase "render-rack: rendering on the host's engine as a player does"
	official_rackhost
	export TMPDIR=$WORK/tmp
	mkdir -p "$TMPDIR"
	# Runs render-rack.sh with the arguments after "--"; its output in $WORK/out.
	render() {
		status=0
		scripts/render-rack.sh "$@" >"$WORK/out" 2>&1 || status=$?
		[ -z "$(ls -A "$TMPDIR")" ] || check_failed "render-rack $* left $(ls "$TMPDIR") behind"
		rm -rf "${TMPDIR:?}"/*
	}
	# Expects status $1 and output containing $2 from the last render.
	expect() {
		if [ "$status" != "$1" ] || ! grep -qF -- "$2" "$WORK/out"; then
			check_failed "expected status $1 and \"$2\", got status $status: $(cat "$WORK/out")"
		else
			echo "ok    status $1: $(grep -F -- "$2" "$WORK/out" | head -n 1)"
		fi
	}
	# Renders patch $1 (rackhost reads $RACKHOST_PATCH instead when set) with
	# the options after it both ways.
	same_as_rackhost() {
		local patch=$1
		shift
		"$BUILD/rackhost" render "${RACKHOST_PATCH:-$patch}" -o "$WORK/ours.wav" "$@" >/dev/null 2>&1
		render "$patch" -o "$WORK/rack.wav" "$@"
		if [ "$status" = 0 ] && cmp -s "$WORK/ours.wav" "$WORK/rack.wav"; then
			echo "ok    $(basename "$patch") $*: the same file as rackhost writes"
		else
			check_failed "$(basename "$patch") $*: status $status, not the file rackhost writes: $(cat "$WORK/out")"
		fi
	}

	# The same files as rackhost: a Core audio module (mono and stereo: the
	# example patches' former bassline, kept for this), the headless host's clock
	# and recorder, both formats, another sample rate.
	same_as_rackhost examples/Quadrelle-Open-Chord.vcv --seconds 10
	same_as_rackhost tests/official/motifex-bassline-stereo.vcv --seconds 2 --format s24 --sample-rate 44100
	"$BUILD/rackhost" render examples/rackhost/demo.json -o "$WORK/x.wav" --seconds 0.001 \
		--save-patch "$WORK/demo.json" >/dev/null
	same_as_rackhost "$WORK/demo.json" --seconds 3
	# A compressed patch, as the host saves one (rackhost reads plain ones only).
	mkdir "$WORK/packed"
	cp examples/Quadrelle-Open-Chord.vcv "$WORK/packed/patch.json"
	tar -c -C "$WORK/packed" patch.json | zstd -q -o "$WORK/packed.vcv"
	RACKHOST_PATCH=$WORK/packed/patch.json same_as_rackhost "$WORK/packed.vcv" --seconds 1

	# A bypassed audio module sends nothing: silence, as rackhost records it.
	python3 - examples/Quadrelle-Open-Chord.vcv "$WORK/bypassed.vcv" <<'PY'
import json, sys
p = json.load(open(sys.argv[1]))
for m in p["modules"]:
    m["bypass"] = m["model"] == "AudioInterface2"
json.dump(p, open(sys.argv[2], "w"))
PY
	same_as_rackhost "$WORK/bypassed.vcv" --seconds 1

	# Audio 8 and 16 record their first two inputs: the same file as Audio 2
	# with both inputs patched (Quadrelle's mix and voice 1), at its level of 1.
	# Core's MIDI modules load too.
	read -r mix voice_1 pitch <<<"$(python3 scripts/patchlib.py id Quadrelle MIX_OUTPUT VOICE_1_OUTPUT VOCT_INPUT)"
	for model in AudioInterface AudioInterface16 AudioInterface2; do
		cat >"$WORK/$model.vcv" <<EOF
{"version": "2.4.1", "modules": [{"id": 1, "plugin": "Chordwright", "model": "Quadrelle"},
 {"id": 2, "plugin": "Core", "model": "MIDIToCVInterface"}, {"id": 9, "plugin": "Core", "model": "$model"}],
 "cables": [{"id": 1, "outputModuleId": 1, "outputId": $mix, "inputModuleId": 9, "inputId": 0},
  {"id": 2, "outputModuleId": 1, "outputId": $voice_1, "inputModuleId": 9, "inputId": 1},
  {"id": 3, "outputModuleId": 2, "outputId": 0, "inputModuleId": 1, "inputId": $pitch}]}
EOF
		render "$WORK/$model.vcv" -o "$WORK/$model.wav" --seconds 1
		[ "$status" = 0 ] || check_failed "$model: status $status: $(cat "$WORK/out")"
	done
	for model in AudioInterface AudioInterface16; do
		if cmp -s "$WORK/$model.wav" "$WORK/AudioInterface2.wav"; then
			echo "ok    Core $model: its first two inputs, as Audio 2 records them"
		else
			check_failed "Core $model does not record its first two inputs as Audio 2 does"
		fi
	done

	# Bad input, refused before anything renders.
	patch_with() {
		echo "{\"version\": \"2.4.1\", \"modules\": [$1], \"cables\": [${2:-}]}" >"$WORK/patch.vcv"
	}
	audio='{"id": 9, "plugin": "Core", "model": "AudioInterface2"}'
	into_audio='{"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 9, "inputId": 0}'
	rm -f "$WORK/none.wav"
	patch_with '{"id": 1, "plugin": "Befaco", "model": "EvenVCO"}, '"$audio" "$into_audio"
	render "$WORK/patch.vcv" -o "$WORK/none.wav"
	expect 1 "module 1 (Befaco/EvenVCO): plug-in Befaco is not installed"
	[ ! -e "$WORK/none.wav" ] || check_failed "a patch with a module that is not installed was rendered"
	patch_with '{"id": 1, "plugin": "Fundamental", "model": "VCO9"}, '"$audio" "$into_audio"
	render "$WORK/patch.vcv" -o "$WORK/none.wav"
	expect 1 "module 1 (Fundamental/VCO9): plug-in Fundamental has no model VCO9"
	patch_with '{"id": 1, "plugin": "Fundamental", "model": "VCO"}'
	render "$WORK/patch.vcv" -o "$WORK/none.wav"
	expect 1 "has no audio module of Core (Audio 2, 8 or 16) and no Rackhost Recorder"
	patch_with '{"id": 1, "plugin": "Fundamental", "model": "VCO"}, '"$audio"
	render "$WORK/patch.vcv" -o "$WORK/none.wav"
	expect 1 "nothing is connected to module 9 (Core/AudioInterface2)"
	patch_with '{"id": 1, "plugin": "Rackhost", "model": "Recorder"}, '"$audio" "$into_audio"
	render "$WORK/patch.vcv" -o "$WORK/none.wav"
	expect 1 "more than one audio module or Recorder (module 1 (Rackhost/Recorder) and module 9 (Core/AudioInterface2))"
	echo "not a patch" >"$WORK/text.vcv"
	render "$WORK/text.vcv" -o "$WORK/none.wav"
	expect 1 "is not a patch: not valid JSON"
	echo '{"cables": []}' >"$WORK/text.vcv"
	render "$WORK/text.vcv" -o "$WORK/none.wav"
	expect 1 "is not a patch: it has no \"modules\" array"
	render "$WORK/missing.vcv" -o "$WORK/none.wav"
	expect 1 "does not exist"
	render examples/Quadrelle-Open-Chord.vcv -o "$WORK/none.wav" --seconds soon
	expect 2 "--seconds must be a number"
	render examples/Quadrelle-Open-Chord.vcv -o "$WORK/none.wav" --format f64
	expect 2 "--format must be f32 or s24"
	render examples/Quadrelle-Open-Chord.vcv
	expect 2 "usage: scripts/render-rack.sh"
	[ ! -e "$WORK/none.wav" ] || check_failed "bad input left a file"
	status=0
	RACK_HOST=$WORK/nowhere scripts/render-rack.sh examples/Quadrelle-Open-Chord.vcv -o "$WORK/none.wav" \
		>"$WORK/out" 2>&1 || status=$?
	expect 2 "holds no official host"

	# Progress: on a terminal for a render that takes longer than a second, never
	# into a pipe.
	render tests/official/motifex-bassline-stereo.vcv -o "$WORK/long.wav" --seconds 300
	if [ "$status" = 0 ] && ! grep -q "rendering:" "$WORK/out"; then
		echo "ok    no progress line into a pipe"
	else
		check_failed "a progress line went into a pipe (status $status): $(head -c 300 "$WORK/out")"
	fi
	script -qec "scripts/render-rack.sh tests/official/motifex-bassline-stereo.vcv -o $WORK/long.wav --seconds 300" \
		/dev/null >"$WORK/out" 2>&1 || true
	rm -rf "${TMPDIR:?}"/*
	if grep -qE $'\rrendering: [0-9]+% \\([0-9.]+ of 300.0 s of audio, [0-9]+x real time\\)' "$WORK/out"; then
		echo "ok    on a terminal: $(tr '\r' '\n' <"$WORK/out" | grep rendering: | head -n 1)"
	else
		check_failed "no progress line on a terminal: $(head -c 300 "$WORK/out")"
	fi

	# A player's user folder, read only: an unpacked plug-in and a package the
	# host has not unpacked yet, and their settings.
	player=$WORK/player
	mkdir -p "$player/plugins-lin-x64"
	tar --zstd -xf "$PACKAGE" -C "$player/plugins-lin-x64"
	official_fundamental || fail "no Fundamental package (set RACK_FUNDAMENTAL)"
	cp "$FUNDAMENTAL_PACKAGE" "$player/plugins-lin-x64/"
	echo '{"autoCheckUpdates": true, "threadCount": 4, "sampleRate": 44100}' >"$player/settings.json"
	chmod -R a-w "$player"
	before=$(find "$player" -printf '%p %s %T@\n' | sort | sha256sum)
	patch_with '{"id": 1, "plugin": "Fundamental", "model": "VCO"}, {"id": 2, "plugin": "Chordwright", "model": "Quadrelle"}, '"$audio" \
		"$into_audio"', {"id": 2, "outputModuleId": 2, "outputId": '"$mix"', "inputModuleId": 9, "inputId": 1}'
	render "$WORK/patch.vcv" -o "$WORK/player.wav" --seconds 1 --user-folder "$player"
	expect 0 "rendered 48000 samples (1.000 s of audio, stereo, 48000 Hz, f32)"
	[ "$(find "$player" -printf '%p %s %T@\n' | sort | sha256sum)" = "$before" ] ||
		check_failed "the player's user folder changed"
	chmod -R u+w "$player"
	official_verdict "render-rack" "render-rack: all checks passed"
)

part_parity() {
	phase "parity: our engine and the host's, patch by patch"
	local tolerance=1e-5 seconds=10 same flags patch name copy
	local -a patches
	official_rackhost
	same=$WORK/same-flags
	flags=$(official_same_flags_user_folder "$same" "$BUILD")
	echo "plug-in for the bit-for-bit comparison: $flags, against $RACK_DIR"

	# The patches, each under a name of its own.
	mkdir "$WORK/parity-patches"
	patches=()
	for patch in examples/*.vcv examples/rackhost/demo.json tests/official/*.vcv bench/*.vcv; do
		# The host maker's free modules exist only in Rack's engine; those
		# patches are checked there alone (part examples).
		if grep -q '"plugin": *"Fundamental"' "$patch"; then
			echo "$patch: uses the Fundamental modules, which rackhost does not have; not compared"
			continue
		fi
		name=${patch%.*}
		copy=$(official_fixed_patch "$patch" "$WORK/parity-patches/${name//\//-}" "$BUILD")
		patches+=("$copy")
	done

	# Runs a render ($1 names it, the command follows) into $WORK/out.txt;
	# shows that output and fails the check when it fails.
	rendered() {
		local what=$1
		shift
		"$@" >"$WORK/out.txt" 2>&1 && return 0
		cat "$WORK/out.txt"
		check_failed "$what"
		return 1
	}
	for patch in "${patches[@]}"; do
		name=$(basename "${patch%.*}")
		rendered "rackhost could not render $name" \
			"$BUILD/rackhost" render "$patch" -o "$WORK/ours.wav" --seconds "$seconds" || continue
		rendered "Rack's engine could not render $name" \
			scripts/render-rack.sh "$patch" -o "$WORK/same.wav" --seconds "$seconds" --user-folder "$same" || continue
		rendered "Rack's engine could not render $name with the package" \
			scripts/render-rack.sh "$patch" -o "$WORK/kit.wav" --seconds "$seconds" || continue
		scripts/compare-wav.py "$name, same flags" "$WORK/ours.wav" "$WORK/same.wav" ||
			check_failed "$name: our engine and Rack's differ with the same flags"
		scripts/compare-wav.py "$name, kit's flags" "$WORK/ours.wav" "$WORK/kit.wav" --tolerance "$tolerance" ||
			check_failed "$name: our engine and Rack's with the kit's package differ beyond $tolerance V"
	done
	official_verdict "parity" "our engine and Rack's play all ${#patches[@]} patches bit for bit alike with\
 the same flags, and within $tolerance V with the kit's (above)"
}

part_examples() {
	phase "examples: the example patches and listening examples on Rack's engine"
	if ! official_fundamental; then
		echo "examples: no Fundamental package (set RACK_FUNDAMENTAL); skipped"
		return 0
	fi
	mkdir "$WORK/fundamental"
	tar --zstd -xf "$FUNDAMENTAL_PACKAGE" -C "$WORK/fundamental"
	# clang: the host's internal headers used here are only deprecated there.
	clang++ -std=c++17 -O1 -DARCH_LIN -DARCH_X64 -I "$RACK_DIR/include" -I "$RACK_DIR/dep/include" \
		-Wno-deprecated-declarations scripts/module-ports.cpp -o "$WORK/module-ports" \
		-L "$RACK_HOST" -lRack -Wl,-rpath,"$RACK_HOST" -ljansson -ldl -lpthread
	models=$(/usr/bin/python3 -c "import sys; sys.path.insert(0, 'scripts'); import patchlib; print(' '.join(patchlib.FUNDAMENTAL))")
	# shellcheck disable=SC2086
	"$WORK/module-ports" "$WORK/fundamental/Fundamental" $models >"$WORK/ports.json"
	/usr/bin/python3 - "$WORK/ports.json" <<'PY'
import json, sys
sys.path.insert(0, "scripts")
import patchlib
reported = json.load(open(sys.argv[1]))
wrong = []
for model, kinds in patchlib.FUNDAMENTAL.items():
    for kind in ("params", "inputs", "outputs"):
        for name, id in kinds[kind].items():
            theirs = reported[model][kind].get(str(id))
            if theirs != name:
                wrong.append("%s %s %d is %r, not %r" % (model, kind, id, theirs, name))
if wrong:
    sys.exit("\n".join(["FAILED:"] + wrong))
print("%d modules: every name matches its id" % len(patchlib.FUNDAMENTAL))
PY

	/usr/bin/python3 scripts/make-listening.py --check
}

[ $# -gt 0 ] || set -- "${PARTS[@]}"
for part in "$@"; do
	[ "$part" = build ] || "part_${part//-/_}"
done
phase "passed"
