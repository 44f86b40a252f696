#!/usr/bin/env bash
# Cross-builds for Windows the libraries the Windows test build links that
# Debian has no mingw package of: jansson, from Debian's source package (MIT
# licence), and GoogleTest, from the sources Debian's libgtest-dev ships.
# Installs them into PREFIX (default: a folder in the user's cache) and does
# nothing when the same versions were built there before.
#   scripts/windows-deps.sh [PREFIX]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/chordwright-windows/prefix}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
version() {
	dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true
}
jansson_version=$(apt-cache policy libjansson-dev | awk '/Candidate:/ {print $2}')
stamp="jansson $jansson_version; googletest $(version libgtest-dev); compiler $(version g++-mingw-w64-x86-64-posix)"
if [ "$(cat "$prefix/built" 2>/dev/null || true)" = "$stamp" ]; then
	exit 0
fi
echo "== Cross-building for Windows into $prefix: $stamp"

# `apt-get source` needs source indexes: the binary ones' sources, as deb-src.
if ! grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
	list=/etc/apt/sources.list.d/chordwright-deb-src
	if [ -f /etc/apt/sources.list.d/debian.sources ]; then
		sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$list.sources" >/dev/null
	else
		grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
			sed 's/^deb /deb-src /' | $sudo tee "$list.list" >/dev/null
	fi
	$sudo apt-get update -qq
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The version of the binary package, or else the one the source index has.
(cd "$work" && { apt-get source -qq "jansson=$jansson_version" || apt-get source -qq jansson; } >"$work/source.log" 2>&1) ||
	{ cat "$work/source.log"; echo "cannot fetch jansson's source package" >&2; exit 1; }
rm -rf "$prefix"
mkdir -p "$prefix"
toolchain=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release
	-DCMAKE_INSTALL_PREFIX="$prefix")
# Quiet unless something fails.
run() {
	"$@" >"$work/build.log" 2>&1 || { cat "$work/build.log"; echo "failed: $*" >&2; exit 1; }
}
jansson_source=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'jansson-*')
run cmake -S "$jansson_source" -B "$work/jansson-build" "${toolchain[@]}" -DJANSSON_BUILD_SHARED_LIBS=ON \
	-DJANSSON_WITHOUT_TESTS=ON -DJANSSON_EXAMPLES=OFF -DJANSSON_BUILD_DOCS=OFF
run ninja -C "$work/jansson-build" install
cp "$jansson_source/LICENSE" "$prefix/LICENSE.jansson"
run cmake -S /usr/src/googletest -B "$work/gtest-build" "${toolchain[@]}" -DBUILD_GMOCK=OFF
run ninja -C "$work/gtest-build" install
echo "$stamp" >"$prefix/built"
