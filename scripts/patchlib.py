"""Building Rack patches for the players' files and the checks: the example
patches (make-examples.py), the patches the listening examples are rendered
from (make-listening.py), and a patch of a factory preset alone (the official
host's checks).

Chordwright's parameter and port ids come from the modules' enums, by their
names there, through the build's module-ids (scripts/module-ids.cpp): MOTIFEX
and QUADRELLE below. Modules of the free Fundamental plug-in (bundled with
every download of the host) are named here by the names the modules give
their parameters and ports, with the ids they have in Fundamental 2.6.0;
the examples part of scripts/test-official.sh holds these names against what
the installed modules report.

As a command, for the shell scripts:
  patchlib.py id MODEL NAME...               the ids of MODEL's enum members NAME,
                                             on one line
  patchlib.py preset-patches [--running] DIR PRESET...
                                             for each preset file, a patch of its
                                             module alone (a Motifex running with
                                             --running): DIR/preset MODEL - NAME.vcv
  patchlib.py composes-on-load PATCH         exit status 0 when a Motifex in the
                                             patch has no phrase saved
"""
import functools
import json
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VERSION = json.load(open(os.path.join(ROOT, "plugin.json")))["version"]
RACK_VERSION = "2.4.1"
FUNDAMENTAL_VERSION = "2.6.0"


@functools.lru_cache(maxsize=None)
def chordwright_ids():
    """{model: {enum name: id}} as module-ids prints them: the program named by
    MODULE_IDS, else the one of the CMake build BUILD_DIR (default build),
    brought up to date first."""
    program = os.environ.get("MODULE_IDS")
    if not program:
        build = os.path.join(ROOT, os.environ.get("BUILD_DIR", "build"))
        steps = [["ninja", "-C", build, "module-ids"]]
        if not os.path.exists(os.path.join(build, "build.ninja")):
            steps.insert(0, ["cmake", "-S", ROOT, "-B", build, "-G", "Ninja"])
        for step in steps:
            done = subprocess.run(step, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if done.returncode:
                sys.exit("%s\npatchlib: %s failed" % (done.stdout, " ".join(step)))
        program = os.path.join(build, "module-ids")
    return json.loads(subprocess.run([program], check=True, stdout=subprocess.PIPE, text=True).stdout)


class ModuleIds:
    """A model's ids as attributes, by their enum names: QUADRELLE.MIX_OUTPUT."""

    def __init__(self, model):
        self.model = model

    def __getattr__(self, name):
        try:
            return chordwright_ids()[self.model][name]
        except KeyError:
            raise AttributeError("module-ids names no %s of %s" % (name, self.model)) from None

    def voices(self, kind):
        """The ids of voices 1 to 4's KIND ("GAIN": GAIN_1_PARAM ...)."""
        return [getattr(self, "%s_%d_PARAM" % (kind, v)) for v in range(1, 5)]


MOTIFEX, QUADRELLE = ModuleIds("Motifex"), ModuleIds("Quadrelle")
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


def with_run(motifex):
    """The Motifex with its Run switch on."""
    return with_params(motifex, {MOTIFEX.RUN_PARAM: 1.0})


def motifex(name, running=True):
    """A Motifex from its factory preset, with Run on."""
    m = preset("Motifex", name)
    return with_run(m) if running else m


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
    """The id of port `name` ("inputs" or "outputs") of a module; Chordwright's
    by their enum names (CV_OUTPUT)."""
    if module["plugin"] == "Chordwright":
        assert name.endswith("_" + direction[:-1].upper()), (name, direction)
        return chordwright_ids()[module["model"]][name]
    if module["plugin"] == "Core":
        return AUDIO_IN[name]
    return FUNDAMENTAL[module["model"]][direction][name]


def motifex_through_envelope(motifex, voice, envelope, output="MIX_OUTPUT", filter=None, regenerate=None):
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
    p.cable("clock", "Square", "motifex", "CLOCK_INPUT")
    if regenerate:
        p.cable("regenerate", "Square", "motifex", "REGENERATE_INPUT")
    p.cable("motifex", "CV_OUTPUT", "quadrelle", "VOCT_INPUT").cable("motifex", "GATE_OUTPUT", "envelope", "Gate")
    p.cable("envelope", "Envelope", "vca", "CV")
    if filter:
        p.cable("quadrelle", output, "filter", "Audio").cable("filter", "Lowpass filter", "vca", "Channel")
    else:
        p.cable("quadrelle", output, "vca", "Channel")
    return p.cable("vca", "Channel", "audio", "Left")


def chord_sequencer():
    """SEQ3 playing C3, A2, F3 and G3 on its CV 1, two seconds each: the
    roots of a pad of diatonic triads."""
    roots = [-1.0, -1.0, -1.25, -1.25, -7 / 12, -7 / 12, -5 / 12, -5 / 12]  # C3, A2, F3, G3
    seq = {"Tempo": 0, "Run": 1, "Steps": 8}
    seq.update({"CV 1 step %d" % (s + 1): v for s, v in enumerate(roots)})
    return fundamental("SEQ3", seq)


def preset_patch(path, running=False):
    """A patch of the module of the preset file `path` alone (a Motifex with
    Run on when `running`)."""
    module = json.load(open(path))
    return Patch().add("preset", with_run(module) if running else module).json()


def composes_on_load(patch):
    """Whether a Motifex of the patch has no phrase saved, and so composes one
    from the clock and the random device when it is made."""
    return any(m["model"] == "Motifex" and not (m.get("data") or {}).get("currentNoteArray") for m in patch["modules"])


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


def main(args):
    if args[:1] == ["id"] and len(args) >= 3:
        print(" ".join(str(chordwright_ids()[args[1]][name]) for name in args[2:]))
    elif args[:1] == ["preset-patches"] and len(args) >= 3:
        running = args[1] == "--running"
        out, presets = args[1 + running], args[2 + running:]
        for path in presets:
            name = "preset %s - %s.vcv" % (os.path.basename(os.path.dirname(path)), os.path.basename(path)[:-5])
            with open(os.path.join(out, name), "w") as f:
                json.dump(preset_patch(path, running), f)
    elif args[:1] == ["composes-on-load"] and len(args) == 2:
        sys.exit(0 if composes_on_load(json.load(open(args[1]))) else 1)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
