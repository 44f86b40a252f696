#!/usr/bin/env bash
# Renders a patch offline on the official Rack host's own engine, as fast as
# it goes, to a WAV file with the headless host's conventions (volts / 10,
# the same writer): what reaches the patch's Core audio module, or the
# headless host's Recorder (its Clock and Recorder are there too).
#   scripts/render-rack.sh PATCH -o OUT.wav [--seconds S] [--sample-rate R]
#                          [--format f32|s24] [--user-folder DIR]
# Plug-ins: Chordwright (built with the kit's `make dist`, or the package in
# CHORDWRIGHT_VCVPLUGIN) and the host maker's free modules (RACK_FUNDAMENTAL,
# default the Fundamental folder beside the host); with --user-folder DIR,
# those a player installed in the Rack user folder DIR instead, which is only
# read. Each render runs in a fresh user folder, removed at the end.
#   RACK_DIR   the official SDK  (default ../shared/rack/Rack-SDK)
#   RACK_HOST  the official host (default ../shared/rack/Rack)
# The renderer and the package are built once per state of their sources,
# into build-rack/. Exit status: 0 rendered, 1 bad input or a failed render,
# 2 a wrong command line or no official host.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

usage() {
	echo "usage: scripts/render-rack.sh PATCH -o OUT.wav [--seconds S] [--sample-rate R] [--format f32|s24] [--user-folder DIR]" >&2
	exit 2
}
die() {
	echo "render-rack: $*" >&2
	exit 1
}

patch="" out="" user_folder="" pass=()
while [ $# -gt 0 ]; do
	case "$1" in
	-o | --output)
		[ $# -ge 2 ] || usage
		out=$2
		shift 2
		;;
	--user-folder)
		[ $# -ge 2 ] || usage
		user_folder=$2
		shift 2
		;;
	--seconds | --sample-rate | --format)
		[ $# -ge 2 ] || usage
		pass+=("$1" "$2")
		shift 2
		;;
	-h | --help) usage ;;
	-*)
		echo "render-rack: unknown option $1" >&2
		usage
		;;
	*)
		[ -z "$patch" ] || {
			echo "render-rack: unexpected argument $1" >&2
			usage
		}
		patch=$1
		shift
		;;
	esac
done
[ -n "$patch" ] && [ -n "$out" ] || usage
[ -e "$patch" ] || die "patch $patch does not exist"
[ -f "$patch" ] || die "patch $patch is not a file"
[ -r "$patch" ] || die "patch $patch cannot be read"
if [ -n "$user_folder" ]; then
	[ -d "$user_folder" ] || die "user folder $user_folder does not exist"
	user_folder=$(realpath "$user_folder")
fi
patch=$(realpath "$patch")
[ -z "${CHORDWRIGHT_VCVPLUGIN:-}" ] || CHORDWRIGHT_VCVPLUGIN=$(realpath "$CHORDWRIGHT_VCVPLUGIN")
out=$(realpath -m "$out")
[ -d "$(dirname "$out")" ] || die "folder $(dirname "$out") for $out does not exist"

cd "$ROOT"
source scripts/official-lib.sh
if ! reason=$(official_locate 2>&1); then
	echo "render-rack: ${reason:-no official Rack host and kit here (set RACK_HOST and RACK_DIR)}; nothing rendered" >&2
	exit 2
fi
official_locate

# Scratch: builds, then the fresh user folder of this render.
official_work

# build-rack/KIND-KEY: KEY sums what KIND is made of and built with, so a
# change to any of it builds it again; earlier builds of KIND are removed.
cached() {
	local kind=$1 key
	shift
	key=$({
		echo "$RACK_DIR $RACK_HOST"
		c++ --version | head -n 1
		# Files deleted but not yet committed are still in git's index: only
		# those present count, as in the clean copy that is built.
		git ls-files -z --cached --others --exclude-standard -- "$@" |
			while IFS= read -r -d '' f; do [ ! -e "$f" ] || printf '%s\0' "$f"; done | sort -z | xargs -0 sha256sum
	} | sha256sum | cut -c1-16)
	echo "$ROOT/build-rack/$kind-$key"
}
# Moves the finished build $2 into place as $1.
keep_build() {
	mkdir -p "$ROOT/build-rack"
	find "$ROOT/build-rack" -mindepth 1 -maxdepth 1 -name "$(basename "${1%-*}")-*" ! -name "$(basename "$1")" \
		-exec rm -rf {} +
	mv -T "$2" "$1" 2>/dev/null || true
}

