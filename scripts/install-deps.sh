#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the headless host
# need, when any is missing.
#   scripts/install-deps.sh official   also what the official Rack SDK and host
#                                      need, a screen for the host (Xvfb) and
#                                      numpy for reading renders
#   scripts/install-deps.sh listening  the same, and what writing the listening
#                                      examples needs (oggenc, matplotlib)
#   scripts/install-deps.sh windows    also the Windows cross compiler, Wine to
#                                      run its programs, jq and zstd (the kit's
#                                      make) and dpkg-dev (for source packages)
#   scripts/install-deps.sh macos      also what the macOS cross build needs
#                                      besides zig: npm (to fetch zig), LLVM's
#                                      Mach-O tools, rsync, jq and zstd (the
#                                      kit's make) and jansson (the host's
#                                      names)
set -euo pipefail

packages=(
	build-essential cmake ninja-build pkg-config ccache
	libjansson-dev librsvg2-dev libcairo2-dev libxml2-dev fonts-dejavu-core python3-fonttools librsvg2-bin
	libgtest-dev libbenchmark-dev
	clang libclang-rt-14-dev clang-format
)
if [ "${1:-}" = official ] || [ "${1:-}" = listening ]; then
	packages+=(
		jq zstd
		libglew2.2 libglfw3 libjansson4 libcurl4 libarchive13 libspeexdsp1 libsamplerate0 libasound2
		libjack-jackd2-0 libpulse0 libgl1 libgl1-mesa-dri
		xvfb xdotool imagemagick tesseract-ocr tesseract-ocr-eng
		python3-numpy
	)
fi
if [ "${1:-}" = listening ]; then
	packages+=(vorbis-tools python3-matplotlib)
fi
if [ "${1:-}" = windows ]; then
	packages+=(g++-mingw-w64-x86-64-posix wine64 jq zstd dpkg-dev)
fi
if [ "${1:-}" = macos ]; then
	packages+=(llvm-14 rsync jq zstd libjansson4)
	# Debian's npm, unless node's own packages (which carry npm) are there.
	command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
