#!/usr/bin/python3
"""Preset by preset: one note of every melodic preset of bank 0, and every
key of the standard drum kit, rendered dry by tessaline-render and by
FluidSynth from one font, each note measured against the other's.

usage: presets.py [--render PATH] [--font SF2] [--out DIR] [--key K] [--velocity V] [--kit N] [--sinc]

Each melodic preset plays key K (default 60) at velocity V (127) for a second,
then three seconds of its release; each drum key (35 to 81) of kit N (default
0, the standard kit) half a second,
then a second and a half. Velocity 127 keeps the format's velocity-to-cutoff
modulator out of the comparison (Tessaline applies it as written, FluidSynth
not at all). Both render without effects, at 44.1 kHz, to
32-bit float: a quiet note in 16 bits is mostly its quantisation's
harmonics, which would hide its own spectrum.

Per note: level (dB, against the median difference of all notes: the two
play at different overall gains), pitch (cents: the shift that best lines up
the two log-frequency spectra of the held part), bright (octaves: the shift
of the spectral centroid), length (s: audible, down to 60 dB below the
note's peak, Tessaline/FluidSynth), pan (dB: the left/right balance's
difference). A row is marked when the level is 4 dB off, the pitch 10 cents,
the centroid half an octave, the length a third and 0.2 s (at 54 and 66 dB
down as well), or the balance 3 dB; the exit status is 1 when any is.
"""
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import listen  # noqa: E402  (arguments, compare_audio, read_stereo, RATE)
import smf  # noqa: E402

NOTE, TAIL = 1.0, 3.0
DRUM_NOTE, DRUM_TAIL = 0.5, 1.5
DRUM_KEYS = range(35, 82)


