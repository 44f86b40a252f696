#!/usr/bin/python3
"""The listening examples: every example patch and every factory preset
rendered on Rack's own engine (scripts/render-rack.sh), as an Ogg Vorbis file
and a spectrogram in docs/listening/, with a fingerprint of each render in
docs/listening/fingerprints.json.

  scripts/make-listening.py           render, encode, draw, record
  scripts/make-listening.py --check   render again and fail when a render no
                                      longer matches its recorded fingerprint
                                      or its files; and check the example
                                      patches as players hear them: sound
                                      within 2 s, peaks between 2 V and 10 V,
                                      every gate into an envelope opens it

A fingerprint holds, for every 100 ms of a render, its RMS and its spectral
centroid: a change to what the modules play changes them beyond the
tolerance, while a last bit of floating point on another processor does not.
Presets and patches carry their phrases, so their renders repeat exactly;
only a patch that regenerates its phrase is compared up to its first
Regenerate request (found by recording what drives that input).
Needs the official kit and host (scripts/official-lib.sh); writing also
needs vorbis-tools and python3-matplotlib (scripts/install-deps.sh listening).
"""
import argparse
import copy
import hashlib
import json
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from patchlib import (FUNDAMENTAL, MOTIFEX, QUADRELLE, ROOT, VERSION, Patch, audio, chord_sequencer,  # noqa: E402
                      fundamental, motifex, motifex_through_envelope, preset)

OUT = os.path.join(ROOT, "docs", "listening")
FINGERPRINTS = os.path.join(OUT, "fingerprints.json")
RATE = 48000
BLOCK = RATE // 10
EXAMPLE_SECONDS, PRESET_SECONDS = 24, 20
# Fingerprints: relative and absolute slack of a block's RMS (V) and centroid (Hz).
RMS_SLACK, CENTROID_SLACK = (1e-4, 1e-4), (1e-4, 0.05)
# Below this RMS (V) a block's centroid is noise and is not compared.
QUIET = 1e-3

ADSR_GATE, ADSR_ENVELOPE = FUNDAMENTAL["ADSR"]["inputs"]["Gate"], FUNDAMENTAL["ADSR"]["outputs"]["Envelope"]
RECORDER = {"plugin": "Rackhost", "model": "Recorder"}


def quadrelle_preset_patch(name):
    """The preset's Quadrelle into the audio module; all but the knob-only
    Open Major Ninth play C, A, F and G from SEQ3, two seconds each."""
    p = Patch()
    if name != "Open Major Ninth":
        p.add("sequencer", chord_sequencer())
    p.add("quadrelle", preset("Quadrelle", name)).add("audio", audio())
    if name != "Open Major Ninth":
        p.cable("sequencer", "CV 1", "quadrelle", "VOCT_INPUT")
    return p.cable("quadrelle", "MIX_OUTPUT", "audio", "Left").json()


def motifex_preset_patch(name):
    """The preset's Motifex running on eight steps a second, playing one
    square voice of Quadrelle through a filter and an envelope."""
    voice = {"plugin": "Chordwright", "model": "Quadrelle", "version": VERSION,
             "params": [{"id": QUADRELLE.WAVE_1_PARAM, "value": 0.0}, {"id": QUADRELLE.MASTER_GAIN_PARAM, "value": 1.0},
                        {"id": QUADRELLE.GAIN_1_PARAM, "value": 1.0}]}
    return motifex_through_envelope(
        motifex(name), voice, {"Attack": 0.1, "Decay": 0.45, "Sustain": 0.5, "Release": 0.35}, output="VOICE_1_OUTPUT",
        filter=fundamental("VCF", {"Cutoff frequency": 0.8, "Resonance": 0.2})).json()


def slug(text):
    return text.replace(" ", "-")


def renders():
    """Name -> (patch JSON, seconds, whether it is an example patch)."""
    items = {}
    for f in sorted(os.listdir(os.path.join(ROOT, "examples"))):
        if f.endswith(".vcv"):
            items[f[:-4]] = (json.load(open(os.path.join(ROOT, "examples", f))), EXAMPLE_SECONDS, True)
    for model, build in (("Quadrelle", quadrelle_preset_patch), ("Motifex", motifex_preset_patch)):
        for f in sorted(os.listdir(os.path.join(ROOT, "presets", model))):
            if f.endswith(".vcvm"):
                items[model + "-preset-" + slug(f[:-5])] = (build(f[:-5]), PRESET_SECONDS, False)
    return items


