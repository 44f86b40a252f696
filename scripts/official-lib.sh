# The one way the scripts use the official Rack SDK and host (source it):
# finding them, building and installing the plug-in as a player does, making
# a user folder, running the host headless, for screenshots or in a window,
# stopping it and cleaning up, reading its log; and the helpers every job
# shares (phase, fail, check_failed). The functions run from the
# repository's root, where every script starts.
#   RACK_DIR   the official SDK  (default ../shared/rack/Rack-SDK beside the repo)
#   RACK_HOST  the official host (default ../shared/rack/Rack beside the repo)
#   RACK_FUNDAMENTAL  the host maker's free modules (default ../shared/rack/Fundamental)
#   CHORDWRIGHT_VCVPLUGIN  an already built .vcvplugin to use instead of building one
#   CHORDWRIGHT_DISPLAY    an X display for the windowed runs (default a free one)
#   BUILD_DIR              our CMake build (default build)

OFFICIAL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# "== JOB, what (seconds since the script began)"; JOB defaults to the
# script's name.
phase() {
	echo "== ${JOB:-$(basename "$0" .sh)}, $1 ($SECONDS s)"
}

# Says what failed and ends the script.
fail() {
	echo "FAILED: $*" >&2
	exit 1
}

# Says what failed and goes on; official_verdict ends the script on it.
FAILURES=0
check_failed() {
	echo "FAILED: $*"
	FAILURES=$((FAILURES + 1))
}

# Ends the script: with "FAILED: $1: N failed (above)" after any
# check_failed, else with success and message $2.
official_verdict() {
	[ "$FAILURES" = 0 ] || fail "$1: $FAILURES failed (above)"
	echo "$2"
}

# Sets RACK_DIR and RACK_HOST to absolute folders. Returns 1 when neither was
# given nor is present (the caller skips); exits when only one is usable.
official_locate() {
	local given="${RACK_DIR:-}${RACK_HOST:-}"
	RACK_DIR=$(realpath -m "${RACK_DIR:-$OFFICIAL_ROOT/../shared/rack/Rack-SDK}")
	RACK_HOST=$(realpath -m "${RACK_HOST:-$OFFICIAL_ROOT/../shared/rack/Rack}")
	if [ -z "$given" ] && [ ! -f "$RACK_DIR/plugin.mk" ] && [ ! -x "$RACK_HOST/Rack" ]; then
		return 1
	fi
	[ -f "$RACK_DIR/plugin.mk" ] || { echo "RACK_DIR=$RACK_DIR holds no official SDK (plugin.mk)" >&2; exit 1; }
	[ -x "$RACK_HOST/Rack" ] || { echo "RACK_HOST=$RACK_HOST holds no official host (Rack)" >&2; exit 1; }
	export RACK_DIR RACK_HOST
}

# official_locate, or else says "$1: no official Rack kit and host (…); $2"
# and ends the calling script with success: without the kit, nothing to check.
official_locate_or_skip() {
	if ! official_locate; then
		echo "$1: no official Rack kit and host (set RACK_DIR and RACK_HOST); $2"
		exit 0
	fi
}

# The package of the host maker's free modules (Fundamental), which every
# download of the host installs for players: RACK_FUNDAMENTAL (a .vcvplugin
# or a folder holding one), default the Fundamental folder beside the host.
# Sets FUNDAMENTAL_PACKAGE; returns 1 when there is none.
official_fundamental() {
	local given=${RACK_FUNDAMENTAL:-$(dirname "$RACK_HOST")/Fundamental}
	if [ -f "$given" ]; then
		FUNDAMENTAL_PACKAGE=$given
	else
		FUNDAMENTAL_PACKAGE=$(find "$given" -maxdepth 1 -name '*.vcvplugin' 2>/dev/null | sort | head -n 1)
	fi
	[ -n "$FUNDAMENTAL_PACKAGE" ] || return 1
	FUNDAMENTAL_PACKAGE=$(realpath "$FUNDAMENTAL_PACKAGE")
	export FUNDAMENTAL_PACKAGE
}

