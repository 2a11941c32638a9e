#!/usr/bin/env python3
"""Writes the arrival sound that comes with the program: two soft bell tones.

    chime.py <output.wav>

Made at build time, so the repository holds the recipe rather than a binary;
the same bytes come out on every machine.
"""
import math
import struct
import sys
import wave

RATE = 22050
# A falling fourth, each tone with a quiet octave above it and a bell's decay.
TONES = ((0.00, 1318.5), (0.16, 987.8))
LENGTH = 0.75


def sample(t):
    value = 0.0
    for start, pitch in TONES:
        if t < start:
            continue
        age = t - start
        envelope = math.exp(-age * 6.0) * min(1.0, age / 0.004)
        value += envelope * (math.sin(2 * math.pi * pitch * age) + 0.3 * math.sin(4 * math.pi * pitch * age))
    return value * 0.35


def main():
    frames = bytearray()
    for i in range(int(RATE * LENGTH)):
        value = max(-1.0, min(1.0, sample(i / RATE)))
        frames += struct.pack("<h", int(round(value * 32767)))
    with wave.open(sys.argv[1], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))


if __name__ == "__main__":
    main()
