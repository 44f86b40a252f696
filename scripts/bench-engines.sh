#!/usr/bin/env bash
# Our engine's speed beside the official host's, from one run: the demo patch
# (its phrase fixed, so that both play the same) and a former example
# patch (Chordwright and Core alone, which both engines have) rendered
# offline by `rackhost render` and by scripts/render-rack.sh, with the
# plug-in compiled with our CMake flags on both sides and with the kit's
# package on the host's. Each render is repeated, all taking turns; printed:
# the real-time factor by wall time (fastest and median) and by processor
# time (fastest), of the render loop alone, as each renderer reports it.
# Skipped, with exit 0, where the kit is absent.
#   scripts/bench-engines.sh [SECONDS (default 60)] [REPETITIONS (default 5)]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "bench-engines" "skipped"
seconds=${1:-60}
reps=${2:-5}
official_rackhost
official_work
official_same_flags_user_folder "$WORK/same" "$BUILD" >/dev/null
official_package "$WORK/package" >/dev/null
demo=$(official_fixed_patch examples/rackhost/demo.json "$WORK/demo" "$BUILD" 2>/dev/null)
example=bench/motifex-melody-over-a-tracking-pad.vcv

# One render of patch $2 by engine $1; appends "wall cpu" to $WORK/<patch>-<engine>.
run() {
	local engine=$1 patch=$2 line
	case $engine in
	ours) line=$("$BUILD/rackhost" render "$patch" -o "$WORK/x.wav" --seconds "$seconds" 2>/dev/null) ;;
	rack-same) line=$(scripts/render-rack.sh "$patch" -o "$WORK/x.wav" --seconds "$seconds" --user-folder "$WORK/same") ;;
	rack-kit) line=$(CHORDWRIGHT_VCVPLUGIN=$PACKAGE scripts/render-rack.sh "$patch" -o "$WORK/x.wav" --seconds "$seconds") ;;
	esac
	sed -E 's/.* in ([0-9.]+) s wall time \(([0-9.]+) s processor time\).*/\1 \2/' <<<"$line" \
		>>"$WORK/$(basename "${patch%.*}")-$engine"
}
for _ in $(seq "$reps"); do
	for patch in "$demo" "$example"; do
		for engine in ours rack-same rack-kit; do
			run "$engine" "$patch"
		done
	done
done

echo "$seconds s at 48 kHz, $reps renders each, taking turns; real-time factors of the render loop"
printf '%-38s %-36s %8s %8s %10s\n' patch engine fastest median processor
for patch in "$demo" "$example"; do
	for engine in ours rack-same rack-kit; do
		case $engine in
		ours) what="ours (rackhost, our flags)" ;;
		rack-same) what="Rack's (render-rack, our flags)" ;;
		rack-kit) what="Rack's (render-rack, kit's package)" ;;
		esac
		python3 - "$WORK/$(basename "${patch%.*}")-$engine" "$seconds" "$(basename "$patch")" "$what" <<'PY'
import statistics, sys
runs = [tuple(map(float, l.split())) for l in open(sys.argv[1]) if l.strip()]
s = float(sys.argv[2])
wall = sorted(s / w for w, _ in runs)
cpu = max(s / c for _, c in runs)
print("%-38s %-36s %7.0fx %7.0fx %9.0fx" % (sys.argv[3], sys.argv[4], wall[-1], statistics.median(wall), cpu))
PY
	done
done
