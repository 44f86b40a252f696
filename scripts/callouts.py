#!/usr/bin/python3
"""Draws numbered markers onto a panel picture for the players' manuals.

The markers sit beside the controls, found where the panel puts them: the
headless host builds the panel (as the module browser does, without a
module) and lists every control, port and light with its centre. The legend
numbers below are the ones the manual's legend uses.

usage: scripts/callouts.py MODEL PANEL.png OUT.png [RACKHOST]
  e.g. scripts/callouts.py Quadrelle docs/Quadrelle.png docs/Quadrelle-callouts.png
Needs ImageMagick's convert and the DejaVu fonts.
"""
import json
import os
import subprocess
import sys

from patchlib import ROOT, chordwright_ids

# Number, then what it marks: a widget by the enum name of its id (its kind
# from the name's ending), or ("at", x, y) in panel pixels for the module's
# own text, which has no widget. The marker goes to the left of the widget
# ("left") or above it ("up").
LEGENDS = {
    "Quadrelle": [
        (1, "WAVE_1_PARAM", "left"), (2, "WAVE_LIGHTS", "up"),
        (3, "NOTE_1_PARAM", "left"), (4, "LETTER_LIGHTS", "up"),
        (5, "OCTAVE_1_PARAM", "left"), (6, "OCTAVE_LIGHTS", "up"),
        (7, "VOCT_LIGHT", "left"),
        (8, "GAIN_1_PARAM", "left"), (9, "GAIN_LIGHTS", "up"),
        (10, "VOICE_1_OUTPUT", "left"),
        (11, "HARMONY_MAJOR_PARAM", "left"), (12, "HARMONY_MINOR_PARAM", "left"), (13, "HARMONY_FIFTH_PARAM", "left"),
        (14, "MIX_OUTPUT", "left"),
        (15, "TRACK_BUTTON_CH_4_PARAM", "left"), (16, "DRONE_BUTTON_CH_4_PARAM", "left"),
        (17, "TRACK_BUTTON_CH_3_PARAM", "left"), (18, "DRONE_BUTTON_CH_3_PARAM", "left"),
        (19, "VOCT_INPUT", "left"),
        (20, "FINE_TUNE_PARAM", "up"), (21, "RANGE_PARAM", "up"),
        (22, "MASTER_GAIN_PARAM", "left"),
    ],
    "Motifex": [
        (1, "SPACE_PARAM", "left"), (2, "SYNCOPATION_PARAM", "left"), (3, "PACE_PARAM", "left"),
        (4, "MOMENTUM_PARAM", "left"), (5, "ROOT_LOCK_PARAM", "left"), (6, "OCTAVE_PARAM", "left"),
        (7, ("at", 151, 80), "left"), (8, "ROW_1_LIGHT", "up"),
        (9, "TUNE_INPUT", "left"), (10, "CLOCK_INPUT", "left"),
        (11, "REGENERATE_INPUT", "left"), (12, "REGENERATE_PARAM", "up"),
        (13, "RUN_INPUT", "left"), (14, "RUN_PARAM", "up"),
        (15, "RESET_INPUT", "left"), (16, "RESET_PARAM", "up"),
        (17, "KEY_UP_PARAM", "left"), (18, "KEY_DOWN_PARAM", "left"), (19, ("at", 403, 293), "up"),
        (20, "PROGRESSION_CHORD_1_PARAM", "up"), (21, ("at", 329, 351), "left"),
        (22, "CV_OUTPUT", "left"), (23, "GATE_OUTPUT", "left"),
    ],
}

KINDS = {"_PARAM": "param", "_INPUT": "input", "_OUTPUT": "output", "_LIGHT": "light", "_LIGHTS": "light"}


def widget_key(model, name):
    """(kind, id) of the widget whose id is the model's enum member `name`."""
    kind = next(k for ending, k in KINDS.items() if name.endswith(ending))
    return kind, chordwright_ids()[model][name]


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    model, panel_png, out_png = sys.argv[1:4]
    rackhost = sys.argv[4] if len(sys.argv) > 4 else os.path.join(ROOT, "build", "rackhost")
    layout = json.loads(subprocess.run([rackhost, "layout", "--model", model], check=True,
                                       capture_output=True, text=True).stdout)
    size = subprocess.run(["identify", "-format", "%w %h", panel_png], check=True, capture_output=True,
                          text=True).stdout.split()
    zoom = float(size[0]) / layout["width"]
    widgets = {(w["kind"], w["id"]): w for w in layout["widgets"]}
    radius = 8.5 * zoom / 2 + 2
    # What a marker must not cover, in picture pixels: every widget and every
    # printed name (boxes in mm from the panel's sidecar).
    mm = 75 / 25.4 * zoom
    blocked = [((w["x"] - w["w"] / 2) * zoom, (w["y"] - w["h"] / 2) * zoom, (w["x"] + w["w"] / 2) * zoom,
                (w["y"] + w["h"] / 2) * zoom) for w in layout["widgets"]]
    with open(os.path.join(ROOT, "res-src", model + ".labels.json")) as f:
        blocked += [tuple(v * mm for v in label["box"]) for label in json.load(f)["labels"]]

    def free(x, y):
        r = radius + 1
        if x - r < 0 or y - r < 0 or x + r > float(size[0]) or y + r > float(size[1]):
            return False
        for (x0, y0, x1, y1) in blocked:
            nx, ny = min(max(x, x0), x1), min(max(y, y0), y1)
            if (nx - x) ** 2 + (ny - y) ** 2 < r * r:
                return False
        return True

    draw = []
    for number, target, side in LEGENDS[model]:
        if isinstance(target, tuple):
            x, y, w, h = target[1], target[2], 0, 0
        else:
            w_ = widgets[widget_key(model, target)]
            x, y, w, h = w_["x"], w_["y"], w_["w"], w_["h"]
        x, y, w, h = x * zoom, y * zoom, w * zoom, h * zoom
        # The preferred side first, then the others, a little further out each round.
        dx, dy = w / 2 + radius + 2, h / 2 + radius + 2
        sides = {"left": (-dx, 0), "up": (0, -dy), "right": (dx, 0), "down": (0, dy),
                 "up-left": (-dx * 0.8, -dy * 0.8), "down-left": (-dx * 0.8, dy * 0.8)}
        order = [side] + [k for k in sides if k != side]
        spot = None
        for grow in (0, 4, 8, 12):
            for k in order:
                ox, oy = sides[k]
                cx = x + ox + (grow if ox > 0 else -grow if ox < 0 else 0)
                cy = y + oy + (grow if oy > 0 else -grow if oy < 0 else 0)
                if free(cx, cy):
                    spot = (cx, cy)
                    break
            if spot:
                break
        if not spot:
            sys.exit("no free place for marker %d" % number)
        x, y = spot
        blocked.append((x - radius, y - radius, x + radius, y + radius))
        draw += ["-fill", "#ffd400", "-stroke", "#000000", "-strokewidth", "2",
                 "-draw", "circle %.1f,%.1f %.1f,%.1f" % (x, y, x + radius, y),
                 "-fill", "#000000", "-stroke", "none", "-pointsize", "%.1f" % (radius * 1.15),
                 "-draw", "text %.1f,%.1f '%d'" % (x - radius * (0.33 if number < 10 else 0.66), y + radius * 0.42,
                                                   number)]
    subprocess.run(["convert", panel_png, "-font", "DejaVu-Sans-Bold"] + draw + [out_png], check=True)
    print(out_png)


if __name__ == "__main__":
    main()
