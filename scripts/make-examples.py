#!/usr/bin/python3
"""Writes the players' example patches examples/*.vcv from the factory presets.

Each patch holds only Chordwright modules and Rack's own Core audio output
(AudioInterface2, no device chosen: the player picks one). Rack's Core has no
clock, so Motifex's Clock input is left free for the player's clock.

usage: scripts/make-examples.py
"""
import json
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
VERSION = json.load(open(os.path.join(ROOT, "plugin.json")))["version"]
RACK_VERSION = "2.4.1"

# Module widths in HP, for placing them side by side.
AUDIO_HP, MODULE_HP = 5, 40
MOTIFEX_RUN = {"id": 13, "value": 1.0}


def preset(model, name):
    return json.load(open(os.path.join(ROOT, "presets", model, name + ".vcvm")))


def module(mid, x, plugin_json):
    m = {"id": mid}
    m.update(plugin_json)
    m["pos"] = [x, 0]
    return m


def audio(mid):
    return {"id": mid, "plugin": "Core", "model": "AudioInterface2", "version": RACK_VERSION,
            "params": [{"value": 1.0, "id": 0}], "pos": [0, 0]}


def cable(cid, out_module, out_id, in_module, in_id, color):
    return {"id": cid, "outputModuleId": out_module, "outputId": out_id, "inputModuleId": in_module,
            "inputId": in_id, "color": color}


def with_params(m, values):
    """The preset with some knobs or latches set otherwise."""
    m = dict(m)
    m["params"] = [{"value": float(values.get(p["id"], p["value"])), "id": p["id"]} for p in m["params"]]
    return m


def motifex(name):
    m = preset("Motifex", name)
    m["params"] = m["params"] + [MOTIFEX_RUN]
    return m


# Quadrelle: 0 V/Oct input; outputs 0 mix, 1..4 voices. Motifex: output 0 CV.
# Core AudioInterface2: inputs 0 L/MON, 1 RIGHT.
# File names without spaces: the kit's `make dist` copies them by name.
PATCHES = {
    "Quadrelle-Open-Chord": [
        [audio(1), module(2, AUDIO_HP, preset("Quadrelle", "Open Major Ninth"))],
        [cable(1, 2, 0, 1, 0, "#f3374b")],
    ],
    "Motifex-Melody-over-a-Tracking-Pad": [
        [audio(1), # A major third, corrected to the C major scale under the melody,
         # and the octave on top in place of the pad's minor seventh.
         module(2, AUDIO_HP, with_params(preset("Quadrelle", "Tracking Pad"), {30: 1, 31: 0, 7: 0.25})),
         module(3, AUDIO_HP + MODULE_HP, motifex("C Major Pop"))],
        [cable(1, 3, 0, 2, 0, "#1dc4d2"), cable(2, 2, 0, 1, 0, "#f3374b")],
    ],
    "Motifex-Bassline-with-a-Drone": [
        [audio(1), # Voices 3 and 4 drone on E and B, the tonic and fifth of E minor.
         module(2, AUDIO_HP, with_params(preset("Quadrelle", "Drone with Moving Root"), {6: 0.583333, 7: 0.166667})),
         module(3, AUDIO_HP + MODULE_HP, motifex("E Minor Root Bass"))],
        # Left: the whole chord; right: the moving root alone.
        [cable(1, 3, 0, 2, 0, "#1dc4d2"), cable(2, 2, 0, 1, 0, "#f3374b"), cable(3, 2, 1, 1, 1, "#ffb437")],
    ],
}


def main():
    for name, (modules, cables) in PATCHES.items():
        path = os.path.join(ROOT, "examples", name + ".vcv")
        with open(path, "w") as f:
            json.dump({"version": RACK_VERSION, "modules": modules, "cables": cables}, f, indent=2)
            f.write("\n")
        print(path)


if __name__ == "__main__":
    main()
