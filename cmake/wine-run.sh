#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: DLLS (folders, ':' between
# them) are searched for the libraries it links. Quiet but for Wine's errors,
# without a display; the Wine prefix is WINEPREFIX or one in the user's cache,
# made on first use.
#   cmake/wine-run.sh DLLS PROGRAM [ARGUMENTS...]
set -euo pipefail
dlls=$1
shift
export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/chordwright-windows/wine}
# Wine's error lines stay, so a program that Wine could not start says why;
# its notes on what it leaves unimplemented go.
export WINEDEBUG=${WINEDEBUG:-fixme-all}
# No offer to install .NET or a browser engine into a new prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# Debian's wine64 is built without Wine's preloader, as a program at a fixed
# address below 2 GiB. With address space randomization the kernel starts the
# C library's heap anywhere in the GiB above it; now and then (2 starts in
# 7,000 here) that heap covers the page Wine must map at 0x7ffe0000 (Windows'
# shared user data), and Wine stops at once: "failed to map the shared user
# data" (c0000018). Unrandomized, the heap starts just after the program.
wine=(setarch -R /usr/lib/wine/wine64)
# The prefix is marked made once wineboot has made it: the registry files only
# reach the disk when the Wine server saves them, which a server kept running
# (scripts/test-windows.sh) does half a minute later.
if [ ! -f "$WINEPREFIX/.made" ]; then
	mkdir -p "$WINEPREFIX"
	flock "$WINEPREFIX/.making" bash -c \
		"[ -f '$WINEPREFIX/.made' ] || { ${wine[*]} wineboot -i >/dev/null 2>&1 && touch '$WINEPREFIX/.made'; }"
fi
# Wine reads / as drive Z:, and its path list is separated by ';'.
WINEPATH=
IFS=: read -ra folders <<<"$dlls"
for folder in "${folders[@]}"; do
	WINEPATH+="${WINEPATH:+;}Z:$folder"
done
export WINEPATH
# Console lines end in "\r\n" there; the readers of the output (CTest's test
# discovery among them) expect "\n".
"${wine[@]}" "$@" | sed 's/\r$//'
