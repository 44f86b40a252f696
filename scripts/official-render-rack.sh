#!/usr/bin/env bash
# scripts/render-rack.sh as a player meets it: it writes what `rackhost
# render` writes (same samples, formats, rates, channels; plain and
# compressed patches; the headless host's own modules), refuses bad input
# before rendering with a message naming the culprit and a plain status,
# shows progress only on a terminal, leaves no temporary folder behind and
# only reads a player's user folder.
# The kit, the host, the package and our build: see scripts/official-lib.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "official-render-rack" "skipped"
official_rackhost
official_work
# Renders make their scratch folders here, so that none can be missed.
export TMPDIR=$WORK/tmp
mkdir "$TMPDIR"

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
mix=$(python3 scripts/patchlib.py id Quadrelle MIX_OUTPUT)
voice_1=$(python3 scripts/patchlib.py id Quadrelle VOICE_1_OUTPUT)
pitch=$(python3 scripts/patchlib.py id Quadrelle VOCT_INPUT)
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
official_package "$WORK/package" >/dev/null
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
