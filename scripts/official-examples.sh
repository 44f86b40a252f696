#!/usr/bin/env bash
# The example patches and listening examples on Rack's own engine, with the
# host maker's free modules (Fundamental) that the examples use:
#   - every parameter and port id the example patches give a Fundamental
#     module (scripts/patchlib.py) is the one its module calls by that name;
#   - scripts/make-listening.py --check: each example and each factory preset
#     rendered again with scripts/render-rack.sh matches its listening
#     example; each example sounds within 2 s, peaks between 2 V and 10 V
#     at the audio module, and every Motifex gate into an envelope opens it.
# (scripts/official-presets.sh loads the example patches in the host itself.)
# The kit, the host, the package and our build: see scripts/official-lib.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/official-lib.sh
official_locate_or_skip "official-examples" "skipped"
if ! official_fundamental; then
	echo "official-examples: no Fundamental package (set RACK_FUNDAMENTAL); skipped"
	exit 0
fi
scripts/install-deps.sh official
official_work

echo "== Fundamental's names for the ids the example patches use"
mkdir "$WORK/fundamental"
tar --zstd -xf "$FUNDAMENTAL_PACKAGE" -C "$WORK/fundamental"
# clang: the host's internal headers used here are only deprecated there.
clang++ -std=c++17 -O1 -DARCH_LIN -DARCH_X64 -I "$RACK_DIR/include" -I "$RACK_DIR/dep/include" \
	-Wno-deprecated-declarations scripts/module-ports.cpp -o "$WORK/module-ports" \
	-L "$RACK_HOST" -lRack -Wl,-rpath,"$RACK_HOST" -ljansson -ldl -lpthread
models=$(/usr/bin/python3 -c "import sys; sys.path.insert(0, 'scripts'); import patchlib; print(' '.join(patchlib.FUNDAMENTAL))")
# shellcheck disable=SC2086
"$WORK/module-ports" "$WORK/fundamental/Fundamental" $models >"$WORK/ports.json"
/usr/bin/python3 - "$WORK/ports.json" <<'PY'
import json, sys
sys.path.insert(0, "scripts")
import patchlib
reported = json.load(open(sys.argv[1]))
wrong = []
for model, kinds in patchlib.FUNDAMENTAL.items():
    for kind in ("params", "inputs", "outputs"):
        for name, id in kinds[kind].items():
            theirs = reported[model][kind].get(str(id))
            if theirs != name:
                wrong.append("%s %s %d is %r, not %r" % (model, kind, id, theirs, name))
if wrong:
    sys.exit("\n".join(["FAILED:"] + wrong))
print("%d modules: every name matches its id" % len(patchlib.FUNDAMENTAL))
PY

echo "== Examples and listening examples rendered on Rack's engine"
/usr/bin/python3 scripts/make-listening.py --check