def bank0_programs(path):
    """The programs of bank 0 the font has (its phdr chunk, found by walking
    the RIFF lists: sample data skipped, not read, and never taken for a
    chunk name)."""
    progs = set()
    with open(path, "rb") as f:
        head = f.read(12)
        if head[:4] != b"RIFF" or head[8:12] != b"sfbk":
            raise SystemExit(f"{path}: not a SoundFont 2 file")
        end = 8 + struct.unpack("<I", head[4:8])[0]
        while f.tell() + 8 <= end:
            tag, size = struct.unpack("<4sI", f.read(8))
            if tag == b"LIST" and f.read(4) == b"pdta":
                stop = f.tell() + size - 4
                while f.tell() + 8 <= stop:
                    tag, size = struct.unpack("<4sI", f.read(8))
                    if tag != b"phdr":
                        f.seek(size + (size & 1), 1)
                        continue
                    data = f.read(size)
                    for i in range(size // 38 - 1):  # the last record ends the list
                        _, prog, bank = struct.unpack("<20sHH", data[38 * i:38 * i + 24])
                        if bank == 0 and prog < 128:
                            progs.add(prog)
                    return sorted(progs)
                break
            f.seek(size + (size & 1) - (4 if tag == b"LIST" else 0), 1)
    raise SystemExit(f"{path}: no preset headers (pdta/phdr)")


def notes(programs, key, velocity, kit):
    """(label, start s, window s) and the events that play them."""
    events, spans, t = [], [], 0.5
    for p in programs:
        events += [(t - 0.25, bytes([0xC0, p])), (t, bytes([0x90, key, velocity])), (t + NOTE, bytes([0x80, key, 0]))]
        spans.append((f"program {p}", t, NOTE + TAIL))
        t += NOTE + TAIL
    events.append((t - 0.25, bytes([0xC9, kit])))
    for k in DRUM_KEYS:
        events += [(t, bytes([0x99, k, velocity])), (t + DRUM_NOTE, bytes([0x89, k, 0]))]
        spans.append((f"drum key {k}", t, DRUM_NOTE + DRUM_TAIL))
        t += DRUM_NOTE + DRUM_TAIL
    return events, spans


def log_spectrum(x):
    """Magnitude on a 5-cent log-frequency axis from 50 Hz to 10 kHz, in dB."""
    size = 1 << 15
    seg = x[:size] if len(x) >= size else np.pad(x, (0, size - len(x)))
    mag = np.abs(np.fft.rfft(seg * np.hanning(size)))
    freqs = np.fft.rfftfreq(size, 1 / listen.RATE)
    grid = 50 * 2 ** (np.arange(0, 1200 * np.log2(10000 / 50), 5) / 1200)
    return 20 * np.log10(np.interp(grid, freqs, mag) + 1e-9)


def pitch_shift(a, b):
    """Cents to move b's spectrum by to line it up with a's (within ±100)."""
    sa, sb = log_spectrum(a), log_spectrum(b)
    sa, sb = sa - sa.mean(), sb - sb.mean()
    best, shift = -np.inf, 0
    for s in range(-20, 21):
        c = np.dot(sa[max(0, s):len(sa) + min(0, s)], sb[max(0, -s):len(sb) - max(0, s)])
        if c > best:
            best, shift = c, s
    return 5 * shift


def centroid(x):
    mag = np.abs(np.fft.rfft(x * np.hanning(len(x))))
    freqs = np.fft.rfftfreq(len(x), 1 / listen.RATE)
    return float((mag * freqs).sum() / (mag.sum() + 1e-30))


def audible(x, db=60):
    """Seconds up to the last sound within `db` of the note's peak."""
    return listen.compare_audio.audible_end(x, db) / listen.RATE


def lengths_differ(a, b):
    """The audible lengths differ by a third and 0.2 s at 54, 60 and 66 dB
    below each note's peak alike (a sustain that sits near one threshold
    crosses it in one render and not the other)."""
    for db in (54, 60, 66):
        la, lb = audible(a, db), audible(b, db)
        if not (abs(la - lb) > 0.2 and abs(la - lb) > max(la, lb) / 3):
            return False
    return True


def main():
    p = listen.arguments(__doc__, "presets")
    p.add_argument("--font", default="/usr/share/sounds/sf2/TimGM6mb.sf2")
    p.add_argument("--key", type=int, default=60)
    p.add_argument("--velocity", type=int, default=127)
    p.add_argument("--kit", type=int, default=0, help="the drum kit (program on channel 10)")
    p.add_argument("--sinc", action="store_true", help="Tessaline with sinc interpolation (FluidSynth keeps its default)")
    args = p.parse_args()
    os.makedirs(args.out, exist_ok=True)
    events, spans = notes(bank0_programs(args.font), args.key, args.velocity, args.kit)
    ours, theirs = os.path.join(args.out, "tessaline.wav"), os.path.join(args.out, "fluidsynth.wav")
    with tempfile.TemporaryDirectory() as work:
        mid = os.path.join(work, "presets.mid")
        smf.write(mid, events)
        subprocess.run([args.render, "--rate", str(listen.RATE), "--float", "--nofx"] + (["--sinc"] if args.sinc else []) +
                       ["-f", args.font, "-o", ours, mid],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["fluidsynth", "-ni", "-q", "-R", "0", "-C", "0", "-T", "wav", "-O", "float", "-r",
                        str(listen.RATE), "-F", theirs, args.font, mid],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    a, b = listen.read_stereo(ours), listen.read_stereo(theirs)
    rows = []
    for label, start, length in spans:
        i, n = int(start * listen.RATE), int(length * listen.RATE)
        sa, sb = a[i:i + n], b[i:i + n]
        ma, mb = sa.mean(axis=1), sb.mean(axis=1)
        ra, rb = np.sqrt((ma ** 2).mean()), np.sqrt((mb ** 2).mean())
        if ra < 1e-5 and rb < 1e-5:
            continue  # silent in both (a drum key the kit lacks)
        held = slice(int(0.05 * listen.RATE), int(0.8 * min(NOTE, length) * listen.RATE))
        # Hard left or right is 30 dB, however little of it leaks across.
        bal = []
        for s in (sa, sb):
            left, right = (s[:, 0] ** 2).mean(), (s[:, 1] ** 2).mean()
            floor = 1e-3 * (left + right) + 1e-30
            bal.append(10 * np.log10((left + floor) / (right + floor)))
        rows.append((label, 20 * np.log10((ra + 1e-12) / (rb + 1e-12)), pitch_shift(ma[held], mb[held]),
                     np.log2((centroid(ma[held]) + 1) / (centroid(mb[held]) + 1)), audible(ma), audible(mb),
                     bal[0] - bal[1], lengths_differ(ma, mb)))
    offset = float(np.median([r[1] for r in rows]))
    print(f"font {os.path.basename(args.font)}; level against the median difference, {offset:+.1f} dB")
    print(f"{'note':16} {'level':>6} {'pitch':>6} {'bright':>6} {'length T/F':>11} {'pan':>5}")
    marked = 0
    for label, level, cents, bright, la, lb, pan, longer in rows:
        level -= offset
        bad = abs(level) > 4 or abs(cents) > 10 or abs(bright) > 0.5 or abs(pan) > 3 or longer
        marked += bad
        print(f"{label:16} {level:+6.1f} {cents:+6d} {bright:+6.2f} {la:5.2f}/{lb:<5.2f} {pan:+5.1f}{'  <-' if bad else ''}")
    print(f"{marked} of {len(rows)} notes differ")
    return 1 if marked else 0


if __name__ == "__main__":
    sys.exit(main())
