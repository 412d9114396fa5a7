#!/usr/bin/env python3
"""Writes the three arrival sounds (soft, clear, glass) as 16-bit mono PCM WAV files.

The sounds are synthesised here from plain tones so that the package carries no recorded audio.
Each is short and clearly different from the others: a low round note, a brief precise tick and a
bright two-partial chime. Usage: make-arrival-sounds.py OUTPUT_FOLDER
"""

import math
import os
import struct
import sys
import wave

RATE = 44100


def render(seconds, sample):
    """Samples of `sample(t)` for `seconds`, with a 12 ms fade-out so the end never clicks."""
    count = int(seconds * RATE)
    fade = int(0.012 * RATE)
    values = []
    for index in range(count):
        value = sample(index / RATE)
        if index >= count - fade:
            value *= (count - index) / fade
        values.append(value)
    return values


def attack(t, rise):
    """A smooth (raised-cosine) rise over `rise` seconds."""
    if t >= rise:
        return 1.0
    return 0.5 - 0.5 * math.cos(math.pi * t / rise)


def soft(t):
    # G4 with a quiet octave, a slow rise and a long gentle decay: low and round.
    envelope = attack(t, 0.035) * math.exp(-t / 0.16)
    tone = math.sin(2 * math.pi * 392.0 * t) + 0.18 * math.sin(2 * math.pi * 784.0 * t)
    return 0.42 * envelope * tone


def clear(t):
    # E6 that starts at once and is gone in a tenth of a second, with a faint upper partial for
    # definition: short and precise.
    envelope = attack(t, 0.002) * math.exp(-t / 0.035)
    tone = math.sin(2 * math.pi * 1318.5 * t) + 0.25 * math.sin(2 * math.pi * 2637.0 * t)
    return 0.55 * envelope * tone


def glass(t):
    # Two inharmonic partials (ratio 2.76, as in a struck glass) that ring and fade at different
    # speeds, entered twice a few milliseconds apart: light and bright.
    def strike(s):
        if s < 0:
            return 0.0
        low = math.exp(-s / 0.22) * math.sin(2 * math.pi * 1760.0 * s)
        high = 0.55 * math.exp(-s / 0.09) * math.sin(2 * math.pi * 4857.6 * s)
        return attack(s, 0.003) * (low + high)

    return 0.34 * (strike(t) + 0.6 * strike(t - 0.11))


SOUNDS = {"soft": (0.55, soft), "clear": (0.16, clear), "glass": (0.62, glass)}


def write(path, values):
    frames = b"".join(struct.pack("<h", int(max(-1.0, min(1.0, v)) * 32767)) for v in values)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-arrival-sounds.py OUTPUT_FOLDER")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, (seconds, sample) in SOUNDS.items():
        write(os.path.join(folder, name + ".wav"), render(seconds, sample))


if __name__ == "__main__":
    main()
