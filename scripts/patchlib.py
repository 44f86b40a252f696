"""Building Rack patches for the players' files: the example patches
(make-examples.py) and the patches the listening examples are rendered from
(make-listening.py).

Modules of the free Fundamental plug-in (bundled with every download of the
host) are named here by the names the modules give their parameters and
ports, with the ids they have in Fundamental 2.6.0; scripts/official-examples.sh
holds these names against what the installed modules report.
"""
import json
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VERSION = json.load(open(os.path.join(ROOT, "plugin.json")))["version"]
RACK_VERSION = "2.4.1"
FUNDAMENTAL_VERSION = "2.6.0"

# Chordwright's ids (src/Motifex.hpp, src/Quadrelle.hpp).
MOTIFEX_RUN_PARAM = 13
MOTIFEX_IN = {"Tune": 6, "Regenerate": 7, "Reset": 8, "Run": 9, "Clock": 10}
MOTIFEX_OUT = {"CV": 0, "Gate": 1}
QUADRELLE_IN = {"V/Oct": 0}
QUADRELLE_OUT = {"Mix": 0, "Voice 1": 1, "Voice 2": 2, "Voice 3": 3, "Voice 4": 4}
CHORDWRIGHT_HP = 40
# Note knob positions of the pitch classes (A = 0 ... G# = 11 twelfths).
NOTE = {n: round(i / 12, 6) for i, n in enumerate(["A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"])}

# Fundamental modules: width in HP, parameter, input and output ids by name.
FUNDAMENTAL = {
    "LFO": {"hp": 9,
            "params": {"Offset": 0, "Invert": 1, "Frequency": 2, "Pulse width": 5},
            "inputs": {"Clock": 4, "Reset": 2},
            "outputs": {"Sine": 0, "Triangle": 1, "Sawtooth": 2, "Square": 3}},
    "ADSR": {"hp": 9,
             "params": {"Attack": 0, "Decay": 1, "Sustain": 2, "Release": 3},
             "inputs": {"Gate": 4, "Retrigger": 5},
             "outputs": {"Envelope": 0}},
    "VCA-1": {"hp": 3,
              "params": {"Level": 0, "Response mode": 1},
              "inputs": {"CV": 0, "Channel": 1},
              "outputs": {"Channel": 0}},
    "VCF": {"hp": 7,
            "params": {"Cutoff frequency": 0, "Resonance": 2, "Cutoff frequency CV": 3, "Drive": 4},
            "inputs": {"Frequency": 0, "Audio": 3},
            "outputs": {"Lowpass filter": 0, "Highpass filter": 1}},
    "Mixer": {"hp": 3,
              "params": {"Level": 0},
              "inputs": {"Channel 1": 0, "Channel 2": 1, "Channel 3": 2, "Channel 4": 3},
              "outputs": {"Mix": 0}},
    "SEQ3": {"hp": 22,
             "params": dict({"Tempo": 0, "Run": 1, "Steps": 3},
                            **{"CV 1 step %d" % (s + 1): 4 + s for s in range(8)}),
             "inputs": {"Clock": 1, "Reset": 2},
             "outputs": {"Trigger": 0, "CV 1": 1, "CV 2": 2, "Clock": 13}},
}
AUDIO_HP = 5
AUDIO_IN = {"Left": 0, "Right": 1}


def preset(model, name):
    return json.load(open(os.path.join(ROOT, "presets", model, name + ".vcvm")))


def with_params(module, values):
    """The module with some parameters set otherwise (ids or the values' own)."""
    module = dict(module)
    given = {p["id"]: p["value"] for p in module.get("params", [])}
    given.update(values)
    module["params"] = [{"value": float(v), "id": i} for i, v in sorted(given.items())]
    return module


def motifex(name, running=True):
    """A Motifex from its factory preset, with Run on."""
    m = preset("Motifex", name)
    return with_params(m, {MOTIFEX_RUN_PARAM: 1.0}) if running else m


def quadrelle(name, values=None):
    return with_params(preset("Quadrelle", name), values or {})