renderer=$(cached renderer host/official host/WavWriter.\* host/CoreModules.\* host/Progress.\*)
if [ ! -x "$renderer/rack-render" ]; then
	echo "render-rack: building the renderer once, into $renderer" >&2
	scripts/install-deps.sh official >&2
	mkdir -p "$WORK/renderer"
	# -O2, as the headless host is built.
	c++ -std=c++17 -O2 -Wall -Wextra -Wno-unused-parameter -DARCH_LIN -DARCH_X64 \
		-I "$RACK_DIR/include" -I "$RACK_DIR/dep/include" -I host -I host/official \
		host/official/*.cpp host/WavWriter.cpp host/CoreModules.cpp host/Progress.cpp -o "$WORK/renderer/rack-render" \
		-L "$RACK_HOST" -lRack -Wl,-rpath,"$RACK_HOST" -ljansson -ldl -lpthread >&2
	keep_build "$renderer" "$WORK/renderer"
fi

# The package players install, unless one is given or the player's own
# plug-ins are used.
package=${CHORDWRIGHT_VCVPLUGIN:-}
if [ -z "$user_folder" ] && [ -z "$package" ]; then
	built=$(cached package src res presets examples plugin.json Makefile 'LICENSE*')
	if [ ! -f "$built/Chordwright.vcvplugin" ]; then
		echo "render-rack: building the plug-in's package once, into $built" >&2
		scripts/install-deps.sh official >&2
		official_build "$WORK/package" >&2
		mkdir -p "$WORK/built"
		cp "$PACKAGE" "$WORK/built/Chordwright.vcvplugin"
		keep_build "$built" "$WORK/built"
	fi
	package=$built/Chordwright.vcvplugin
fi

user=$WORK/user
mkdir -p "$user/plugins-lin-x64"
settings=$(official_settings)
if [ -z "$user_folder" ]; then
	cp "$package" "$user/plugins-lin-x64/"
	if official_fundamental; then
		cp "$FUNDAMENTAL_PACKAGE" "$user/plugins-lin-x64/"
	else
		echo "render-rack: no Fundamental package (RACK_FUNDAMENTAL); rendering without it" >&2
	fi
else
	# The player's plug-ins, read where they are. A package the host has not
	# unpacked yet is copied, and unpacked here; so that unpacking never
	# writes into the player's folder, its plug-in's folder is not linked.
	players=$user_folder/plugins-lin-x64
	declare -A packaged=()
	for package in "$players"/*.vcvplugin; do
		[ -f "$package" ] || continue
		slug=$(tar --zstd -tf "$package" 2>/dev/null | head -n 1 | cut -d/ -f1 || true)
		[ -n "$slug" ] || die "$package is not a plug-in package"
		packaged[$slug]=1
		cp "$package" "$user/plugins-lin-x64/"
	done
	for folder in "$players"/*/; do
		[ -d "$folder" ] || continue
		slug=$(basename "$folder")
		[ -n "${packaged[$slug]:-}" ] || ln -s "${folder%/}" "$user/plugins-lin-x64/$slug"
	done
	# The player's settings (plug-ins keep theirs there), without the update check.
	if [ -f "$user_folder/settings.json" ] && jq -e 'type == "object"' "$user_folder/settings.json" >/dev/null 2>&1; then
		settings=$(jq -c ". + $settings" "$user_folder/settings.json")
	fi
fi
echo "$settings" >"$user/settings.json"

status=0
"$renderer/rack-render" "$patch" -o "$out" --system "$RACK_HOST" --user "$user" ${pass[@]+"${pass[@]}"} || status=$?
if [ -f "$user/log.txt" ] && ! official_clean_end "$user/log.txt"; then
	echo "render-rack: the host did not stop cleanly; its log:" >&2
	tail -n 20 "$user/log.txt" >&2
	[ "$status" -ne 0 ] || status=1
fi
exit "$status"
