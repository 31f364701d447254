#!/bin/sh
# Synthesizer benchmarks: builds natively as the program ships
# (RelWithDebInfo, the engine at -O3) and runs
#  1. the best case: voices one core renders in real time at 48 kHz, all
#     playing one looped sine (tsl_voice_bench: linear and sinc, effects on
#     and off);
#  2. the realistic case: 31 real songs laid over each other with a real GM
#     font, note churn, LFOs, filters and both effect sends, against a voice
#     limit their dense stretches reach, so that voices are stolen
#     (tsl_music_bench), as processor time per voice and frame and the voices
#     that makes in real time on one core;
#  3. a dense MIDI file (60 s, ~2000 notes/s, 1024 voices) rendered by
#     tessaline-render on 1, 2 (4, 8 where the machine has them) threads and
#     by FluidSynth at matched interpolation (linear against its linear, sinc
#     against its 7-point, and its default 4-point for the record), with both
#     outputs checked to play the same music and the thread counts checked
#     to give the same bytes;
#  4. the same dense file through a large SFZ (11,264 regions: every key in
#     velocity layers and round robins), where the note-ons' region lookup
#     shows;
#  5. the same dense file with every note on the drum channel, where notes
#     of exclusive classes (hi-hats) stop one another, on 1 and 2 threads;
#  6. a storm of notes (20,000 a second) that steals more voices in a block
#     than the block's candidates, on 1 and 2 threads;
#  7. 20 s of dense music at voice limits other than 1024 (700 and 900,
#     where blocks are cut into other chunk counts), on 1 and 2 threads.
# Every figure is the median of RUNS runs (default 3) with min and max,
# processor time and wall time; the runs of the programs alternate, so a
# drift of the machine's speed touches them alike.
# usage: bench/run.sh [FONT]   (default: TimGM6mb)
# env: RUNS (default 3), SECONDS_OF_MUSIC (dense file length, default 60),
#      BENCH_BUILD (an existing native build folder to take the programs from
#      instead of building build/bench in Release), SKIP_VOICE_BENCH=1,
#      CALLGRIND=1 (also count instructions with valgrind on the fixed
#      workloads RESULTS.md compares: a 5 s dense file and 4 s of the
#      realistic benchmark; repeatable on a busy machine, but slow: minutes)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${BENCH_BUILD:-"$root/build/bench"}
font=${1:-/usr/share/sounds/sf2/TimGM6mb.sf2}
runs=${RUNS:-3}
seconds=${SECONDS_OF_MUSIC:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -z "${BENCH_BUILD:-}" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target tsl_voice_bench tsl_music_bench tessaline-render >/dev/null

cores=$(nproc)
model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
flags=$(sed -n 's/^flags[[:space:]]*: //p' /proc/cpuinfo | head -1)
has() { for f in "$@"; do case " $flags " in *" $f "*) ;; *) return 1 ;; esac; done; }
if has avx2 fma; then
  simd="AVX2+FMA builds of the voice passes, sinc, filters and gain ramps (chosen at run time)"
  if has avx512f avx512vl avx512bw avx512dq; then simd="$simd; their AVX-512 build (256-bit vectors, 32 registers)"; fi
else
  simd="SSE2 only (no AVX2+FMA on this processor)"
fi
echo "== machine: $model, $cores cores; $simd"
echo "   load average at start: $(cut -d' ' -f1-3 /proc/loadavg); $(date -u '+%Y-%m-%d %H:%M UTC')"

if [ "${SKIP_VOICE_BENCH:-}" != 1 ]; then
  echo "== best case: voices rendered in real time on one core (one looped sine each)"
  "$build/bench/tsl_voice_bench" 1.0
fi

echo "== realistic: 31 songs laid over each other, $(basename "$font"), a 512-voice limit (stealing), 48 kHz, one thread"
python3 - "$build/bench/tsl_music_bench" "$font" "$runs" <<'PY'
import statistics, subprocess, sys
bench, font, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
for label, extra in (("effects", []), ("no effects", ["--nofx"])):
    got = []
    for _ in range(runs):
        out = subprocess.run([bench, font, "--threads", "1"] + extra, check=True, capture_output=True, text=True).stdout
        got.append(dict(kv.split("=") for kv in out.split()))
    ns = sorted(float(g["ns_per_voice_frame"]) for g in got)
    rt = sorted(float(g["realtime_voices"]) for g in got)
    print(f"  {label:10}: {statistics.median(ns):.3f} ns per voice and frame [{ns[0]:.3f}-{ns[-1]:.3f}] "
          f"= {statistics.median(rt):,.0f} voices in real time [{rt[0]:,.0f}-{rt[-1]:,.0f}]; "
          f"mean {got[0]['mean_voices']} voices, peak {got[0]['peak_voices']}, "
          f"at the limit in {got[0]['at_limit']} of the reads")
