#!/usr/bin/python3
"""Listening comparison: renders short pieces with tessaline-render and with
FluidSynth (the reference) from the same SoundFont, prints per piece how close
they are, and writes the WAV files and spectrogram pictures to listen to and
look at.

usage: listen.py [--render PATH] [--font SF2] [--out DIR] [--songs N] [--seconds S]

Pieces: the generated ones of pieces.py, then the first S seconds (default
20) of N songs (default 2) of the openttd-openmsx package. Output (default
build/listen): NAME.tessaline.wav, NAME.fluidsynth.wav, NAME.png.

Columns: level (Tessaline's RMS against FluidSynth's, dB), env (correlation
of the 50 ms loudness envelopes), notes (mean chroma similarity), bands (per
octave band from 63 Hz to 16 kHz, Tessaline's share of the energy against
FluidSynth's, dB, each render brought to the same level first), width (the
correlation of left and right: 1 is mono), tail (audible length, s).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
sys.path.insert(0, os.path.dirname(here))
import compare_audio  # noqa: E402  (envelope, chroma, audible length)
import picture  # noqa: E402
import pieces  # noqa: E402
import smf  # noqa: E402

RATE = 44100
SONGS = "/usr/share/games/openttd/baseset/openmsx"
BANDS = [63 * 2 ** i for i in range(9)]  # 63 Hz ... 16 kHz


def read_stereo(path):
    _, x = compare_audio.frames(path)
    return x if x.shape[1] == 2 else np.repeat(x, 2, axis=1)


def band_shares(x):
    """Energy per octave band against the whole, dB (Welch average)."""
    size = 8192
    win = np.hanning(size)
    freqs = np.fft.rfftfreq(size, 1 / RATE)
    power = np.zeros(len(freqs))
    for start in range(0, max(1, len(x) - size), size // 2):
        seg = x[start:start + size]
        if len(seg) == size:
            power += np.abs(np.fft.rfft(seg * win)) ** 2
    total = power.sum() + 1e-30
    return np.array([10 * np.log10(power[(freqs >= f / 2 ** 0.5) & (freqs < f * 2 ** 0.5)].sum() / total + 1e-30)
                     for f in BANDS])


def measure(ours, theirs):
    a, b = ours.mean(axis=1), theirs.mean(axis=1)
    ea, eb = compare_audio.audible_end(a), compare_audio.audible_end(b)
    n = min(ea, eb)
    env_a, env_b = compare_audio.envelope(a[:n], RATE), compare_audio.envelope(b[:n], RATE)
    keep = (env_a > env_a.max() - 60) | (env_b > env_b.max() - 60)
    env = float(np.corrcoef(env_a[keep], env_b[keep])[0, 1])
    ca, cb = compare_audio.chroma(a[:n], RATE), compare_audio.chroma(b[:n], RATE)
    live = (ca.sum(axis=1) > ca.sum(axis=1).max() * 1e-4) & (cb.sum(axis=1) > cb.sum(axis=1).max() * 1e-4)
    ca, cb = ca[live], cb[live]
    notes = float(((ca * cb).sum(axis=1) / (np.linalg.norm(ca, axis=1) * np.linalg.norm(cb, axis=1) + 1e-30)).mean())

    def width(x):
        return float(np.corrcoef(x[:, 0], x[:, 1])[0, 1]) if x[:, 0].std() > 0 and x[:, 1].std() > 0 else 1.0

    return {
        "level": 20 * np.log10(np.sqrt(np.mean(a ** 2)) / (np.sqrt(np.mean(b ** 2)) + 1e-30) + 1e-30),
        "env": env,
        "notes": notes,
        "bands": band_shares(a) - band_shares(b),
        "width": (width(ours), width(theirs)),
        "tail": (ea / RATE, eb / RATE),
    }


def render(args, name, mid, voices):
    ours = os.path.join(args.out, f"{name}.tessaline.wav")
    theirs = os.path.join(args.out, f"{name}.fluidsynth.wav")
    subprocess.run([args.render, "--rate", str(RATE), "--voices", str(voices), "--threads", "1", "--16",
                    "-f", args.font, "-o", ours, mid], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["fluidsynth", "-ni", "-q", "-F", theirs, "-T", "wav", "-O", "s16", "-r", str(RATE),
                    "-o", f"synth.polyphony={voices}", "-o", "synth.cpu-cores=1", args.font, mid],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    a, b = read_stereo(ours), read_stereo(theirs)
    picture.compare(os.path.join(args.out, f"{name}.png"), a.mean(axis=1), b.mean(axis=1), RATE)
    return measure(a, b)


def arguments(doc, *folder):
    """The options the listening tools share: the renderer (the native
    build's) and the output folder (build/listen, then `folder`)."""
    root = os.path.dirname(os.path.dirname(here))
    p = argparse.ArgumentParser(description=doc.splitlines()[0])
    p.add_argument("--render", default=os.path.join(root, "build", "native", "backend", "tessaline-render"))
    p.add_argument("--out", default=os.path.join(root, "build", "listen", *folder))
    return p


def main():
    p = arguments(__doc__)
    p.add_argument("--font", default="/usr/share/sounds/sf2/TimGM6mb.sf2")
    p.add_argument("--songs", type=int, default=2)
    p.add_argument("--seconds", type=float, default=20.0)
    args = p.parse_args()
    for need, what in ((args.render, "tessaline-render (cmake --build --preset native --target tessaline-render)"),
                       (args.font, "the font (apt-get install timgm6mb-soundfont)")):
        if not os.path.exists(need):
            raise SystemExit(f"missing {need}: {what}")
    if not shutil.which("fluidsynth"):
        raise SystemExit("fluidsynth not installed (tools/install-deps)")
    os.makedirs(args.out, exist_ok=True)

    jobs = []
    with tempfile.TemporaryDirectory() as work:
        for name, (make, what) in pieces.PIECES.items():
            mid = os.path.join(work, f"{name}.mid")
            smf.write(mid, make())
            jobs.append((name, mid, what, 64 if name == "saturation" else 256))
        songs = sorted(f for f in os.listdir(SONGS) if f.endswith(".mid"))[:args.songs] if os.path.isdir(SONGS) else []
        if not songs:
            print(f"no songs in {SONGS} (apt-get install openttd-openmsx): generated pieces only")
        for f in songs:
            mid = os.path.join(work, f)
            smf.cut(os.path.join(SONGS, f), mid, args.seconds)
            jobs.append((f[:-4], mid, f"first {args.seconds:g} s of a real song (openttd-openmsx)", 256))

        print(f"font {os.path.basename(args.font)}, {RATE} Hz; pictures and renders in {args.out}")
        print(f"{'piece':22} {'level':>6} {'env':>5} {'notes':>5}  {'bands 63 Hz .. 16 kHz (dB)':45} "
              f"{'width T/F':>11} {'tail T/F':>11}")
        for name, mid, what, voices in jobs:
            m = render(args, name, mid, voices)
            bands = " ".join(f"{v:+4.1f}" for v in m["bands"])
            print(f"{name:22} {m['level']:+6.1f} {m['env']:5.2f} {m['notes']:5.2f}  {bands:45} "
                  f"{m['width'][0]:5.2f}/{m['width'][1]:<5.2f} {m['tail'][0]:5.1f}/{m['tail'][1]:<5.1f}  ({what})", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