# WORK: a scratch folder of the calling script, removed when it ends, with
# the X server official_start_xvfb started, if any.
official_work() {
	WORK=$(mktemp -d)
	trap 'official_stop_xvfb; rm -rf "$WORK"' EXIT
}

# Our CMake build BUILD_DIR (default build) with rackhost and module-ids up to
# date; sets BUILD.
official_rackhost() {
	BUILD=${BUILD_DIR:-build}
	export CCACHE_BASEDIR=$OFFICIAL_ROOT
	cmake -S "$OFFICIAL_ROOT" -B "$BUILD" -G Ninja >/dev/null
	local log
	log=$(ninja -C "$BUILD" rackhost module-ids 2>&1) || fail "building rackhost: $log"
}

# A copy of the working tree's files (tracked and new, as git sees them) in $1.
official_clean_copy() {
	local dest=$1
	mkdir -p "$dest"
	git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
		[ -e "$f" ] && printf '%s\0' "$f"
	done | xargs -0 cp --parents -t "$dest"
}

# Builds the plug-in from a clean copy in $1/src with the kit's `make dist`
# (the arguments after $1 go to make), its output in $1/make.log. Sets
# PACKAGE (the .vcvplugin) and PLUGIN_BUILD (the folder holding the library,
# plugin.json, res/). Fails on a build error.
official_build() {
	local work=$1
	official_clean_copy "$work/src"
	if ! make -C "$work/src" -j2 RACK_DIR="$RACK_DIR" "${@:2}" dist >"$work/make.log" 2>&1; then
		cat "$work/make.log"
		echo "make dist failed" >&2
		return 1
	fi
	PACKAGE=$(ls "$work"/src/dist/*.vcvplugin)
	PLUGIN_BUILD=$work/src
	export PACKAGE PLUGIN_BUILD
}

# Uses CHORDWRIGHT_VCVPLUGIN when given, else builds as above.
official_package() {
	if [ -n "${CHORDWRIGHT_VCVPLUGIN:-}" ]; then
		PACKAGE=$(realpath "$CHORDWRIGHT_VCVPLUGIN")
		export PACKAGE
	else
		official_build "$1"
	fi
}

# Fails unless package $1 holds what players get: the library $2 (plugin.so,
# plugin.dll), the manifest, the changelog, the panels, the presets and the
# example patches, as in the tree. Prints how many entries it holds.
official_check_package() {
	local contents f
	contents=$(tar --zstd -tf "$1") || fail "$1 cannot be read"
	for f in "$2" plugin.json CHANGELOG.md res/Quadrelle.svg res/Motifex.svg presets/*/*.vcvm examples/*.vcv; do
		grep -qxF "Chordwright/$f" <<<"$contents" || fail "the package $(basename "$1") lacks $f"
	done
	grep -c '' <<<"$contents"
}

# The settings of a user folder the scripts make: no update check (no
# network), no tips dialog at startup, and the JSON members $1.
official_settings() {
	echo "{\"autoCheckUpdates\": false, \"showTipsOnLaunch\": false${1:+, $1}}"
}

# A fresh user folder below $1 with the plug-in installed as a player installs
# it; extra settings as JSON members in $2; with $3 "fundamental", the free
# Fundamental modules beside it, as the host installs them on first start.
# Prints its path.
official_user_folder() {
	local user
	user=$(mktemp -d "$1/user.XXXXXX")
	mkdir -p "$user/plugins-lin-x64"
	tar --zstd -xf "$PACKAGE" -C "$user/plugins-lin-x64"
	[ "${3:-}" != fundamental ] || cp "$FUNDAMENTAL_PACKAGE" "$user/plugins-lin-x64/"
	official_settings "${2:-}" >"$user/settings.json"
	echo "$user"
}

# Runs the host headless on patch $2 with user folder $1 for $3 seconds
# (default 3), then stops it as a player would (Enter).
official_run_headless() {
	local user=$1 patch=$2 seconds=${3:-3}
	(cd "$RACK_HOST" && (sleep "$seconds"; echo) | env -u DISPLAY timeout $((seconds + 60)) ./Rack -h -u "$user" \
		-s "$RACK_HOST" "$patch" >"$user/stdout.txt" 2>&1)
}

# The host's screenshot mode on patch $2 with user folder $1 (DISPLAY must be
# set): a picture of every module it has, as the module browser shows them,
# in $1/screenshots/<plug-in>/<model>.png.
official_screenshots() {
	local user=$1 patch=$2
	(cd "$RACK_HOST" && timeout 120 ./Rack -t 2 -u "$user" -s "$RACK_HOST" "$patch" >"$user/stdout.txt" 2>&1)
}

# The warning and error lines of log $1 (and any line that speaks of an error
# or a failure), except the host's notes that this machine has no audio or
# MIDI device.
official_log_problems() {
	grep -iE '^\[[0-9.]+ (warn|fatal) |error|fail|could not|cannot' "$1" |
		grep -vE 'rtmidi|rtaudio|RtMidi|RtAudio' || true
}

# Whether log $1 ends as a clean stop does.
official_clean_end() {
	[ "$(tail -n 1 "$1")" = "END" ]
}

# What is wrong with host log $1 of a run with the plug-in installed, a line
# each: its warnings and errors, a plug-in that did not load, an unclean
# stop. Nothing when all is well.
official_log_faults() {
	local log=$1
	[ -f "$log" ] || { echo "no log"; return; }
	official_log_problems "$log"
	grep -q 'Loaded Chordwright ' "$log" || echo "the plug-in did not load"
	official_clean_end "$log" || echo "the host did not stop cleanly"
}

# Starts Xvfb on CHORDWRIGHT_DISPLAY or the first free display from :90 and
# sets DISPLAY for the caller, unless it runs already; official_stop_xvfb
# stops it.
official_start_xvfb() {
	[ -z "${OFFICIAL_XVFB_PID:-}" ] || return 0
	local n=${CHORDWRIGHT_DISPLAY:-}
	n=${n#:}
	if [ -z "$n" ]; then
		n=90
		while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
			n=$((n + 1))
		done
	fi
	Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
	OFFICIAL_XVFB_PID=$!
	export DISPLAY=":$n"
	official_await 5 xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
	echo "Xvfb did not start on $DISPLAY" >&2
	return 1
}

official_stop_xvfb() {
	if [ -n "${OFFICIAL_XVFB_PID:-}" ]; then
		kill "$OFFICIAL_XVFB_PID" 2>/dev/null || true
		wait "$OFFICIAL_XVFB_PID" 2>/dev/null || true
		OFFICIAL_XVFB_PID=
	fi
}

# Starts the host in a window (DISPLAY must be set) on patch $2 with user
# folder $1, in the background, for at most $3 seconds (default 60);
# official_quit_windowed quits it.
official_start_windowed() {
	local user=$1 patch=$2 seconds=${3:-60}
	(cd "$RACK_HOST" && exec timeout "$seconds" ./Rack -u "$user" -s "$RACK_HOST" "$patch" \
		>"$user/stdout.txt" 2>&1) &
	OFFICIAL_HOST_PID=$!
}

# Quits the host official_start_windowed started with ctrl+q, as a player
# would, and returns its exit status.
official_quit_windowed() {
	local window status=0
	window=$(xdotool search --name "VCV Rack" 2>/dev/null | head -n 1 || true)
	[ -n "$window" ] && xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+q 2>/dev/null || true
	wait "$OFFICIAL_HOST_PID" || status=$?
	return $status
}

# Runs the host in a window (DISPLAY must be set) on patch $2 with user folder
# $1 until the autosave it writes satisfies the python expression $3 over `p`
# (the autosaved patch; scripts/patchlib.py is at hand as `patchlib`) or $4
# seconds (default 30) pass, then quits it. Fails unless it quit cleanly in
# time.
official_run_windowed() {
	local user=$1 patch=$2 until=$3 seconds=${4:-30} held=0 status=0
	official_start_windowed "$user" "$patch" $((seconds + 30))
	official_await "$seconds" official_autosave_holds "$user/autosave/patch.json" "$until" || held=$?
	official_quit_windowed || status=$?
	[ "$held" = 0 ] || { echo "the autosave never held what was awaited" >&2; return 1; }
	return $status
}

# Whether autosaved patch $1 exists and satisfies the python expression $2
# over `p` (the patch; patchlib imported).
official_autosave_holds() {
	[ -f "$1" ] && python3 - "$1" "$2" "$OFFICIAL_ROOT/scripts" <<'PY' 2>/dev/null
import json, sys
sys.path.insert(0, sys.argv[3])
import patchlib
p = json.load(open(sys.argv[1]))
sys.exit(0 if eval(sys.argv[2]) else 1)
PY
}

# Runs the command $2... every 0.1 s until it succeeds, or fails once $1
# seconds have passed.
official_await() {
	local tenths=$(($1 * 10)) i
	shift
	for ((i = 0; i < tenths; i++)); do
		"$@" && return 0
		sleep 0.1
	done
	return 1
}

# A user folder $1 holding the plug-in compiled against the kit's headers with
# the flags our CMake build $2 compiles it with (from its
# compile_commands.json), linked and laid out as the kit's plugin.mk does it:
# the plug-in rackhost loads, built for the host. Prints the flags.
official_same_flags_user_folder() {
	local user=$1 build=$2 objects=$1/objects source
	local -a flags pids
	mkdir -p "$user/plugins-lin-x64/Chordwright" "$objects"
	mapfile -t flags < <(python3 - "$build/compile_commands.json" "$PWD/src/plugin.cpp" <<'PY'
import json, shlex, sys
entry = next(e for e in json.load(open(sys.argv[1])) if e["file"] == sys.argv[2])
skip_next = False
for w in shlex.split(entry["command"])[1:]:
    if skip_next:
        skip_next = False
    elif w in ("-o", "-c", "-isystem", "-I", "-D"):
        skip_next = True
    elif not w.startswith(("-I", "-D")) and w != entry["file"]:
        print(w)
PY
	)
	for source in src/*.cpp; do
		c++ "${flags[@]}" -fno-gnu-unique -DARCH_LIN -DARCH_X64 -I "$RACK_DIR/include" -I "$RACK_DIR/dep/include" \
			-c "$source" -o "$objects/$(basename "$source").o" &
		pids+=($!)
	done
	for pid in "${pids[@]}"; do
		wait "$pid" || { echo "compiling the plug-in against the kit failed" >&2; return 1; }
	done
	c++ -shared -o "$user/plugins-lin-x64/Chordwright/plugin.so" "$objects"/*.o -L "$RACK_DIR" -lRack \
		-static-libstdc++ -static-libgcc
	rm -rf "$objects"
	cp -r plugin.json res presets "$user/plugins-lin-x64/Chordwright/"
	echo "${flags[*]}"
}

# Patch $1 copied to $2 plus its extension, whose path it prints. A Motifex
# without a saved phrase composes one from the clock and the random device
# when it is made, so such a patch gets the phrase rackhost (of build $3)
# composed saved into it instead, and every engine then plays that phrase.
official_fixed_patch() {
	local patch=$1 copy=$2 build=$3
	if python3 "$OFFICIAL_ROOT/scripts/patchlib.py" composes-on-load "$patch"; then
		"$build/rackhost" render "$patch" -o "$copy.wav" --seconds 0.001 --save-patch "$copy.json" >/dev/null
		rm -f "$copy.wav"
		echo "$patch: its Motifex composes on load; the phrase rackhost composed is saved into it first" >&2
		echo "$copy.json"
	else
		cp "$patch" "$copy.${patch##*.}"
		echo "$copy.${patch##*.}"
	fi
}