def fundamental(model, params=None):
    """A Fundamental module, its parameters given by name ({"Frequency": 3})."""
    ids = FUNDAMENTAL[model]["params"]
    return {"plugin": "Fundamental", "model": model, "version": FUNDAMENTAL_VERSION,
            "params": [{"value": float(v), "id": ids[k]} for k, v in sorted((params or {}).items(), key=lambda kv: ids[kv[0]])]}


def audio():
    """Rack's own audio output, level at 0 dB, no device chosen (the player picks one)."""
    return {"plugin": "Core", "model": "AudioInterface2", "version": RACK_VERSION,
            "params": [{"value": 1.0, "id": 0}]}


def width(module):
    if module["plugin"] == "Chordwright":
        return CHORDWRIGHT_HP
    if module["plugin"] == "Core":
        return AUDIO_HP
    return FUNDAMENTAL[module["model"]]["hp"]


def port(module, name, direction):
    """The id of port `name` ("inputs" or "outputs") of a module."""
    if module["plugin"] == "Chordwright":
        table = {("Motifex", "inputs"): MOTIFEX_IN, ("Motifex", "outputs"): MOTIFEX_OUT,
                 ("Quadrelle", "inputs"): QUADRELLE_IN, ("Quadrelle", "outputs"): QUADRELLE_OUT}
        return table[(module["model"], direction)][name]
    if module["plugin"] == "Core":
        return AUDIO_IN[name]
    return FUNDAMENTAL[module["model"]][direction][name]


def motifex_through_envelope(motifex, voice, envelope, output="Mix", filter=None, regenerate=None):
    """The plainest way to hear Motifex: an LFO at 8 Hz clocks it (eight steps
    a second), its CV plays `voice` (a Quadrelle) and its gate opens an ADSR
    (`envelope`: its parameters by name), which opens a VCA after the voice's
    `output` (and after `filter`, a VCF module, when given), into the audio
    module. With `regenerate`, a second LFO of those parameters drives
    Regenerate."""
    p = Patch().add("clock", fundamental("LFO", {"Frequency": 3}))
    if regenerate:
        p.add("regenerate", fundamental("LFO", regenerate))
    p.add("motifex", motifex).add("quadrelle", voice)
    if filter:
        p.add("filter", filter)
    p.add("envelope", fundamental("ADSR", envelope)).add("vca", fundamental("VCA-1")).add("audio", audio())
    p.cable("clock", "Square", "motifex", "Clock")
    if regenerate:
        p.cable("regenerate", "Square", "motifex", "Regenerate")
    p.cable("motifex", "CV", "quadrelle", "V/Oct").cable("motifex", "Gate", "envelope", "Gate")
    p.cable("envelope", "Envelope", "vca", "CV")
    if filter:
        p.cable("quadrelle", output, "filter", "Audio").cable("filter", "Lowpass filter", "vca", "Channel")
    else:
        p.cable("quadrelle", output, "vca", "Channel")
    return p.cable("vca", "Channel", "audio", "Left")


CABLE_COLORS = ["#f3374b", "#ffb437", "#00b56e", "#3695ef", "#8b4ade"]


class Patch:
    """A patch built row by row, left to right; modules named by the caller."""

    def __init__(self):
        self.modules, self.cables, self.names = [], [], {}
        self.row, self.x = 0, 0

    def add(self, name, module):
        m = {"id": len(self.modules) + 1}
        m.update(module)
        m["pos"] = [self.x, self.row]
        self.x += width(m)
        self.modules.append(m)
        self.names[name] = m
        return self

    def next_row(self):
        self.row, self.x = self.row + 1, 0
        return self

    def cable(self, source, output, destination, input):
        out_m, in_m = self.names[source], self.names[destination]
        self.cables.append({"id": len(self.cables) + 1, "outputModuleId": out_m["id"],
                            "outputId": port(out_m, output, "outputs"), "inputModuleId": in_m["id"],
                            "inputId": port(in_m, input, "inputs"),
                            "color": CABLE_COLORS[len(self.cables) % len(CABLE_COLORS)]})
        return self

    def json(self):
        return {"version": RACK_VERSION, "modules": self.modules, "cables": self.cables}

    def write(self, path):
        with open(path, "w") as f:
            json.dump(self.json(), f, indent=2)
            f.write("\n")