def read_wav(path):
    """The samples of a WAV file of 32-bit floats, in volts (the renderer
    writes volts / 10), one row per channel."""
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", path
    pos, channels, samples = 12, 1, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt, channels = struct.unpack("<HH", body[:4])
            bits = struct.unpack("<H", body[14:16])[0]
            assert bits == 32 and fmt in (3, 0xFFFE), "not 32-bit float: " + path
        elif tag == b"data":
            samples = np.frombuffer(body, dtype="<f4")
        pos += 8 + size + (size & 1)
    return samples.reshape(-1, channels).T.astype(np.float64) * 10


def render(patch, seconds, work, name):
    """Renders a patch JSON on Rack's engine; its channels in volts."""
    src, wav = os.path.join(work, name + ".vcv"), os.path.join(work, name + ".wav")
    json.dump(patch, open(src, "w"))
    subprocess.run([os.path.join(ROOT, "scripts", "render-rack.sh"), src, "-o", wav, "--seconds", str(seconds)],
                   check=True, stdout=subprocess.DEVNULL)
    return read_wav(wav)


def probe(patch, sources):
    """The patch with its audio module replaced by the headless host's
    Recorder, recording the outputs `sources` ((module id, output id), one or
    two) on its left and right inputs."""
    p = copy.deepcopy(patch)
    audio_ids = {m["id"] for m in p["modules"] if m["plugin"] == "Core"}
    p["modules"] = [m for m in p["modules"] if m["id"] not in audio_ids]
    p["cables"] = [c for c in p["cables"] if c["inputModuleId"] not in audio_ids]
    rid = max(m["id"] for m in p["modules"]) + 1
    p["modules"].append(dict(RECORDER, id=rid, pos=[0, 9]))
    for i, (module, output) in enumerate(sources):
        p["cables"].append({"id": max([c["id"] for c in p["cables"]] + [0]) + 1, "outputModuleId": module,
                            "outputId": output, "inputModuleId": rid, "inputId": i})
    return p


def models(patch):
    return {m["id"]: m["model"] for m in patch["modules"]}


def regenerate_sources(patch):
    ids = models(patch)
    return [(c["outputModuleId"], c["outputId"]) for c in patch["cables"]
            if ids[c["inputModuleId"]] == "Motifex" and c["inputId"] == MOTIFEX.REGENERATE_INPUT]


def gated_envelopes(patch):
    """(Motifex id, ADSR id) for each Motifex gate patched into an ADSR."""
    ids = models(patch)
    return [(c["outputModuleId"], c["inputModuleId"]) for c in patch["cables"]
            if ids[c["outputModuleId"]] == "Motifex" and c["outputId"] == MOTIFEX.GATE_OUTPUT
            and ids[c["inputModuleId"]] == "ADSR" and c["inputId"] == ADSR_GATE]


def compared_seconds(patch, seconds, work, name):
    """How much of a render repeats: all of it, or up to 0.1 s before the
    first Regenerate request (a voltage above 0 V), whole blocks."""
    sources = regenerate_sources(patch)
    if not sources:
        return float(seconds)
    first = seconds
    for k, source in enumerate(sources):
        v = render(probe(patch, [source]), seconds, work, name + "-regenerate-%d" % k)[0]
        above = np.flatnonzero(v > 0)
        if len(above):
            first = min(first, above[0] / RATE)
    return float(max(0, np.floor((first - 0.1) * 10) / 10))