PY

echo "== dense file: $seconds s, ~2000 notes/s, 1024 voices, 48 kHz, $(basename "$font"), $runs runs each"
python3 "$here/make_dense_midi.py" "$work/dense.mid" --seconds "$seconds" --notes-per-second 2000
python3 - "$build/backend/tessaline-render" "$font" "$work" "$runs" "$cores" "$here/compare_audio.py" <<'PY'
import os, resource, shutil, statistics, subprocess, sys, time
render, font, work, runs, cores, compare = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
mid = os.path.join(work, "dense.mid")

def timed(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime), wall

def ours(threads, sinc=False):
    out = os.path.join(work, f"tsl_{threads}{'_sinc' if sinc else ''}.wav")
    return out, [render, "--rate", "48000", "--voices", "1024", "--threads", str(threads)] + (["--sinc"] if sinc else []) + \
        ["-f", font, "-o", out, mid]

def fluid(interp):
    cfg = os.path.join(work, f"interp{interp}.cfg")
    with open(cfg, "w") as f:
        f.write(f"interp {interp}\n" if interp else "")
    out = os.path.join(work, f"fluid_{interp}.wav")
    return out, ["fluidsynth", "-ni", "-q", "-f", cfg, "-F", out, "-r", "48000", "-o", "synth.polyphony=1024",
                 "-o", "synth.cpu-cores=1", font, mid]

cases = [("tessaline, linear, 1 thread", ours(1)), ("tessaline, linear, 2 threads", ours(2))]
for n in (4, 8):
    if cores >= n:
        cases.append((f"tessaline, linear, {n} threads", ours(n)))
cases.append(("tessaline, sinc, 1 thread", ours(1, True)))
have_fluid = shutil.which("fluidsynth") is not None
if have_fluid:
    cases += [("fluidsynth, linear (interp 1)", fluid(1)), ("fluidsynth, 7-point (interp 7)", fluid(7)),
              ("fluidsynth, default 4-point", fluid(0))]
else:
    print("fluidsynth not installed (apt-get install fluidsynth): no comparison")

results = {name: [] for name, _ in cases}
for _ in range(runs):
    for name, (_, cmd) in cases:
        results[name].append(timed(cmd))

def med(name, i):
    return statistics.median(r[i] for r in results[name])

print(f"  {'program':34} {'processor s, median [min-max]':32} {'wall s, median [min-max]'}")
for name, _ in cases:
    cpu = sorted(r[0] for r in results[name])
    wall = sorted(r[1] for r in results[name])
    print(f"  {name:34} {med(name, 0):6.2f} [{cpu[0]:.2f}-{cpu[-1]:.2f}]{'':15} {med(name, 1):6.2f} [{wall[0]:.2f}-{wall[-1]:.2f}]")

one = "tessaline, linear, 1 thread"
for name, _ in cases:
    if name.startswith("tessaline, linear,") and name != one:
        # Each round runs one thread and then this count back to back, so the
        # round's own ratio is untouched by the machine's drift over the
        # minutes FluidSynth takes between rounds.
        rounds = sorted(a[1] / b[1] for a, b in zip(results[one], results[name]))
        print(f"  {name.split(', ')[-1]} against 1: {med(one, 1) / med(name, 1):.2f}x faster (wall, medians); "
              f"round by round {statistics.median(rounds):.2f}x [{rounds[0]:.2f}-{rounds[-1]:.2f}]; "
              f"{med(name, 0) / med(one, 0):.2f}x the processor time")
if have_fluid:
    for theirs, mine in (("fluidsynth, linear (interp 1)", one), ("fluidsynth, 7-point (interp 7)", "tessaline, sinc, 1 thread"),
                         ("fluidsynth, default 4-point", one)):
        print(f"  {theirs} / {mine}: {med(theirs, 0) / med(mine, 0):.2f}x (processor time)")

print("== output checks")
base = dict(cases)[one][0]
for name, (out, _) in cases:
    if name.startswith("tessaline, linear,") and name != one:
        same = open(base, "rb").read() == open(out, "rb").read()
        print(f"  {name}: {'the same bytes as 1 thread' if same else 'DIFFERS from 1 thread'}")
if have_fluid:
    for mine, theirs in ((one, "fluidsynth, linear (interp 1)"), ("tessaline, sinc, 1 thread", "fluidsynth, 7-point (interp 7)")):
        print(f"  {mine} against {theirs}:", flush=True)
        subprocess.run(["/usr/bin/python3", compare, dict(cases)[mine][0], dict(cases)[theirs][0]])
