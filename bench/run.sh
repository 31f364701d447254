#!/bin/sh
# Synthesizer benchmarks: builds natively in Release and runs
#  1. the voice count one core renders in real time at 48 kHz (linear and
#     sinc interpolation, effects on and off);
#  2. a dense MIDI file (60 s, ~2000 notes/s) rendered by tessaline-render
#     and by FluidSynth on the same font, rate and voice limit, with the ratio.
# usage: bench/run.sh [FONT]   (default: TimGM6mb)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build="$root/build/bench"
font=${1:-/usr/share/sounds/sf2/TimGM6mb.sf2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target tsl_voice_bench tessaline-render >/dev/null

echo "== voices rendered in real time on one core"
"$build/bench/tsl_voice_bench" 1.0

echo "== dense file: 60 s, ~2000 notes/s, 1024 voices, 48 kHz, $(basename "$font")"
python3 "$here/make_dense_midi.py" "$work/dense.mid" --seconds 60 --notes-per-second 2000
# Both programs are timed by their CPU time as well as wall time: these
# machines are shared, and CPU time is what the comparison is about.
python3 - "$build/backend/tessaline-render" "$font" "$work" <<'PY'
import os, resource, shutil, subprocess, sys, time
render, font, work = sys.argv[1:]
def run(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
mid = os.path.join(work, "dense.mid")
ours = run([render, "--rate", "48000", "--voices", "1024", "-f", font, "-o", os.path.join(work, "tsl.wav"), mid])
print(f"tessaline-render: {ours[0]:.2f} s wall, {ours[1]:.2f} s CPU")
if shutil.which("fluidsynth"):
    theirs = run(["fluidsynth", "-ni", "-q", "-F", os.path.join(work, "fluid.wav"), "-r", "48000",
                  "-o", "synth.polyphony=1024", "-o", "synth.cpu-cores=1", font, mid])
    print(f"fluidsynth:       {theirs[0]:.2f} s wall, {theirs[1]:.2f} s CPU")
    print(f"ratio (fluidsynth / tessaline): {theirs[1] / ours[1]:.2f}x CPU, {theirs[0] / ours[0]:.2f}x wall")
else:
    print("fluidsynth not installed (apt-get install fluidsynth): no comparison")
PY
