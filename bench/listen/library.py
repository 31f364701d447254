#!/usr/bin/python3
"""Whole-song comparison over a library: every song of the openttd-openmsx
package rendered with tessaline-render and with FluidSynth from each font,
checked for what a listener notices first.

usage: library.py [--render PATH] [--font SF2]... [--out DIR] [--songs N]

Fonts (default: those of TimGM6mb, sf_GMbank and FluidR3_GM that are
installed). Per song and font: env and notes as listen.py gives them (the
whole mix, effects on); pan, the mean difference of the left/right balance
over 1 s windows between the two dry renders (effects off in both, so that
only the voices' panning counts); dc, the offset of each full mix in
percent of its RMS level, Tessaline's and FluidSynth's (a font's samples may
sit off centre themselves, and the two play at different levels). FluidSynth's renders are kept in DIR (default
build/listen/library) and reused. Exits 1 when a song is not the same music
(env or notes below 0.8), when the dry balance differs by more than 1.5 dB,
or when Tessaline's mix sits further off centre than FluidSynth's by more
than half as much again and 2 % of its level.
"""
import os
import subprocess
import sys

import numpy as np

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import listen  # noqa: E402  (arguments, read_stereo, measure, RATE, SONGS)

FONTS = ["/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/sf_GMbank.sf2",
         "/usr/share/sounds/sf2/FluidR3_GM.sf2"]


def balance(x):
    """Left against right in dB over 1 s windows that hold sound."""
    w = listen.RATE
    out = []
    for s in range(0, len(x) - w, w):
        seg = x[s:s + w]
        l, r = (seg[:, 0] ** 2).mean(), (seg[:, 1] ** 2).mean()
        if l > 1e-7 and r > 1e-7:
            out.append(10 * np.log10(l / r))
    return np.array(out)


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    p = listen.arguments(__doc__, "library")
    p.add_argument("--font", action="append")
    p.add_argument("--songs", type=int, default=0, help="the first N songs only (0: all)")
    args = p.parse_args()
    fonts = args.font or [f for f in FONTS if os.path.exists(f)]
    if not os.path.exists(args.render):
        raise SystemExit(f"missing {args.render}: cmake --build --preset native --target tessaline-render")
    if not os.path.isdir(listen.SONGS):
        raise SystemExit(f"no songs in {listen.SONGS}: apt-get install openttd-openmsx")
    songs = sorted(f for f in os.listdir(listen.SONGS) if f.endswith(".mid"))
    songs = songs[:args.songs] if args.songs else songs
    os.makedirs(args.out, exist_ok=True)
    ours, ours_dry = os.path.join(args.out, "t.wav"), os.path.join(args.out, "t_dry.wav")
    failed = 0
    print(f"{'font':12} {'song':24} {'env':>5} {'notes':>5} {'pan dB':>7} {'dc % T/F':>11}")
    for font in fonts:
        tag = os.path.splitext(os.path.basename(font))[0]
        for song in songs:
            mid = os.path.join(listen.SONGS, song)
            theirs = os.path.join(args.out, f"{tag}.{song[:-4]}.fluidsynth.wav")
            theirs_dry = os.path.join(args.out, f"{tag}.{song[:-4]}.fluidsynth.dry.wav")
            base = [args.render, "--rate", str(listen.RATE), "--16", "-f", font]
            run(base + ["-o", ours, mid])
            run(base + ["--nofx", "-o", ours_dry, mid])
            fluid = ["fluidsynth", "-ni", "-q", "-T", "wav", "-O", "s16", "-r", str(listen.RATE)]
            if not os.path.exists(theirs):
                run(fluid + ["-F", theirs, font, mid])
            if not os.path.exists(theirs_dry):
                run(fluid + ["-R", "0", "-C", "0", "-F", theirs_dry, font, mid])
            a, b = listen.read_stereo(ours), listen.read_stereo(theirs)
            quiet_a, quiet_b = np.abs(a).max() < 1e-3, np.abs(b).max() < 1e-3
            if quiet_a or quiet_b:
                # A font without the song's instruments: both should be silent
                # (FluidSynth's dither leaves a bit or two).
                ok = quiet_a and quiet_b
                print(f"{tag:12} {song[:-4]:24} silent: {'both' if ok else 'one of the two'}")
                failed += not ok
                continue
            m = listen.measure(a, b)
            ba, bb = balance(listen.read_stereo(ours_dry)), balance(listen.read_stereo(theirs_dry))
            n = min(len(ba), len(bb))
            pan = float(np.abs(ba[:n] - bb[:n]).mean()) if n else 0.0
            dc, dc_theirs = (100 * float(np.abs(x.mean(axis=0)).max() / np.sqrt((x ** 2).mean())) for x in (a, b))
            bad = m["env"] < 0.8 or m["notes"] < 0.8 or pan > 1.5 or dc > 1.5 * dc_theirs + 2
            failed += bad
            print(f"{tag:12} {song[:-4]:24} {m['env']:5.2f} {m['notes']:5.2f} {pan:7.2f} {dc:5.2f}/{dc_theirs:<5.2f}"
                  f"{'  <-' if bad else ''}", flush=True)
    print(f"{failed} of {len(fonts) * len(songs)} differ")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
