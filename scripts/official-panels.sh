#!/usr/bin/env bash
# Pictures of both panels from the real Rack 2 host, and checks against its
# renderer:
#  1. builds the plug-in from a clean copy of the tree with the official kit
#     (or takes CHORDWRIGHT_VCVPLUGIN), installs it into a fresh user folder and
#     runs the host's screenshot mode under Xvfb: docs/Quadrelle.png and
#     docs/Motifex.png (module browser previews at zoom 2);
#  2. rasterizes each res/*.svg with nanosvg (the host's SVG code, from the kit)
#     and with librsvg (rsvg-convert) and fails unless they match within 0.1 %
#     of the pixels;
#  3. reads every printed name back from the host's pictures with tesseract and
#     fails on any name not read as printed.
# Kit and host: RACK_DIR and RACK_HOST (default ../shared/rack/Rack-SDK and
# ../shared/rack/Rack beside the repo). Display: CHORDWRIGHT_DISPLAY (default a
# free one, with an Xvfb of our own that is stopped afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "official-panels" "nothing checked"
start=$(date +%s)
tmp="$(mktemp -d /tmp/official-panels.XXXXXX)"
cleanup() {
	official_stop_xvfb
	rm -rf "$tmp"
}
trap cleanup EXIT

# 1. Build, install and let the host draw every panel it has.
official_package "$tmp"
user=$(official_user_folder "$tmp")
echo '{"version": "2.4.1", "modules": [], "cables": []}' >"$tmp/empty.vcv"
slug="$(ls "$user/plugins-lin-x64")"
official_start_xvfb
(cd "$RACK_HOST" && timeout 60 ./Rack -t 2 -u "$user" -s "$RACK_HOST" "$tmp/empty.vcv" >"$tmp/rack.log" 2>&1) || {
	tail -20 "$user/log.txt" 2>/dev/null || tail -20 "$tmp/rack.log"
	echo "official-panels: the host's screenshot run failed"
	exit 1
}
failed=0
if official_log_problems "$user/log.txt" | grep .; then
	echo "official-panels: the host complained (above)"
	failed=1
fi
mkdir -p docs
for panel in Quadrelle Motifex; do
	shot="$user/screenshots/$slug/$panel.png"
	[ -f "$shot" ] || {
		echo "official-panels: the host made no picture of $panel"
		exit 1
	}
	cp "$shot" "docs/$panel.png"
done

# Motifex playing a factory preset in a window of the host, its display
# filled, for the manual: docs/Motifex-running.png. The host puts the first
# module of a patch at the rack's top left, 30 px in and 60 px down in its
# default window; the crop is the panel at 100 %.
python3 - "$tmp/running.vcv" "presets/Motifex/D Minor Busy Sixteenths.vcvm" <<'PY'
import json, sys
module = json.load(open(sys.argv[2]))
module.update({"id": 1, "pos": [0, 0]})
module["params"].append({"id": 13, "value": 1.0})
json.dump({"version": "2.4.1", "modules": [module], "cables": []}, open(sys.argv[1], "w"))
PY
window_user=$(official_user_folder "$tmp")
(cd "$RACK_HOST" && exec timeout 60 ./Rack -u "$window_user" -s "$RACK_HOST" "$tmp/running.vcv" >/dev/null 2>&1) &
rack_pid=$!
sleep 5
import -window root "$tmp/window.png"
window=$(xdotool search --name "VCV Rack" | head -n 1 || true)
[ -n "$window" ] && xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+q 2>/dev/null || true
wait "$rack_pid" || { echo "official-panels: the windowed run failed"; failed=1; }
# Without time stamps, so that an unchanged picture leaves the file unchanged.
convert "$tmp/window.png" -crop 600x380+30+60 +repage -strip -define png:exclude-chunks=date,time docs/Motifex-running.png

# 2. nanosvg against librsvg.
g++ -O2 -std=c++17 -o "$tmp/panel-check" scripts/panel-check.cpp -I"$RACK_DIR/dep/include" \
	$(pkg-config --cflags --libs cairo jansson) -lm
for panel in Quadrelle Motifex; do
	# 150 dpi: the host's 75 px per inch at zoom 2.
	rsvg-convert --dpi-x 150 --dpi-y 150 -o "$tmp/$panel.rsvg.png" "res/$panel.svg"
	"$tmp/panel-check" compare "res/$panel.svg" "$tmp/$panel.rsvg.png" || failed=1
done

# 3. The printed names read back from the host's pictures.
# Each name's box (from res-src/*.labels.json) cropped from the host's picture,
# read as one line at two scales: tesseract's line reader misses some short
# words at one scale or the other, which says nothing about the print.
# Single characters (note letters, octave digits) are left out.
for panel in Quadrelle Motifex; do
	readings=()
	for scale in 2.5 4; do
		dir="$tmp/ocr-$panel-$scale"
		mkdir -p "$dir"
		"$tmp/panel-check" crops "docs/$panel.png" "res-src/$panel.labels.json" $scale "$dir" >/dev/null
		tesseract "$dir/list.txt" "$dir/read" --psm 7 -l eng >/dev/null 2>&1
		readings+=("$dir/read.txt")
	done
	printf '%s: ' "$panel"
	"$tmp/panel-check" ocr "$tmp/ocr-$panel-4/expected.txt" "${readings[@]}" || failed=1
done

echo "official-panels: $( [ $failed -eq 0 ] && echo passed || echo FAILED ) in $(($(date +%s) - start)) s;" \
	"pictures in docs/Quadrelle.png, docs/Motifex.png"
exit $failed
