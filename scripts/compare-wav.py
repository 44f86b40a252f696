#!/usr/bin/env python3
"""Compares two renders (WAV, 32-bit float, volts / 10) sample by sample.

  compare-wav.py NAME OURS THEIRS [--tolerance VOLTS]

Without a tolerance the files must hold the same samples bit for bit;
with one, no sample may differ by more than that many volts. Prints one
line: NAME, the frames compared and the largest difference, with the sample
(frame and channel) where it is and both values. Exit status 1 when they
differ beyond what is allowed or cannot be compared.
"""
import argparse
import array
import struct
import sys


def read_wav(path):
    """(sample rate, channels, samples as float32 array) of a float WAV file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path} is not a WAV file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif chunk == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(f"{path} lacks a fmt or data chunk")
    tag, channels, rate, _, _, bits = fmt
    if tag != 3 or bits != 32:
        raise ValueError(f"{path} is not 32-bit float")
    values = array.array("f")
    values.frombytes(samples[:len(samples) // 4 * 4])
    if sys.byteorder != "little":
        values.byteswap()
    return rate, channels, values


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("name")
    parser.add_argument("ours")
    parser.add_argument("theirs")
    parser.add_argument("--tolerance", type=float, default=None, help="volts; bit for bit without it")
    a = parser.parse_args()
    try:
        ours, theirs = read_wav(a.ours), read_wav(a.theirs)
    except (OSError, ValueError) as e:
        print(f"{a.name}: cannot compare: {e}")
        return 1
    if ours[:2] != theirs[:2] or len(ours[2]) != len(theirs[2]):
        print(f"{a.name}: the renders differ in form: ours {ours[0]} Hz, {ours[1]} channels, "
              f"{len(ours[2]) // ours[1]} frames; Rack's {theirs[0]} Hz, {theirs[1]} channels, "
              f"{len(theirs[2]) // theirs[1]} frames")
        return 1
    channels, x, y = ours[1], ours[2], theirs[2]
    frames = len(x) // channels
    # Bit patterns for the exact comparison: -0 and 0 differ too.
    bx, by = array.array("I", x.tobytes()), array.array("I", y.tobytes())
    differing, worst, where = 0, 0.0, None
    for i in range(len(x)):
        if bx[i] != by[i]:
            differing += 1
            d = abs(x[i] - y[i]) * 10
            if where is None or d > worst:
                worst, where = d, i
    if where is None:
        print(f"{a.name}: identical bit for bit ({frames} frames x {channels} channel{'s' * (channels != 1)})")
        return 0
    frame, channel = divmod(where, channels)
    detail = (f"largest difference {worst:.3g} V at sample {frame} (channel {channel + 1}): "
              f"ours {x[where] * 10!r} V, Rack's {y[where] * 10!r} V; {differing} of {len(x)} samples differ")
    if a.tolerance is None:
        print(f"{a.name}: NOT identical: {detail}")
        return 1
    if worst > a.tolerance:
        print(f"{a.name}: beyond {a.tolerance:g} V: {detail}")
        return 1
    print(f"{a.name}: within {a.tolerance:g} V: {detail}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