def fingerprint(v):
    blocks = []
    spectrum_hz = np.fft.rfftfreq(BLOCK, 1 / RATE)
    for b in range(len(v) // BLOCK):
        x = v[b * BLOCK:(b + 1) * BLOCK]
        rms = float(np.sqrt(np.mean(x * x)))
        power = np.abs(np.fft.rfft(x * np.hanning(BLOCK))) ** 2
        centroid = float((power * spectrum_hz).sum() / power.sum()) if power.sum() > 0 else 0.0
        blocks.append([round(rms, 6), round(centroid, 3)])
    return blocks


def levels(v):
    loud = [b for b in range(len(v) // BLOCK) if np.sqrt(np.mean(v[b * BLOCK:(b + 1) * BLOCK] ** 2)) >= 0.1]
    return {"peak": round(float(np.max(np.abs(v))), 3), "rms": round(float(np.sqrt(np.mean(v * v))), 3),
            "sound_from": round(loud[0] * BLOCK / RATE, 1) if loud else None}


def envelope_gates(patch, seconds, work, name):
    """For each Motifex gate into an ADSR: the gate's rises and how many of
    them the envelope answers by reaching 9 V (of its 10 V) within 60 ms."""
    results = []
    for k, (source, adsr) in enumerate(gated_envelopes(patch)):
        env, gate = render(probe(patch, [(adsr, ADSR_ENVELOPE), (source, MOTIFEX.GATE_OUTPUT)]), seconds, work,
                           name + "-envelope-%d" % k)
        rises = np.flatnonzero((gate[1:] >= 1.0) & (gate[:-1] < 1.0)) + 1
        rises = rises[rises + RATE * 60 // 1000 <= len(env)]
        opened = sum(1 for r in rises if env[r:r + RATE * 60 // 1000].max() >= 9.0)
        results.append({"gates": int(len(rises)), "opened": int(opened), "envelope_peak": round(float(env.max()), 2)})
    return results


def example_problems(name, lv, envelopes):
    problems = []
    if lv["sound_from"] is None or lv["sound_from"] >= 2.0:
        problems.append("no sound (100 ms at 0.1 V RMS) within the first 2 s")
    if not 2.0 <= lv["peak"] <= 10.0:
        problems.append("peak %.2f V, not between 2 V and 10 V" % lv["peak"])
    for e in envelopes:
        if e["gates"] == 0 or e["opened"] != e["gates"]:
            problems.append("%d of %d gates opened the envelope" % (e["opened"], e["gates"]))
    return ["%s: %s" % (name, p) for p in problems]


def differences(name, recorded, blocks, until):
    n = int(round(until * 10))
    old = recorded["blocks"][:n]
    if len(blocks) < n or len(old) < n:
        return ["%s: %d blocks recorded, %d rendered, %d compared" % (name, len(old), len(blocks), n)]
    out = []
    for b, ((r0, c0), (r1, c1)) in enumerate(zip(old, blocks[:n])):
        if abs(r1 - r0) > RMS_SLACK[0] * max(r0, r1) + RMS_SLACK[1]:
            out.append("%s at %.1f s: RMS %.6f V, recorded %.6f V" % (name, b / 10, r1, r0))
        elif max(r0, r1) >= QUIET and abs(c1 - c0) > CENTROID_SLACK[0] * max(c0, c1) + CENTROID_SLACK[1]:
            out.append("%s at %.1f s: spectral centroid %.3f Hz, recorded %.3f Hz" % (name, b / 10, c1, c0))
    return out[:5] + (["%s: %d more blocks differ" % (name, len(out) - 5)] if len(out) > 5 else [])


def sha256(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def encode(v, path, work):
    """Ogg Vorbis of the render, mono, at the renderer's scale (10 V full)."""
    import wave
    pcm = os.path.join(work, "pcm.wav")
    with wave.open(pcm, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes((np.clip(v / 10, -1, 1) * 32767).astype("<i2").tobytes())
    subprocess.run(["oggenc", "-Q", "-q", "0", "--serial", "1", "-o", path, pcm], check=True)


def draw(v, title, path):
    """A spectrogram on a scale of notes: each note of a phrase is a line."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from PIL import Image
    n, hop = 8192, 1200
    frames = np.lib.stride_tricks.sliding_window_view(v, n)[::hop] * np.hanning(n)
    db = 20 * np.log10(np.abs(np.fft.rfft(frames, axis=1)).T + 1e-6)
    hz = np.fft.rfftfreq(n, 1 / RATE)
    keep = (hz >= 40) & (hz <= 5000)
    fig, ax = plt.subplots(figsize=(8, 2.6), dpi=100)
    top = db[keep].max()
    ax.pcolormesh(np.arange(db.shape[1]) * hop / RATE, hz[keep], db[keep], vmin=top - 70, vmax=top,
                  cmap="magma", shading="auto", rasterized=True)
    ax.set_yscale("log")
    ticks = [65.41 * 2 ** k for k in range(7)]
    ax.set_yticks(ticks)
    ax.set_yticklabels(["C%d" % (k + 2) for k in range(7)])
    ax.minorticks_off()
    ax.set_ylim(40, 5000)
    ax.set_xlabel("seconds")
    ax.set_title(title, fontsize=9)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)
    # A palette of 48 colours keeps the picture small.
    Image.open(path).convert("RGB").quantize(48).save(path, optimize=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true", help="compare with the recorded fingerprints")
    parser.add_argument("only", nargs="*", help="names to render (default: all)")
    args = parser.parse_args()
    items = renders()
    recorded = json.load(open(FINGERPRINTS)) if os.path.exists(FINGERPRINTS) else {}
    problems = []
    if args.check and not args.only:
        for name in sorted(set(items) ^ set(recorded)):
            problems.append("%s: %s" % (name, "no listening example" if name in items else "no longer rendered"))
    names = args.only or sorted(items)
    if not args.check:
        subprocess.run([os.path.join(ROOT, "scripts", "install-deps.sh"), "listening"], check=True)
    with tempfile.TemporaryDirectory() as work:
        for name in names:
            patch, seconds, is_example = items[name]
            v = render(patch, seconds, work, name)[0]
            until = compared_seconds(patch, seconds, work, name)
            blocks, lv = fingerprint(v), levels(v)
            envelopes = envelope_gates(patch, seconds, work, name) if is_example else []
            line = "%-46s peak %5.2f V  RMS %4.2f V  sound from %s s" % (name, lv["peak"], lv["rms"], lv["sound_from"])
            for e in envelopes:
                line += "  gates %d/%d opened" % (e["opened"], e["gates"])
            if until < seconds:
                line += "  compared up to %.1f s" % until
            print(line, flush=True)
            if is_example:
                problems += example_problems(name, lv, envelopes)
            ogg, png = os.path.join(OUT, name + ".ogg"), os.path.join(OUT, name + ".png")
            if args.check:
                if name not in recorded:
                    continue
                problems += differences(name, recorded[name], blocks, min(until, recorded[name]["compared_seconds"]))
                for path, key in ((ogg, "ogg_sha256"), (png, "png_sha256")):
                    if not os.path.exists(path) or sha256(path) != recorded[name][key]:
                        problems.append("%s: %s is not the one recorded with the fingerprint" % (name, path))
                continue
            # Rendered again: what is compared must repeat (Fundamental's VCF
            # adds a noise of about a microvolt, so not always to the bit).
            again = render(patch, seconds, work, name + "-again")[0]
            n = int(round(until * RATE))
            apart = float(np.max(np.abs(v[:n] - again[:n])))
            print("    rendered again: %s" % ("the same to the bit" if apart == 0 else "apart by %.1e V at most" % apart))
            if apart > 1e-4:
                sys.exit("%s: two renders differ by %g V within the first %.1f s" % (name, apart, until))
            os.makedirs(OUT, exist_ok=True)
            encode(v, ogg, work)
            draw(v, "%s: peak %.1f V, RMS %.2f V" % (name, lv["peak"], lv["rms"]), png)
            recorded[name] = dict(lv, seconds=seconds, compared_seconds=until, envelopes=envelopes,
                                  ogg_sha256=sha256(ogg), png_sha256=sha256(png), blocks=blocks)
    if not args.check:
        with open(FINGERPRINTS, "w") as f:
            json.dump(recorded, f, separators=(",", ":"), sort_keys=True)
            f.write("\n")
        print("wrote %s and %d listening examples into %s" % (FINGERPRINTS, len(names), OUT))
    if problems:
        print("\n".join(["FAILED:"] + problems), file=sys.stderr)
        sys.exit(1)
    if args.check:
        print("every listening example matches its render on Rack's engine")


if __name__ == "__main__":
    main()
