#!/usr/bin/env python3
"""Checks that two renderings of one MIDI file play the same music.

usage: compare_audio.py A.wav B.wav

Prints the lengths (whole and audible: up to the last 128-frame block within
60 dB of the loudest), the correlation of the loudness envelopes (RMS in dB
over 50 ms windows, so a difference in overall gain does not count) and the
mean cosine similarity of the chroma (energy per pitch class over 200 ms
windows). Exits 1 when the envelopes or the chroma disagree.
"""
import struct
import sys

import numpy as np

BLOCK = 128


def frames(path):
    """The rate and the frames (one row each, a column per channel) of a
    16-bit or 32-bit float WAV file. Python's wave module takes only integer
    samples, so float files (tessaline-render --float, fluidsynth -O float)
    are read by their chunks."""
    data = open(path, "rb").read()
    at, fmt = 12, None
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if kind == b"fmt ":
            fmt = struct.unpack("<HHI6xH", data[at + 8:at + 24])  # tag, channels, rate, bits
        elif kind == b"data" and fmt:
            tag, ch, rate, bits = fmt
            raw = data[at + 8:at + 8 + size]
            if bits == 16:
                x = np.frombuffer(raw, dtype="<i2").astype(np.float64) / 32768.0
            elif bits == 32 and tag in (3, 0xFFFE):
                x = np.frombuffer(raw, dtype="<f4").astype(np.float64)
            else:
                raise SystemExit(f"{path}: {bits}-bit samples (format {tag}) not handled")
            return rate, x[: len(x) // ch * ch].reshape(-1, ch)
        at += 8 + size + (size & 1)
    raise SystemExit(f"{path}: not a WAV file with a format and data")


def read(path):
    rate, x = frames(path)
    return rate, x.mean(axis=1)


def audible_end(x, db=60):
    """Frames up to the end of the last block within `db` of the loudest."""
    blocks = len(x) // BLOCK
    rms = np.sqrt((x[: blocks * BLOCK].reshape(blocks, BLOCK) ** 2).mean(axis=1) + 1e-30)
    loud = np.nonzero(rms > rms.max() * 10 ** (-db / 20))[0]
    return (loud[-1] + 1) * BLOCK if len(loud) else 0


def envelope(x, rate):
    hop = int(rate * 0.05)
    n = len(x) // hop
    rms = np.sqrt((x[: n * hop].reshape(n, hop) ** 2).mean(axis=1) + 1e-12)
    return 20 * np.log10(rms)


def chroma(x, rate):
    size = 8192
    hop = int(rate * 0.2)
    freqs = np.fft.rfftfreq(size, 1 / rate)
    band = (freqs > 60) & (freqs < 4000)
    pcs = (np.round(12 * np.log2(freqs[band] / 440.0)) % 12).astype(int)
    win = np.hanning(size)
    frames = []
    for start in range(0, len(x) - size, hop):
        mag = np.abs(np.fft.rfft(x[start : start + size] * win))[band] ** 2
        frames.append(np.bincount(pcs, weights=mag, minlength=12))
    return np.array(frames)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    ra, a = read(sys.argv[1])
    rb, b = read(sys.argv[2])
    if ra != rb:
        print(f"rates differ: {ra} and {rb}")
        return 1
    ea, eb = audible_end(a), audible_end(b)
    print(f"length: {len(a) / ra:.3f} s and {len(b) / rb:.3f} s; audible: {ea / ra:.3f} s and {eb / rb:.3f} s "
          f"({abs(ea - eb) / BLOCK:.1f} blocks apart)")
    n = min(ea, eb)
    # Below -60 dBFS throughout (a font without the file's instruments; a
    # renderer's dither): no music to compare.
    quiet = [np.abs(x).max() < 1e-3 for x in (a, b)]
    if any(quiet):
        print("both are silent" if all(quiet) else f"{sys.argv[1 + quiet.index(True)]} is silent")
        return 0 if all(quiet) else 1
    env_a, env_b = envelope(a[:n], ra), envelope(b[:n], rb)
    keep = (env_a > env_a.max() - 60) | (env_b > env_b.max() - 60)
    corr = float(np.corrcoef(env_a[keep], env_b[keep])[0, 1])
    ca, cb = chroma(a[:n], ra), chroma(b[:n], rb)
    energy = (ca.sum(axis=1) > ca.sum(axis=1).max() * 1e-4) & (cb.sum(axis=1) > cb.sum(axis=1).max() * 1e-4)
    ca, cb = ca[energy], cb[energy]
    cos = (ca * cb).sum(axis=1) / (np.linalg.norm(ca, axis=1) * np.linalg.norm(cb, axis=1) + 1e-30)
    print(f"loudness envelope correlation: {corr:.3f}; chroma similarity: mean {cos.mean():.3f}, "
          f"10th percentile {np.percentile(cos, 10):.3f}")
    ok = corr >= 0.8 and cos.mean() >= 0.8
    print("same music: " + ("yes" if ok else "NO"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
