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
# The kit, the host, the package and our build: see scripts/official-lib.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "official-panels" "nothing checked"
official_work

# 1. Build, install and let the host draw every panel it has.
official_package "$WORK"
user=$(official_user_folder "$WORK")
echo '{"version": "2.4.1", "modules": [], "cables": []}' >"$WORK/empty.vcv"
slug="$(ls "$user/plugins-lin-x64")"
official_start_xvfb
official_screenshots "$user" "$WORK/empty.vcv" || {
	tail -20 "$user/log.txt" 2>/dev/null || tail -20 "$user/stdout.txt"
	fail "official-panels: the host's screenshot run failed"
}
problems=$(official_log_problems "$user/log.txt")
[ -z "$problems" ] || check_failed "official-panels: the host complained: $problems"
mkdir -p docs
for panel in Quadrelle Motifex; do
	shot="$user/screenshots/$slug/$panel.png"
	[ -f "$shot" ] || fail "official-panels: the host made no picture of $panel"
	cp "$shot" "docs/$panel.png"
done

# Motifex playing a factory preset in a window of the host, its display
# filled, for the manual: docs/Motifex-running.png. The host puts the first
# module of a patch at the rack's top left, 30 px in and 60 px down in its
# default window; the crop is the panel at 100 %.
python3 scripts/patchlib.py preset-patch "presets/Motifex/D Minor Busy Sixteenths.vcvm" "$WORK/running.vcv" --running
window_user=$(official_user_folder "$WORK")
official_start_windowed "$window_user" "$WORK/running.vcv" 60
sleep 5
import -window root "$WORK/window.png"
official_quit_windowed || check_failed "official-panels: the windowed run failed"
# Without time stamps, so that an unchanged picture leaves the file unchanged.
convert "$WORK/window.png" -crop 600x380+30+60 +repage -strip -define png:exclude-chunks=date,time docs/Motifex-running.png

# 2. nanosvg against librsvg.
g++ -O2 -std=c++17 -o "$WORK/panel-check" scripts/panel-check.cpp -I"$RACK_DIR/dep/include" \
	$(pkg-config --cflags --libs cairo jansson) -lm
for panel in Quadrelle Motifex; do
	# 150 dpi: the host's 75 px per inch at zoom 2.
	rsvg-convert --dpi-x 150 --dpi-y 150 -o "$WORK/$panel.rsvg.png" "res/$panel.svg"
	"$WORK/panel-check" compare "res/$panel.svg" "$WORK/$panel.rsvg.png" ||
		check_failed "official-panels: res/$panel.svg drawn by nanosvg and by librsvg differ (above)"
done

# 3. The printed names read back from the host's pictures.
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
		check_failed "official-panels: names on $panel's panel not read as printed (above)"
done

official_verdict "official-panels" "official-panels: passed in $SECONDS s; pictures in docs/Quadrelle.png, docs/Motifex.png"
