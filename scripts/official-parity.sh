#!/usr/bin/env bash
# Our engine against Rack's own: every patch both can play is rendered for
# 10 s at 48 kHz by `rackhost render` and by scripts/render-rack.sh (the
# official host's engine) and compared sample by sample:
#   - the plug-in in Rack's engine compiled with the flags our CMake build
#     compiles the one rackhost loads with (from its compile_commands.json),
#     against the kit's headers: identical bit for bit;
#   - the package `make dist` builds (the kit's own flags, as players get
#     it): at most 1e-5 V apart; the largest difference is reported.
# Any difference names the patch, the sample and both values.
# Patches: examples/*.vcv (those without Fundamental modules, which only
# Rack's engine has), examples/rackhost/demo.json, tests/official/*.vcv and the
# benchmark's patch in bench/.
# A Motifex without a saved phrase composes one from the clock and the random
# device when it is made, so such a patch first gets the phrase rackhost
# composed saved into it, and both engines play that.
# The kit, the host, the package and our build: see scripts/official-lib.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "official-parity" "skipped"
tolerance=1e-5
seconds=10
official_rackhost
official_work

same=$WORK/same-flags
flags=$(official_same_flags_user_folder "$same" "$BUILD")
echo "plug-in for the bit-for-bit comparison: $flags, against $RACK_DIR"

# The patches, each under a name of its own.
mkdir "$WORK/patches"
patches=()
for patch in examples/*.vcv examples/rackhost/demo.json tests/official/*.vcv bench/*.vcv; do
	# The host maker's free modules exist only in Rack's engine; those
	# patches are checked there alone (scripts/official-examples.sh).
	if grep -q '"plugin": *"Fundamental"' "$patch"; then
		echo "$patch: uses the Fundamental modules, which rackhost does not have; not compared"
		continue
	fi
	name=${patch%.*}
	copy=$(official_fixed_patch "$patch" "$WORK/patches/${name//\//-}" "$BUILD")
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
official_verdict "official-parity" "our engine and Rack's play all ${#patches[@]} patches bit for bit alike with\
 the same flags, and within $tolerance V with the kit's (above)"
