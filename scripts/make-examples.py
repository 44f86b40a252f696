#!/usr/bin/python3
"""Writes the players' example patches examples/*.vcv from the factory presets.

Each patch sounds the moment it opens: Motifex runs, a clock is patched (the
LFO of Rack's free Fundamental modules, which every download of the host
installs) and the level at Rack's own audio module (AudioInterface2, no device
chosen: the player picks one) stays between 2 V and 10 V. Only Chordwright,
Core and Fundamental modules are used.

usage: scripts/make-examples.py [--out DIR]   (default: the repository; into
DIR/examples)
"""
import argparse
import os

from patchlib import (NOTE, QUADRELLE, ROOT, VERSION, Patch, audio, chord_sequencer, fundamental, motifex,
                      motifex_through_envelope, quadrelle)

# Quadrelle's note knobs: NOTE_1_PARAM is voice 1's, NOTE_2_PARAM and
# NOTE_3_PARAM those of voices 3 and 4.
MASTER = QUADRELLE.MASTER_GAIN_PARAM
MAJOR_THIRD, MINOR_THIRD = QUADRELLE.HARMONY_MAJOR_TOGGLE_PARAM, QUADRELLE.HARMONY_MINOR_TOGGLE_PARAM


def GAINS(*gains):
    return dict(zip(QUADRELLE.voices("GAIN"), gains))


def WAVES(*waves):
    return dict(zip(QUADRELLE.voices("WAVE"), waves))


# One pulse per step, eight a second: sixteenth notes at 120 BPM.
CLOCK = {"Frequency": 3}


def first_patch():
    """Clock into Motifex, its CV into Quadrelle, its gate through an envelope
    into a VCA after Quadrelle: the patch of the README's first five minutes."""
    return motifex_through_envelope(
        motifex("C Major Pop"),
        # A major third, corrected to the C major scale under the melody,
        # and the octave on top in place of the pad's minor seventh.
        quadrelle("Tracking Pad", {MAJOR_THIRD: 1, MINOR_THIRD: 0, QUADRELLE.NOTE_3_PARAM: NOTE["C"], MASTER: 1,
                                   **GAINS(0.8, 0.8, 0.8, 0.7)}),
        {"Attack": 0.1, "Decay": 0.45, "Sustain": 0.5, "Release": 0.35})


def chords_from_a_sequencer():
    """SEQ3 plays C, A, F and G, two seconds each, into Quadrelle's V/Oct: a
    pad of diatonic triads through a filter that a slow LFO opens and closes."""
    return (Patch()
            .add("sequencer", chord_sequencer())
            .add("quadrelle", quadrelle("Major Triad", {MASTER: 1, **GAINS(1, 1, 1, 1), **WAVES(0.75, 0.75, 0.75, 0.75)}))
            .add("sweep", fundamental("LFO", {"Frequency": -3}))
            .add("filter", fundamental("VCF", {"Cutoff frequency": 0.6, "Resonance": 0.25, "Cutoff frequency CV": 0.35}))
            .add("audio", audio())
            .cable("sequencer", "CV 1", "quadrelle", "VOCT_INPUT")
            .cable("quadrelle", "MIX_OUTPUT", "filter", "Audio")
            .cable("sweep", "Sine", "filter", "Frequency")
            .cable("filter", "Lowpass filter", "audio", "Left"))


def bass_and_lead():
    """Two Motifex on one clock, in keys of the same notes (E minor, G major):
    a root-locked bass whose Quadrelle drones on E and B, and a sparse high
    lead through an envelope."""
    return (Patch()
            .add("clock", fundamental("LFO", CLOCK))
            .add("bass", motifex("E Minor Root Bass"))
            # Voices 3 and 4 drone on E and B, the tonic and fifth of E minor.
            .add("drone", quadrelle("Drone with Moving Root",
                                    {QUADRELLE.NOTE_2_PARAM: NOTE["E"], QUADRELLE.NOTE_3_PARAM: NOTE["B"], MASTER: 1,
                                     **GAINS(1, 0.8, 1, 0.9)}))
            .add("mixer", fundamental("Mixer", {"Level": 1}))
            .add("audio", audio())
            .next_row()
            .add("lead", motifex("G Major Sparse Bells"))
            # Voice 1 alone, mostly sine.
            .add("bell", {"plugin": "Chordwright", "model": "Quadrelle", "version": VERSION,
                          "params": [{"value": 0.9, "id": QUADRELLE.WAVE_1_PARAM}, {"value": 1.0, "id": MASTER},
                                     {"value": 0.3, "id": QUADRELLE.GAIN_1_PARAM}]})
            .add("envelope", fundamental("ADSR", {"Attack": 0.05, "Decay": 0.55, "Sustain": 0.15, "Release": 0.5}))
            .add("vca", fundamental("VCA-1"))
            .cable("clock", "Square", "bass", "CLOCK_INPUT")
            .cable("clock", "Square", "lead", "CLOCK_INPUT")
            .cable("bass", "CV_OUTPUT", "drone", "VOCT_INPUT")
            .cable("drone", "MIX_OUTPUT", "mixer", "Channel 1")
            .cable("lead", "CV_OUTPUT", "bell", "VOCT_INPUT")
            .cable("lead", "GATE_OUTPUT", "envelope", "Gate")
            .cable("bell", "VOICE_1_OUTPUT", "vca", "Channel")
            .cable("envelope", "Envelope", "vca", "CV")
            .cable("vca", "Channel", "mixer", "Channel 2")
            .cable("mixer", "Mix", "audio", "Left"))


def new_phrase_every_two_loops():
    """A slow LFO's short pulse into Regenerate, near the end of every second
    loop of 32 steps: a new phrase in the same key and chords every 8 s."""
    return motifex_through_envelope(
        motifex("D Minor Busy Sixteenths"),
        # Triads of D natural minor on every note.
        quadrelle("Minor Triad", {QUADRELLE.NOTE_1_PARAM: NOTE["D"], QUADRELLE.NOTE_2_PARAM: NOTE["A"],
                                  QUADRELLE.NOTE_3_PARAM: NOTE["D"], MASTER: 1, **GAINS(1, 1, 1, 1)}),
        {"Attack": 0.3, "Decay": 0.5, "Sustain": 0.6, "Release": 0.45},
        # 0.125 Hz; inverted, its 1 % pulse comes at the end of each period.
        regenerate={"Frequency": -3, "Invert": 1, "Pulse width": 0.99})


def open_chord():
    """The Open Major Ninth preset straight into the audio module: no clock or
    other module needed."""
    return (Patch()
            .add("audio", audio())
            .add("quadrelle", quadrelle("Open Major Ninth", {MASTER: 1, **GAINS(1, 0.6, 0.6, 0.45)}))
            .cable("quadrelle", "MIX_OUTPUT", "audio", "Left"))


# File names without spaces: the kit's `make dist` copies them by name.
PATCHES = {
    "Motifex-First-Patch": first_patch,
    "Quadrelle-Chords-from-a-Sequencer": chords_from_a_sequencer,
    "Motifex-Bass-and-Lead": bass_and_lead,
    "Motifex-New-Phrase-Every-Two-Loops": new_phrase_every_two_loops,
    "Quadrelle-Open-Chord": open_chord,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", default=ROOT)
    out = os.path.join(parser.parse_args().out, "examples")
    os.makedirs(out, exist_ok=True)
    for name, build in PATCHES.items():
        path = os.path.join(out, name + ".vcv")
        build().write(path)
        print(path)


if __name__ == "__main__":
    main()
