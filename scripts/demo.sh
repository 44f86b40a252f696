#!/usr/bin/env bash
# Builds everything, renders ten seconds of the demo patch and draws both
# panels, all into out/.
#   BUILD_DIR  build folder (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
# Relative paths in the compiler cache, so another checkout reuses it.
export CCACHE_BASEDIR="$PWD"

build="${BUILD_DIR:-build}"
if [ -f scripts/install-deps.sh ]; then
	bash scripts/install-deps.sh
fi
cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build"

mkdir -p out
"$build/rackhost" render examples/rackhost/demo.json -o out/demo.wav --seconds 10
"$build/rackhost" screenshot --model Quadrelle -o out/Quadrelle.png
"$build/rackhost" screenshot --model Motifex -o out/Motifex.png

echo
echo "Demo audio:      $(pwd)/out/demo.wav"
echo "Quadrelle panel: $(pwd)/out/Quadrelle.png"
echo "Motifex panel:   $(pwd)/out/Motifex.png"
