#!/usr/bin/env python3
"""Writes a large sampled-instrument SFZ for timing note-ons: every key of
the piano range in velocity layers and round robins, all on one short sine.

usage: make_layered_sfz.py DIR [--layers 16] [--round-robin 8]

Writes DIR/layered.sfz and DIR/tone.wav. With the defaults it has 11,264
regions, a few dozen to a key, as large sampled pianos have.
"""
import argparse
import math
import os
import struct
import sys
import wave


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("dir")
    parser.add_argument("--layers", type=int, default=16)
    parser.add_argument("--round-robin", type=int, default=8)
    args = parser.parse_args()
    out, layers, rounds = args.dir, args.layers, args.round_robin
    if not 1 <= layers <= 128 or rounds < 1:
        parser.error("--layers takes 1 to 128, --round-robin at least 1")
    os.makedirs(out, exist_ok=True)
    rate = 44100
    frames = [int(0.3 * 32767 * math.sin(2 * math.pi * 261.63 * n / rate)) for n in range(rate // 2)]
    with wave.open(os.path.join(out, "tone.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack("<%dh" % len(frames), *frames))
    step = 128 // layers
    with open(os.path.join(out, "layered.sfz"), "w") as f:
        f.write("<global> sample=tone.wav pitch_keycenter=60 ampeg_release=0.3\n")
        for key in range(21, 109):
            for layer in range(layers):
                lo = 0 if layer == 0 else layer * step
                hi = 127 if layer == layers - 1 else layer * step + step - 1
                for r in range(rounds):
                    f.write(f"<region> key={key} lovel={lo} hivel={hi} seq_length={rounds} seq_position={r + 1}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
