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

from patchlib import MOTIFEX, NOTE, QUADRELLE, ROOT, VERSION

BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
# The ids from the same build as the host that composes.
os.environ["BUILD_DIR"] = BUILD
Q = QUADRELLE
WAVES, OCTAVES, GAINS = Q.voices("WAVE"), Q.voices("OCTAVE"), Q.voices("GAIN")
# Quadrelle's note knobs: NOTE_1_PARAM is voice 1's, NOTE_2_PARAM and
# NOTE_3_PARAM those of voices 3 and 4.
NOTE_1, NOTE_3, NOTE_4 = Q.NOTE_1_PARAM, Q.NOTE_2_PARAM, Q.NOTE_3_PARAM


# Octave knob in the middle of bin k (multiplier 2^k).
def octave(k):
    return (k + 0.5) / 8


def voices(ids, *values):
    return dict(zip(ids, values))


QUADRELLE_DEFAULTS = {
    **voices(WAVES, 0.55, 0.5, 0.5, 0.5),
    NOTE_1: NOTE["C"], NOTE_3: NOTE["C"], NOTE_4: NOTE["C"],
    **voices(OCTAVES, 0.3, 0.3, 0.3, 0.3),
    Q.MASTER_GAIN_PARAM: 0.5, Q.FINE_TUNE_PARAM: 0.5,
    **voices(GAINS, 0.5, 0.5, 0.5, 0.5),
    Q.RANGE_PARAM: -5.0,
    Q.HARMONY_MAJOR_TOGGLE_PARAM: 0.0, Q.HARMONY_MINOR_TOGGLE_PARAM: 0.0, Q.HARMONY_FIFTH_TOGGLE_PARAM: 0.0,
    Q.TRACK_LATCH_CH_3_PARAM: 0.0, Q.TRACK_LATCH_CH_4_PARAM: 0.0,
}
MAJOR = {Q.HARMONY_MAJOR_TOGGLE_PARAM: 1.0, Q.HARMONY_MINOR_TOGGLE_PARAM: 0.0, Q.HARMONY_FIFTH_TOGGLE_PARAM: 0.0}
MINOR = {Q.HARMONY_MAJOR_TOGGLE_PARAM: 0.0, Q.HARMONY_MINOR_TOGGLE_PARAM: 1.0, Q.HARMONY_FIFTH_TOGGLE_PARAM: 0.0}
FIFTH = {Q.HARMONY_MAJOR_TOGGLE_PARAM: 0.0, Q.HARMONY_MINOR_TOGGLE_PARAM: 0.0, Q.HARMONY_FIFTH_TOGGLE_PARAM: 1.0}
TRACK = {Q.TRACK_LATCH_CH_3_PARAM: 1.0, Q.TRACK_LATCH_CH_4_PARAM: 1.0}
DRONE = {Q.TRACK_LATCH_CH_3_PARAM: 0.0, Q.TRACK_LATCH_CH_4_PARAM: 0.0}

