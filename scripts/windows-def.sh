#!/usr/bin/env bash
# Prints the module-definition file (.def) of what the given Windows objects
# import from the host library: rack::…, jansson's json_… and NanoVG's nvg…
# Functions are exported as code, everything else (vtables, type records,
# variables) as DATA. dlltool turns it into the import library that the kit's
# make links plugin.dll against, since the kit here carries only Linux's
# libRack.so.
#   scripts/windows-def.sh OBJECT... > libRack.def
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 OBJECT..." >&2; exit 2; }

symbols=$(x86_64-w64-mingw32-nm --undefined-only --format=posix "$@" | awk 'NF >= 2 && $2 == "U" {print $1}' |
	grep -E '^(_ZN4rack|_ZNK4rack|_ZT[VIS]N4rack|json_|nvg)' | sort -u)
[ -n "$symbols" ] || { echo "the objects import nothing from the host library" >&2; exit 1; }

echo "LIBRARY libRack.dll"
echo "EXPORTS"
paste <(echo "$symbols") <(echo "$symbols" | x86_64-w64-mingw32-c++filt) | while IFS=$'\t' read -r symbol readable; do
	case "$symbol" in
	json_* | nvg*) echo "$symbol" ;;
	*) if [[ "$readable" == *"("* ]]; then echo "$symbol"; else echo "$symbol DATA"; fi ;;
	esac
done
