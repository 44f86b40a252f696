#!/usr/bin/python3
"""Turns the editable panel sources res-src/*.svg into the panel graphics res/*.svg.

The host draws panel graphics with nanosvg, which draws no text, so every
<text> of a source becomes a filled <path> of its glyph outlines, read from
DejaVu Sans (Debian's fonts-dejavu-core) with python3-fonttools: advances and
kerning pairs come from the font. Classes name the roles of res-src/panel.css
(title, name, mark, ...), shared by both panels, and are resolved into plain
attributes. The output holds only what nanosvg draws; anything else in a source
is refused. Beside each source goes NAME.labels.json: every printed name with
its box in millimetres, and the boxes of the display areas (ids "display-*"),
for the tests.

Usage: /usr/bin/python3 scripts/make-panels.py [--out ROOT]   (ROOT: the repo)
Writes ROOT/res/NAME.svg and ROOT/res-src/NAME.labels.json. Deterministic.
"""
import argparse
import json
import os
import re
import sys
import xml.etree.ElementTree as ET

from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.svgPathPen import SVGPathPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTFont

PANELS = ["Quadrelle", "Motifex"]
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONTS = {"normal": "DejaVuSans.ttf", "bold": "DejaVuSans-Bold.ttf"}

SVG_NS = "http://www.w3.org/2000/svg"
XLINK_NS = "http://www.w3.org/1999/xlink"

# What nanosvg draws, and the attributes it reads.
SHAPES = {"path", "rect", "circle", "ellipse", "line", "polyline", "polygon"}
KEPT = SHAPES | {"svg", "g", "defs", "linearGradient", "radialGradient", "stop"}
# Never drawn by anyone; dropped from the sources without complaint.
METADATA = {"title", "desc", "metadata", "style"}
PRESENTATION = {
    "display", "fill", "opacity", "fill-opacity", "stroke", "stroke-width", "stroke-dasharray",
    "stroke-dashoffset", "stroke-opacity", "stroke-linecap", "stroke-linejoin", "stroke-miterlimit",
    "fill-rule", "transform", "stop-color", "stop-opacity", "offset", "id",
}
GEOMETRY = {
    "svg": {"width", "height", "viewBox", "version"},
    "path": {"d"},
    "rect": {"x", "y", "width", "height", "rx", "ry"},
    "circle": {"cx", "cy", "r"},
    "ellipse": {"cx", "cy", "rx", "ry"},
    "line": {"x1", "y1", "x2", "y2"},
    "polyline": {"points"},
    "polygon": {"points"},
    "linearGradient": {"x1", "y1", "x2", "y2", "gradientUnits", "gradientTransform", "spreadMethod", "href"},
    "radialGradient": {"cx", "cy", "r", "fx", "fy", "gradientUnits", "gradientTransform", "spreadMethod", "href"},
    "g": set(), "defs": set(), "stop": set(),
}
TEXT_PROPS = {"font-size", "font-weight", "letter-spacing", "text-anchor"}


class PanelError(Exception):
    pass


def num(v):
    """A number as written to the output: at most three decimals (a thousandth of a mm)."""
    s = "%.3f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def parse_css(path):
    """Class rules of a small stylesheet: {class: {property: value}}."""
    text = open(path, encoding="utf-8").read()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    rules = {}
    for m in re.finditer(r"\.([A-Za-z][\w-]*)\s*\{([^}]*)\}", text):
        decls = {}
        for d in m.group(2).split(";"):
            if ":" in d:
                k, v = d.split(":", 1)
                v = v.strip()
                # User units: the panels' view boxes are in millimetres.
                if re.fullmatch(r"-?[\d.]+px", v):
                    v = v[:-2]
                decls[k.strip()] = v
        rules[m.group(1)] = decls
    return rules


class Font:
    def __init__(self, filename):
        self.tt = TTFont(os.path.join(FONT_DIR, filename))
        self.glyphs = self.tt.getGlyphSet()
        self.cmap = self.tt.getBestCmap()
        self.upem = self.tt["head"].unitsPerEm
        self.kern = {}
        if "kern" in self.tt:
            for table in self.tt["kern"].kernTables:
                self.kern.update(table.kernTable)

    def layout(self, text, size, spacing):
        """Glyph names and pen positions (font units) plus the advance width in user units."""
        scale = size / self.upem
        placed, pen, prev = [], 0.0, None
        for i, ch in enumerate(text):
            name = self.cmap.get(ord(ch))
            if name is None:
                raise PanelError("DejaVu Sans has no glyph for %r" % ch)
            if prev is not None:
                pen += self.kern.get((prev, name), 0) + spacing / scale
            placed.append((name, pen))
            pen += self.glyphs[name].width
            prev = name
        return placed, pen * scale

    def outline(self, text, x, y, size, spacing, anchor):
        placed, width = self.layout(text, size, spacing)
        if anchor == "middle":
            x -= width / 2
        elif anchor == "end":
            x -= width
        elif anchor not in ("start", None):
            raise PanelError("unknown text-anchor %r" % anchor)
        scale = size / self.upem
        path = SVGPathPen(self.glyphs, ntos=lambda v: num(v))
        bounds = BoundsPen(self.glyphs)
        for name, pen in placed:
            t = (scale, 0, 0, -scale, x + pen * scale, y)
            self.glyphs[name].draw(TransformPen(path, t))
            self.glyphs[name].draw(TransformPen(bounds, t))
        return path.getCommands(), bounds.bounds


def local(tag):
    return tag.split("}", 1)[1] if tag.startswith("{") else tag


def attr_name(key):
    if key == "{%s}href" % XLINK_NS:
        return "href"
    return None if key.startswith("{") else key


