#!/usr/bin/env bash
# The Windows job, from this Debian machine:
#   a. with the official kit (RACK_DIR, as for the official-kit job): a clean
#      copy of the tree builds plugin.dll and its -win-x64.vcvplugin with the
#      kit's own make and Debian's mingw-w64, without a compiler warning; the
#      import library of the host's libRack.dll comes from what the objects
#      import (scripts/windows-def.sh); the package holds what players get;
#   b. the stand-in host library, the plug-in and the module suites cross-built
#      with CMake (cmake/mingw-w64.cmake; jansson and GoogleTest cross-built by
#      scripts/windows-deps.sh), without the panel pictures, which need cairo,
#      librsvg and libxml2; the suites run under Wine.
# Without the official kit, part a is skipped with a message and b still runs.
# Libraries, the compiler cache and the Wine prefix are kept in
# ${XDG_CACHE_HOME:-~/.cache}/chordwright-windows, so later runs are quicker.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
JOB=Windows
scripts/install-deps.sh windows
export CCACHE_BASEDIR="$PWD"
root=$PWD
cache=${XDG_CACHE_HOME:-$HOME/.cache}/chordwright-windows
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
official_work

if official_locate; then
	phase "a: plugin.dll with the kit's make ($RACK_DIR) and mingw-w64"
	official_clean_copy "$WORK/src"
	# The kit without its Linux libRack.so, and with the import library of
	# the Windows one.
	kit=$WORK/kit
	mkdir -p "$kit"
	for entry in "$RACK_DIR"/*; do
		[ "$(basename "$entry")" = libRack.so ] || ln -s "$entry" "$kit/"
	done
	mingw=x86_64-w64-mingw32
	make=(make -C "$WORK/src" -j2 RACK_DIR="$kit" CC="ccache $mingw-gcc-posix" CXX="ccache $mingw-g++-posix"
		STRIP="$mingw-strip" OBJCOPY="$mingw-objcopy")
	log=$WORK/make.log
	# The objects first (the kit's own rules), for the import library.
	echo 'chordwright-objects: $(OBJECTS)' | "${make[@]}" -f Makefile -f - chordwright-objects >"$log" 2>&1 ||
		{ cat "$log"; fail "the objects did not build"; }
	mapfile -t objects < <(find "$WORK/src/build" -name '*.o')
	scripts/windows-def.sh "${objects[@]}" >"$kit/libRack.def"
	"$mingw-dlltool" -d "$kit/libRack.def" -l "$kit/libRack.dll.a" -D libRack.dll
	"${make[@]}" dist >>"$log" 2>&1 || { cat "$log"; fail "make dist for Windows failed"; }
	if grep -iE 'warning' "$log"; then
		fail "the Windows build gave compiler warnings (above)"
	fi
	package=$(ls "$WORK"/src/dist/*-win-x64.vcvplugin) || fail "no -win-x64.vcvplugin"
	entries=$(official_check_package "$package" plugin.dll)
	dll=$WORK/src/dist/Chordwright/plugin.dll
	headers=$("$mingw-objdump" -p "$dll")
	grep -qE '^\s+\[\s*[0-9]+\] init$' <<<"$headers" || fail "plugin.dll does not export init"
	imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers" | sort | paste -sd ' ')
	grep -qw libRack.dll <<<"$imports" || fail "plugin.dll does not import libRack.dll"
	echo "built $(basename "$package") without warnings: $entries entries;" \
		"$(($(grep -c '' "$kit/libRack.def") - 2)) symbols imported from the host; DLLs imported: $imports"
else
	phase "a skipped: no official Rack kit and host (set RACK_DIR and RACK_HOST); the stand-in build below still runs"
fi

phase "b: jansson and GoogleTest for Windows"
scripts/windows-deps.sh "$cache/prefix"

phase "b: stand-in host library, plug-in and module suites for Windows"
# One Wine server for all the Windows programs below (test discovery, the
# suites), until the job ends. Debian's quits as soon as no Windows program
# runs, and a program that connects while it quits is refused ("wine client
# error:0: recvmsg: Connection reset by peer"); between two tests none runs.
# Wine's services start with a server's first program and keep its output
# open while they run (CTest waits for it to close): that program prints none.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p || fail "a Wine server already runs on $WINEPREFIX (wineserver -k stops it)"
trap '/usr/lib/wine/wineserver -k || true; rm -rf "$WORK"' EXIT
cmake/wine-run.sh "" cmd /c exit >/dev/null 2>&1 || fail "Wine does not start programs"
PKG_CONFIG_LIBDIR=$cache/prefix/lib/pkgconfig cmake -S . -B build-windows -G Ninja \
	-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCHORDWRIGHT_WINDOWS_PREFIX="$cache/prefix" \
	-DCHORDWRIGHT_PICTURES=OFF -DCHORDWRIGHT_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build-windows >"$WORK/ninja.log" 2>&1 || { cat "$WORK/ninja.log"; fail "the Windows test build failed"; }
if grep -iE 'warning' "$WORK/ninja.log"; then
	fail "the Windows test build gave compiler warnings (above)"
fi

phase "b: the suites under Wine"
status=0
ctest --test-dir build-windows -j2 --output-on-failure --output-junit "$WORK/junit.xml" || status=$?
# Per test program: passed, failed, skipped, and why each skip.
ctest --test-dir build-windows --show-only=json-v1 >"$WORK/tests.json"
python3 - "$WORK/tests.json" "$WORK/junit.xml" <<'PY'
import collections, json, os, re, sys, xml.etree.ElementTree as ET
program = {}
for t in json.load(open(sys.argv[1]))["tests"]:
    exe = next(a for a in t["command"] if a.endswith(".exe"))
    program[t["name"]] = os.path.basename(exe)[:-len(".exe")]
counts = collections.defaultdict(lambda: [0, 0, 0])
reasons = []
for case in ET.parse(sys.argv[2]).getroot().iter("testcase"):
    name = case.get("name")
    row = counts[program.get(name, "?")]
    if case.find("failure") is not None or case.get("status") == "fail":
        row[1] += 1
    elif case.find("skipped") is not None or case.get("status") in ("disabled", "notrun"):
        row[2] += 1
        out = case.findtext("system-out") or ""
        # Not gtest's lines, nor Wine's own ("0084:err:...", "err:...").
        why = [l for l in out.splitlines() if l.strip() and not l.startswith(("[", "Running main", "Note:", "../", "..\\"))
               and not re.match(r"([0-9a-f]{4}:)?(err|warn|fixme|trace):", l)]
        reasons.append("%s: %s" % (name, why[-1].strip() if why else "(no reason given)"))
    else:
        row[0] += 1
print("%-32s %7s %7s %8s" % ("suite under Wine", "passed", "failed", "skipped"))
for name in sorted(counts):
    print("%-32s %7d %7d %8d" % (name, *counts[name]))
total = [sum(c[i] for c in counts.values()) for i in range(3)]
print("%d programs" % len(counts))
for r in reasons:
    print("skipped " + r)
print("Windows: %d passed, %d failed, %d skipped" % tuple(total))
PY
phase "done"
exit $status
