#!/usr/bin/python3
"""Writes the factory presets in presets/<model>/<name>.vcvm.

Quadrelle's presets are its knob positions and latches. Motifex's carry a
phrase composed by the module itself: the headless host loads each preset's
knobs, key and chords, triggers Regenerate on the first sample and saves what
the module composed. Run again, it composes new phrases (the module draws
fresh random numbers every time); commit only phrases you have listened to.

usage: scripts/make-presets.py [BUILD_DIR]   (default: build)
"""
import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
VERSION = json.load(open(os.path.join(ROOT, "plugin.json")))["version"]

# Note knob positions of the pitch classes (A = 0 ... G# = 11 twelfths).
NOTE = {n: round(i / 12, 6) for i, n in enumerate(["A", "A#", "B", "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#"])}
# Octave knob in the middle of bin k (multiplier 2^k).
def octave(k):
    return (k + 0.5) / 8

QUADRELLE_DEFAULTS = {
    0: 0.55, 1: 0.5, 2: 0.5, 3: 0.5,         # waves
    4: NOTE["C"], 6: NOTE["C"], 7: NOTE["C"],  # note knobs of voices 1, 3, 4
    12: 0.3, 13: 0.3, 14: 0.3, 15: 0.3,      # octaves
    20: 0.5, 21: 0.5,                        # master gain, fine tune
    22: 0.5, 23: 0.5, 24: 0.5, 25: 0.5,      # gains
    29: -5.0,                                # range
    30: 0.0, 31: 0.0, 32: 0.0, 33: 0.0, 34: 0.0,  # latches: major, minor, fifth, track 3, track 4
}
MAJOR, MINOR, FIFTH = {30: 1.0, 31: 0.0, 32: 0.0}, {30: 0.0, 31: 1.0, 32: 0.0}, {30: 0.0, 31: 0.0, 32: 1.0}
TRACK, DRONE = {33: 1.0, 34: 1.0}, {33: 0.0, 34: 0.0}

QUADRELLE = {
    # Root, minor third, fifth and the octave; voices 3 and 4 follow the
    # pitch input, and the third turns major where C natural minor has one.
    "Minor Triad": {**MINOR, **TRACK, 4: NOTE["C"], 6: NOTE["G"], 7: NOTE["C"],
                    12: octave(2), 13: octave(2), 14: octave(2), 15: octave(3),
                    0: 0.5, 1: 0.5, 2: 0.5, 3: 0.5},
    "Major Triad": {**MAJOR, **TRACK, 4: NOTE["C"], 6: NOTE["G"], 7: NOTE["C"],
                    12: octave(2), 13: octave(2), 14: octave(2), 15: octave(3),
                    0: 0.45, 1: 0.45, 2: 0.45, 3: 0.45},
    # Root, fifth and octaves in square waves, all following the input.
    "Power Fifths": {**FIFTH, **TRACK, 4: NOTE["C"], 6: NOTE["C"], 7: NOTE["G"],
                     12: octave(1), 13: octave(1), 14: octave(2), 15: octave(2),
                     0: 0.0, 1: 0.0, 2: 0.05, 3: 0.05, 20: 0.4},
    # C2 - G3 - E4 - D5 spread over four octaves, sine-leaning, knob mode.
    "Open Major Ninth": {**MAJOR, **DRONE, 4: NOTE["C"], 6: NOTE["G"], 7: NOTE["D"],
                         12: octave(0), 13: octave(2), 14: octave(1), 15: octave(3),
                         0: 0.62, 1: 0.7, 2: 0.7, 3: 0.8, 22: 0.6, 23: 0.35, 24: 0.35, 25: 0.25},
    # A soft minor seventh that follows the pitch input, slightly detuned.
    "Tracking Pad": {**MINOR, **TRACK, 4: NOTE["C"], 6: NOTE["G"], 7: NOTE["A#"],
                     12: octave(2), 13: octave(2), 14: octave(1), 15: octave(2),
                     0: 0.7, 1: 0.75, 2: 0.7, 3: 0.75, 21: 0.56, 22: 0.4, 23: 0.35, 24: 0.35, 25: 0.3},
    # Voices 3 and 4 hold C and G; voice 1 and its fifth follow the input.
    "Drone with Moving Root": {**FIFTH, **DRONE, 4: NOTE["C"], 6: NOTE["C"], 7: NOTE["G"],
                               12: octave(2), 13: octave(2), 14: octave(0), 15: octave(1),
                               0: 0.5, 1: 0.55, 2: 0.3, 3: 0.3, 22: 0.6, 23: 0.45, 24: 0.6, 25: 0.5, 29: -8.0},
}

