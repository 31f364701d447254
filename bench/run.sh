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
now() { python3 -c 'import time; print(time.monotonic())'; }
t0=$(now)
"$build/backend/tessaline-render" --rate 48000 --voices 1024 -f "$font" -o "$work/tsl.wav" "$work/dense.mid"
t1=$(now)
if command -v fluidsynth >/dev/null 2>&1; then
    fluidsynth -ni -q -F "$work/fluid.wav" -r 48000 -o synth.polyphony=1024 -o synth.cpu-cores=1 "$font" "$work/dense.mid" >/dev/null 2>&1
    t2=$(now)
    python3 - "$t0" "$t1" "$t2" <<'PY'
import sys
t0, t1, t2 = map(float, sys.argv[1:])
ours, theirs = t1 - t0, t2 - t1
print(f"tessaline-render {ours:.2f} s, fluidsynth {theirs:.2f} s, ratio {theirs / ours:.1f}x")
PY
else
    echo "fluidsynth not installed (apt-get install fluidsynth): no comparison"
fi
