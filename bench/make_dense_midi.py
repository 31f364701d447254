#!/usr/bin/env python3
"""Writes a dense, deterministic standard MIDI file for the render benchmark.

usage: make_dense_midi.py OUT.mid [--seconds 60] [--notes-per-second 2000]
                          [--drums-only]

Fifteen melodic channels with varied programs plus drums; notes of 0.3-1.5 s
start at a steady rate, so about notes-per-second x 0.9 notes overlap.
--drums-only puts every note on the drum channel (the same times, drum keys).
"""
import argparse
import os
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "listen"))
from smf import vlq  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--notes-per-second", type=float, default=2000.0)
    parser.add_argument("--drums-only", action="store_true")
    args = parser.parse_args()
    if args.seconds <= 0 or args.notes_per_second <= 0:
        parser.error("--seconds and --notes-per-second take positive numbers")
    out, seconds, rate, drums_only = args.out, args.seconds, args.notes_per_second, args.drums_only
    rng = random.Random(1234)
    tpq = 480  # ticks per quarter; tempo 500000 us -> 960 ticks per second
    tps = 960.0
    events = []  # (tick, order, bytes)
    programs = [0, 4, 24, 32, 40, 48, 52, 56, 61, 65, 71, 73, 80, 88, 89, 0]
    for ch in range(16):
        if ch == 9:
            continue
        events.append((0, 0, bytes([0xC0 | ch, programs[ch]])))
        events.append((0, 0, bytes([0xB0 | ch, 7, 100])))
        events.append((0, 0, bytes([0xB0 | ch, 10, rng.randrange(20, 108)])))
    n = int(seconds * rate)
    for k in range(n):
        t = k / rate
        ch = rng.randrange(16)
        if drums_only:
            ch = 9
        key = rng.randrange(35, 82) if ch == 9 else rng.randrange(36, 96)
        vel = rng.randrange(40, 127)
        dur = rng.uniform(0.3, 1.5)
        on = int(t * tps)
        off = int((t + dur) * tps)
        events.append((on, 2, bytes([0x90 | ch, key, vel])))
        events.append((off, 1, bytes([0x80 | ch, key, 0])))
    events.sort(key=lambda e: (e[0], e[1]))
    track = bytearray()
    track += vlq(0) + bytes([0xFF, 0x51, 0x03]) + (500000).to_bytes(3, "big")
    last = 0
    for tick, _, data in events:
        track += vlq(tick - last) + data
        last = tick
    track += vlq(0) + bytes([0xFF, 0x2F, 0x00])
    with open(out, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, tpq))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)
    return 0


if __name__ == "__main__":
    sys.exit(main())