class Converter:
    def __init__(self, rules, fonts, name):
        self.rules, self.fonts, self.name = rules, fonts, name
        self.labels, self.displays = [], []

    def resolve(self, el, inherited):
        """Own attributes of el with its classes and style attribute resolved, in nanosvg's
        order of precedence (later wins), plus the text properties it inherits."""
        own = {}
        for key, value in el.attrib.items():
            key = attr_name(key)
            if key is None:
                continue  # an editor's namespaced bookkeeping
            if key == "class":
                for c in value.split():
                    if c not in self.rules:
                        raise PanelError("%s: no rule for class %r" % (self.name, c))
                    own.update(self.rules[c])
            elif key == "style":
                for d in value.split(";"):
                    if ":" in d:
                        k, v = d.split(":", 1)
                        own[k.strip()] = v.strip()
            else:
                own[key] = value
        text = {k: v for k, v in inherited.items()}
        for k in list(own):
            if k in TEXT_PROPS:
                text[k] = own.pop(k)
        return own, text

    def element(self, el, inherited, in_defs):
        tag = local(el.tag)
        if tag in METADATA:
            return None
        if tag == "text":
            return self.text(el, inherited)
        if tag not in KEPT:
            raise PanelError("%s: <%s> is not drawn by the host" % (self.name, tag))
        own, text = self.resolve(el, inherited)
        if "fill" in own and tag == "g":
            text["fill"] = own["fill"]
        out = ET.Element(tag)
        for k, v in own.items():
            if k not in PRESENTATION and k not in GEOMETRY[tag]:
                raise PanelError("%s: attribute %s of <%s> is not read by the host" % (self.name, k, tag))
            out.set("xlink:href" if k == "href" else k, v)
        if own.get("id", "").startswith("display-"):
            if tag != "rect":
                raise PanelError("%s: display area %s must be a rect" % (self.name, own["id"]))
            x, y = float(own["x"]), float(own["y"])
            self.displays.append({"id": own["id"], "box": [x, y, x + float(own["width"]), y + float(own["height"])]})
        for child in el:
            c = self.element(child, text, in_defs or tag == "defs")
            if c is not None:
                out.append(c)
        return out

    def text(self, el, inherited):
        if len(el):
            raise PanelError("%s: <text> with child elements is not supported" % self.name)
        own, props = self.resolve(el, inherited)
        content = (el.text or "").strip()
        role = (el.get("class") or "").split()
        fill = own.pop("fill", inherited.get("fill"))
        x, y = float(own.pop("x")), float(own.pop("y"))
        ident = own.pop("id", None)
        if own:
            raise PanelError("%s: text %r has unsupported attributes %s" % (self.name, content, sorted(own)))
        if "font-size" not in props or fill is None:
            raise PanelError("%s: text %r has no role giving its size and colour" % (self.name, content))
        size = float(props["font-size"])
        weight = props.get("font-weight", "normal")
        font = self.fonts["bold" if weight in ("bold", "700") else "normal"]
        d, box = font.outline(content, x, y, size, float(props.get("letter-spacing", 0)),
                              props.get("text-anchor", "start"))
        out = ET.Element("path")
        if ident:
            out.set("id", ident)
        out.set("fill", fill)
        out.set("d", d)
        self.labels.append({"text": content, "role": role[0] if role else "",
                            "size": size, "box": [round(v, 3) for v in box]})
        return out


def serialize(el, depth=0):
    pad = "  " * depth
    attrs = "".join(' %s="%s"' % (k, v.replace("&", "&amp;").replace('"', "&quot;")) for k, v in el.attrib.items())
    if not len(el):
        return "%s<%s%s/>\n" % (pad, el.tag, attrs)
    inner = "".join(serialize(c, depth + 1) for c in el)
    return "%s<%s%s>\n%s%s</%s>\n" % (pad, el.tag, attrs, inner, pad, el.tag)


def convert(root_dir, name, rules, fonts):
    src = os.path.join(root_dir, "res-src", name + ".svg")
    tree = ET.parse(src)
    root = tree.getroot()
    if local(root.tag) != "svg":
        raise PanelError("%s: the root element is not <svg>" % name)
    conv = Converter(rules, fonts, name)
    out = conv.element(root, {}, False)
    out.set("xmlns", SVG_NS)
    if "xlink:href" in ET.tostring(out, encoding="unicode"):
        out.set("xmlns:xlink", XLINK_NS)
    svg = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           "<!-- Generated from res-src/%s.svg by scripts/make-panels.py; edit the source. -->\n" % name)
    svg += serialize(out)
    def rows(items):
        return ",\n".join("  " + json.dumps(i, sort_keys=True) for i in items)
    labels = '{"panel": %s,\n "labels": [\n%s\n ],\n "displays": [\n%s\n ]}\n' % (
        json.dumps(name), rows(conv.labels), rows(conv.displays))
    return svg, labels


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default=here, help="folder receiving res/ and res-src/*.labels.json")
    ap.add_argument("--src", default=here, help="folder holding res-src/")
    args = ap.parse_args()
    rules = parse_css(os.path.join(args.src, "res-src", "panel.css"))
    fonts = {k: Font(v) for k, v in FONTS.items()}
    try:
        results = {n: convert(args.src, n, rules, fonts) for n in PANELS}
    except PanelError as e:
        sys.exit("make-panels: %s" % e)
    os.makedirs(os.path.join(args.out, "res"), exist_ok=True)
    os.makedirs(os.path.join(args.out, "res-src"), exist_ok=True)
    for n, (svg, labels) in results.items():
        with open(os.path.join(args.out, "res", n + ".svg"), "w", encoding="utf-8") as f:
            f.write(svg)
        with open(os.path.join(args.out, "res-src", n + ".labels.json"), "w", encoding="utf-8") as f:
            f.write(labels)


if __name__ == "__main__":
    main()