QUADRELLE_PRESETS = {
    # Root, minor third, fifth and the octave; voices 3 and 4 follow the
    # pitch input, and the third turns major where C natural minor has one.
    "Minor Triad": {**MINOR, **TRACK, NOTE_1: NOTE["C"], NOTE_3: NOTE["G"], NOTE_4: NOTE["C"],
                    **voices(OCTAVES, octave(2), octave(2), octave(2), octave(3)),
                    **voices(WAVES, 0.5, 0.5, 0.5, 0.5)},
    "Major Triad": {**MAJOR, **TRACK, NOTE_1: NOTE["C"], NOTE_3: NOTE["G"], NOTE_4: NOTE["C"],
                    **voices(OCTAVES, octave(2), octave(2), octave(2), octave(3)),
                    **voices(WAVES, 0.45, 0.45, 0.45, 0.45)},
    # Root, fifth and octaves in square waves, all following the input.
    "Power Fifths": {**FIFTH, **TRACK, NOTE_1: NOTE["C"], NOTE_3: NOTE["C"], NOTE_4: NOTE["G"],
                     **voices(OCTAVES, octave(1), octave(1), octave(2), octave(2)),
                     **voices(WAVES, 0.0, 0.0, 0.05, 0.05), Q.MASTER_GAIN_PARAM: 0.4},
    # C2 - G3 - E4 - D5 spread over four octaves, sine-leaning, knob mode.
    "Open Major Ninth": {**MAJOR, **DRONE, NOTE_1: NOTE["C"], NOTE_3: NOTE["G"], NOTE_4: NOTE["D"],
                         **voices(OCTAVES, octave(0), octave(2), octave(1), octave(3)),
                         **voices(WAVES, 0.62, 0.7, 0.7, 0.8), **voices(GAINS, 0.6, 0.35, 0.35, 0.25)},
    # A soft minor seventh that follows the pitch input, slightly detuned.
    "Tracking Pad": {**MINOR, **TRACK, NOTE_1: NOTE["C"], NOTE_3: NOTE["G"], NOTE_4: NOTE["A#"],
                     **voices(OCTAVES, octave(2), octave(2), octave(1), octave(2)),
                     **voices(WAVES, 0.7, 0.75, 0.7, 0.75), Q.FINE_TUNE_PARAM: 0.56,
                     **voices(GAINS, 0.4, 0.35, 0.35, 0.3)},
    # Voices 3 and 4 hold C and G; voice 1 and its fifth follow the input.
    "Drone with Moving Root": {**FIFTH, **DRONE, NOTE_1: NOTE["C"], NOTE_3: NOTE["C"], NOTE_4: NOTE["G"],
                               **voices(OCTAVES, octave(2), octave(2), octave(0), octave(1)),
                               **voices(WAVES, 0.5, 0.55, 0.3, 0.3), **voices(GAINS, 0.6, 0.45, 0.6, 0.5),
                               Q.RANGE_PARAM: -8.0},
}

# Space, Syncopation, Pace, Momentum, Root Lock, Octave knobs; key; chords.
MOTIFEX_PRESETS = {
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


def knob_params(knobs):
    """Motifex's shaping knobs, in the order of MOTIFEX_PRESETS."""
    return dict(zip([MOTIFEX.SPACE_PARAM, MOTIFEX.SYNCOPATION_PARAM, MOTIFEX.PACE_PARAM, MOTIFEX.MOMENTUM_PARAM,
                     MOTIFEX.ROOT_LOCK_PARAM, MOTIFEX.OCTAVE_PARAM], knobs))


def compose(knobs, key, chords):
    """The module's own phrase for these knobs, key and chords."""
    patch = {
        "version": VERSION,
        "modules": [
            {"id": 1, "plugin": "Rackhost", "model": "Clock"},
            {"id": 2, "plugin": "Chordwright", "model": "Motifex", "params": params_json(knob_params(knobs)),
             "data": {"currentNoteArray": [], "currentKeyMain": key, "currentProg1": chords[0],
                      "currentProg2": chords[1], "currentProg3": chords[2], "currentProg4": chords[3]}},
            {"id": 3, "plugin": "Rackhost", "model": "Recorder"},
        ],
        # The clock is high from the first sample: one Regenerate request.
        "cables": [
            {"id": 1, "outputModuleId": 1, "outputId": 0, "inputModuleId": 2, "inputId": MOTIFEX.REGENERATE_INPUT},
            {"id": 2, "outputModuleId": 2, "outputId": MOTIFEX.CV_OUTPUT, "inputModuleId": 3, "inputId": 0},
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
    for name, values in QUADRELLE_PRESETS.items():
        write("Quadrelle", name, {"plugin": "Chordwright", "model": "Quadrelle", "version": VERSION,
                                  "params": params_json({**QUADRELLE_DEFAULTS, **values})})
    for name, (knobs, key, chords) in MOTIFEX_PRESETS.items():
        write("Motifex", name, {"plugin": "Chordwright", "model": "Motifex", "version": VERSION,
                                "params": params_json(knob_params(knobs)),
                                "data": compose(knobs, key, chords)})


if __name__ == "__main__":
    main()