PY
# Median, min and max wall time of RUNS runs of each command (output dropped):
# walls.py RUNS LABEL CMD... [:: LABEL CMD...]; the commands take turns, so a
# drift of the machine's speed touches them alike.
cat >"$work/walls.py" <<'PY'
import statistics, subprocess, sys, time
runs, rest = int(sys.argv[1]), sys.argv[2:]
jobs = []
while rest:
    cut = rest.index("::") if "::" in rest else len(rest)
    jobs.append((rest[0], rest[1:cut], []))
    rest = rest[cut + 1:]
for _ in range(runs):
    for _, cmd, walls in jobs:
        t0 = time.monotonic()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        walls.append(time.monotonic() - t0)
for label, _, walls in jobs:
    s = sorted(walls)
    print(f"  {label}: {statistics.median(s):.2f} s wall [{s[0]:.2f}-{s[-1]:.2f}]")
if len(jobs) == 2:
    # Each round's two runs side by side: a drift of the machine's speed
    # between rounds does not enter the ratio.
    rounds = [a / b for a, b in zip(jobs[0][2], jobs[1][2])]
    name = lambda job: job[0].split(", ")[-1]  # "2 threads" of "tessaline-render, 2 threads"
    print(f"  {name(jobs[1])} against {name(jobs[0])}: {statistics.median(jobs[0][2]) / statistics.median(jobs[1][2]):.2f}x faster"
          f" (medians); round by round {statistics.median(rounds):.2f}x [{min(rounds):.2f}-{max(rounds):.2f}]")
PY
render="$build/backend/tessaline-render"
# tessaline-render on a MIDI file with the font, at a voice limit (default
# 1024), on 1 and 2 threads in turn.
one_and_two_threads() {
  local voices=${2:-1024}
  python3 "$work/walls.py" "$runs" \
    "tessaline-render, 1 thread" "$render" --rate 48000 --voices "$voices" --threads 1 -f "$font" -o "$work/rows1.wav" "$1" :: \
    "tessaline-render, 2 threads" "$render" --rate 48000 --voices "$voices" --threads 2 -f "$font" -o "$work/rows2.wav" "$1"
  if cmp -s "$work/rows1.wav" "$work/rows2.wav"; then echo "  2 threads: the same bytes as 1 thread"
  else echo "  2 threads: DIFFERS from 1 thread"; fi
}

echo "== large SFZ: the dense file through 11,264 regions (bench/make_layered_sfz.py), one thread"
python3 "$here/make_layered_sfz.py" "$work/sfz" >/dev/null
python3 "$work/walls.py" "$runs" "tessaline-render" "$render" --rate 48000 --voices 1024 --threads 1 \
  -f "$work/sfz/layered.sfz" -o "$work/sfz.wav" "$work/dense.mid"

echo "== drum part: the dense file with every note on channel 10 (exclusive classes: hi-hats cut each other)"
python3 "$here/make_dense_midi.py" "$work/drums.mid" --seconds "$seconds" --notes-per-second 2000 --drums-only
one_and_two_threads "$work/drums.mid"

echo "== a storm: 10 s at 20,000 notes/s against 1024 voices (about 170 steals a block, past the block's candidates)"
python3 "$here/make_dense_midi.py" "$work/storm.mid" --seconds 10 --notes-per-second 20000
one_and_two_threads "$work/storm.mid"

echo "== other voice limits: 20 s of the dense music at 700 and 900 voices (blocks of 512-1023 voices, cut in four chunks)"
python3 "$here/make_dense_midi.py" "$work/dense20.mid" --seconds 20 --notes-per-second 2000
for limit in 700 900; do
  echo "  at $limit voices:"
  one_and_two_threads "$work/dense20.mid" "$limit"
done

if [ "${CALLGRIND:-}" = 1 ]; then
  echo "== instructions (valgrind --tool=callgrind, one thread)"
  python3 "$here/make_dense_midi.py" "$work/dense5.mid" --seconds 5 --notes-per-second 2000
  count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
      sed -n 's/.*Collected : \([0-9]*\).*/\1/p' | awk '{ printf "%.2f G", $1 / 1e9 }'
  }
  echo "  tessaline-render, 5 s dense file, linear: $(count "$build/backend/tessaline-render" --rate 48000 --voices 1024 \
    --threads 1 -f "$font" -o "$work/cg.wav" "$work/dense5.mid")"
  echo "  tessaline-render, 5 s dense file, sinc:   $(count "$build/backend/tessaline-render" --rate 48000 --voices 1024 \
    --threads 1 --sinc -f "$font" -o "$work/cg.wav" "$work/dense5.mid")"
  # The 1024-voice limit the instruction counts in RESULTS.md were taken at.
  echo "  tsl_music_bench --shift 0.05 --seconds 4: $(count "$build/bench/tsl_music_bench" "$font" --threads 1 \
    --shift 0.05 --seconds 4 --voices 1024)"
fi
echo "   load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
