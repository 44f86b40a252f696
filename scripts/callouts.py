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

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Number, then what it marks: (kind, id) of a widget, or ("at", x, y) in
# panel pixels for the module's own text, which has no widget. The marker
# goes to the left of the widget ("left") or above it ("up").
LEGENDS = {
    "Quadrelle": [
        (1, ("param", 0), "left"), (2, ("light", 0), "up"),
        (3, ("param", 4), "left"), (4, ("light", 19), "up"),
        (5, ("param", 12), "left"), (6, ("light", 51), "up"),
        (7, ("light", 96), "left"),
        (8, ("param", 22), "left"), (9, ("light", 83), "up"),
        (10, ("output", 1), "left"),
        (11, ("param", 26), "left"), (12, ("param", 27), "left"), (13, ("param", 28), "left"),
        (14, ("output", 0), "left"),
        (15, ("param", 19), "left"), (16, ("param", 17), "left"),
        (17, ("param", 18), "left"), (18, ("param", 16), "left"),
        (19, ("input", 0), "left"),
        (20, ("param", 21), "up"), (21, ("param", 29), "up"),
        (22, ("param", 20), "left"),
    ],
    "Motifex": [
        (1, ("param", 0), "left"), (2, ("param", 1), "left"), (3, ("param", 2), "left"),
        (4, ("param", 3), "left"), (5, ("param", 4), "left"), (6, ("param", 5), "left"),
        (7, ("at", 151, 80), "left"), (8, ("light", 0), "up"),
        (9, ("input", 6), "left"), (10, ("input", 10), "left"),
        (11, ("input", 7), "left"), (12, ("param", 11), "up"),
        (13, ("input", 9), "left"), (14, ("param", 13), "up"),
        (15, ("input", 8), "left"), (16, ("param", 12), "up"),
        (17, ("param", 20), "left"), (18, ("param", 21), "left"), (19, ("at", 403, 293), "up"),
        (20, ("param", 16), "up"), (21, ("at", 329, 351), "left"),
        (22, ("output", 0), "left"), (23, ("output", 1), "left"),
    ],
}


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
        if target[0] == "at":
            x, y, w, h = target[1], target[2], 0, 0
        else:
            w_ = widgets[target]
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
