#!/usr/bin/python3
"""Writes the players' example patches examples/*.vcv from the factory presets.

Each patch sounds the moment it opens: Motifex runs, a clock is patched (the
LFO of Rack's free Fundamental modules, which every download of the host
installs) and the level at Rack's own audio module (AudioInterface2, no device
chosen: the player picks one) stays between 2 V and 10 V. Only Chordwright,
Core and Fundamental modules are used.

usage: scripts/make-examples.py
"""
import os

from patchlib import (NOTE, ROOT, VERSION, Patch, audio, fundamental, motifex, motifex_through_envelope, quadrelle)

# Quadrelle's parameter ids: waves 0-3, note knobs 4 (voice 1), 6, 7 (voices
# 3, 4), octaves 12-15, master gain 20, gains 22-25, latches 30 (major third),
# 31 (minor third), 33 and 34 (voices 3 and 4 track).
MASTER, MAJOR_THIRD, MINOR_THIRD = 20, 30, 31


def GAINS(*gains):
    return {22 + v: g for v, g in enumerate(gains)}


def WAVES(*waves):
    return {v: w for v, w in enumerate(waves)}



# One pulse per step, eight a second: sixteenth notes at 120 BPM.
CLOCK = {"Frequency": 3}


def first_patch():
    """Clock into Motifex, its CV into Quadrelle, its gate through an envelope
    into a VCA after Quadrelle: the patch of the README's first five minutes."""
    return motifex_through_envelope(
        motifex("C Major Pop"),
        # A major third, corrected to the C major scale under the melody,
        # and the octave on top in place of the pad's minor seventh.
        quadrelle("Tracking Pad", {MAJOR_THIRD: 1, MINOR_THIRD: 0, 7: NOTE["C"], MASTER: 1, **GAINS(0.8, 0.8, 0.8, 0.7)}),
        {"Attack": 0.1, "Decay": 0.45, "Sustain": 0.5, "Release": 0.35})


def chords_from_a_sequencer():
    """SEQ3 plays C, A, F and G, two seconds each, into Quadrelle's V/Oct: a
    pad of diatonic triads through a filter that a slow LFO opens and closes."""
    roots = [-1.0, -1.0, -1.25, -1.25, -7 / 12, -7 / 12, -5 / 12, -5 / 12]  # C3, A2, F3, G3
    seq = {"Tempo": 0, "Run": 1, "Steps": 8}
    seq.update({"CV 1 step %d" % (s + 1): v for s, v in enumerate(roots)})
    return (Patch()
            .add("sequencer", fundamental("SEQ3", seq))
            .add("quadrelle", quadrelle("Major Triad", {MASTER: 1, **GAINS(1, 1, 1, 1), **WAVES(0.75, 0.75, 0.75, 0.75)}))
            .add("sweep", fundamental("LFO", {"Frequency": -3}))
            .add("filter", fundamental("VCF", {"Cutoff frequency": 0.6, "Resonance": 0.25, "Cutoff frequency CV": 0.35}))
            .add("audio", audio())
            .cable("sequencer", "CV 1", "quadrelle", "V/Oct")
            .cable("quadrelle", "Mix", "filter", "Audio")
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
            .add("drone", quadrelle("Drone with Moving Root", {6: NOTE["E"], 7: NOTE["B"], MASTER: 1, **GAINS(1, 0.8, 1, 0.9)}))
            .add("mixer", fundamental("Mixer", {"Level": 1}))
            .add("audio", audio())
            .next_row()
            .add("lead", motifex("G Major Sparse Bells"))
            # Voice 1 alone, mostly sine.
            .add("bell", {"plugin": "Chordwright", "model": "Quadrelle", "version": VERSION,
                          "params": [{"value": 0.9, "id": 0}, {"value": 1.0, "id": MASTER}, {"value": 0.3, "id": 22}]})
            .add("envelope", fundamental("ADSR", {"Attack": 0.05, "Decay": 0.55, "Sustain": 0.15, "Release": 0.5}))
            .add("vca", fundamental("VCA-1"))
            .cable("clock", "Square", "bass", "Clock")
            .cable("clock", "Square", "lead", "Clock")
            .cable("bass", "CV", "drone", "V/Oct")
            .cable("drone", "Mix", "mixer", "Channel 1")
            .cable("lead", "CV", "bell", "V/Oct")
            .cable("lead", "Gate", "envelope", "Gate")
            .cable("bell", "Voice 1", "vca", "Channel")
            .cable("envelope", "Envelope", "vca", "CV")
            .cable("vca", "Channel", "mixer", "Channel 2")
            .cable("mixer", "Mix", "audio", "Left"))


def new_phrase_every_two_loops():
    """A slow LFO's short pulse into Regenerate, near the end of every second
    loop of 32 steps: a new phrase in the same key and chords every 8 s."""
    return motifex_through_envelope(
        motifex("D Minor Busy Sixteenths"),
        # Triads of D natural minor on every note.
        quadrelle("Minor Triad", {4: NOTE["D"], 6: NOTE["A"], 7: NOTE["D"], MASTER: 1, **GAINS(1, 1, 1, 1)}),
        {"Attack": 0.3, "Decay": 0.5, "Sustain": 0.6, "Release": 0.45},
        # 0.125 Hz; inverted, its 1 % pulse comes at the end of each period.
        regenerate={"Frequency": -3, "Invert": 1, "Pulse width": 0.99})


def open_chord():
    """The Open Major Ninth preset straight into the audio module: no clock or
    other module needed."""
    return (Patch()
            .add("audio", audio())
            .add("quadrelle", quadrelle("Open Major Ninth", {MASTER: 1, **GAINS(1, 0.6, 0.6, 0.45)}))
            .cable("quadrelle", "Mix", "audio", "Left"))


# File names without spaces: the kit's `make dist` copies them by name.
PATCHES = {
    "Motifex-First-Patch": first_patch,
    "Quadrelle-Chords-from-a-Sequencer": chords_from_a_sequencer,
    "Motifex-Bass-and-Lead": bass_and_lead,
    "Motifex-New-Phrase-Every-Two-Loops": new_phrase_every_two_loops,
    "Quadrelle-Open-Chord": open_chord,
}


def main():
    for name, build in PATCHES.items():
        path = os.path.join(ROOT, "examples", name + ".vcv")
        build().write(path)
        print(path)


if __name__ == "__main__":
    main()