# Space, Syncopation, Pace, Momentum, Root Lock, Octave knobs; key; chords.
MOTIFEX = {
    "A Minor Ballad": ((0.6, 0.1, 0.2, 0.1, 0.6, 0.55), "A minor", ("A", "F", "C", "G")),
    "C Major Pop": ((0.4, 0.3, 0.6, 0.3, 0.4, 0.55), "C major", ("C", "G", "A", "F")),
    "D Minor Busy Sixteenths": ((0.1, 0.9, 0.9, 0.9, 0.1, 0.6), "D minor", ("D", "A#", "C", "A")),
    "E Minor Root Bass": ((0.3, 0.5, 0.6, 0.5, 0.9, 0.2), "E minor", ("E", "C", "D", "B")),
    "G Major Sparse Bells": ((0.9, 0.1, 0.4, 0.1, 0.3, 0.9), "G major", ("G", "C", "D", "G")),
    "F Minor Fast Free Run": ((0.0, 0.0, 0.8, 0.6, 0.15, 0.7), "F minor", ("F", "C#", "D#", "C")),
}


def params_json(values):
    return [{"value": float(v), "id": i} for i, v in sorted(values.items())]


def write(model, name, preset):
    path = os.path.join(ROOT, "presets", model, name + ".vcvm")
    with open(path, "w") as f:
        json.dump(preset, f, indent=2)
        f.write("\n")
    print(path)


def compose(knobs, key, chords):
    """The module's own phrase for these knobs, key and chords."""
    knob_params = {i: v for i, v in enumerate(knobs)}
    patch = {
        "version": VERSION,
        "modules": [
            {"id": 1, "plugin": "Rackhost", "model": "Clock"},
            {"id": 2, "plugin": "Chordwright", "model": "Motifex", "params": params_json(knob_params),
             "data": {"currentNoteArray": [], "currentKeyMain": key, "currentProg1": chords[0],
                      "currentProg2": chords[1], "currentProg3": chords[2], "currentProg4": chords[3]}},
            {"id": 3, "plugin": "Rackhost", "model": "Recorder"},
        ],
        # The clock is high from the first sample: one Regenerate request.
        "cables": [
            {"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": 7},
            {"id": 2, "outputModuleId": 2, "outputId": 0, "inputModuleId": 3, "inputId": 0},
        ],
    }
    with tempfile.TemporaryDirectory() as tmp:
        src, saved = os.path.join(tmp, "in.json"), os.path.join(tmp, "out.json")
        json.dump(patch, open(src, "w"))
        subprocess.run([os.path.join(BUILD, "rackhost"), "render", src, "-o", os.path.join(tmp, "x.wav"),
                        "--seconds", "0.01", "--save-patch", saved], check=True, stdout=subprocess.DEVNULL)
        data = [m for m in json.load(open(saved))["modules"] if m["id"] == 2][0]["data"]
    return {"currentNoteArray": data["currentNoteArray"], "currentKeyMain": key, "currentProg1": chords[0],
            "currentProg2": chords[1], "currentProg3": chords[2], "currentProg4": chords[3]}


def main():
    for name, values in QUADRELLE.items():
        write("Quadrelle", name, {"plugin": "Chordwright", "model": "Quadrelle", "version": VERSION,
                                  "params": params_json({**QUADRELLE_DEFAULTS, **values})})
    for name, (knobs, key, chords) in MOTIFEX.items():
        write("Motifex", name, {"plugin": "Chordwright", "model": "Motifex", "version": VERSION,
                                "params": params_json({i: v for i, v in enumerate(knobs)}),
                                "data": compose(knobs, key, chords)})


if __name__ == "__main__":
    main()
