#!/bin/sh
# Converter benchmark: a 60 s General MIDI file (about 40 notes a second,
# bench/make_dense_midi.py) converted to a 16-bit WAV file by the conversion
# engine, against tessaline-render on the same file, font and build, both
# under Wine. Fails when the converter takes more than the render plus 10 %.
# Also reports the multichannel mode's cost (16 renders of the file).
# usage: bench/converter/run.sh [--notes-per-second N] [--runs N]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/win64"
nps=40
runs=3
while [ $# -gt 0 ]; do
  case $1 in
    --notes-per-second) nps=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--notes-per-second N] [--runs N]" >&2; exit 2 ;;
  esac
done

cmake --preset win64 -Wno-dev >/dev/null
cmake --build --preset win64 -j2 --target tsl_converter_bench tessaline-render >/dev/null

work="$build/bench-converter"
mkdir -p "$work"
midi="$work/gm60.mid"
python3 "$root/bench/make_dense_midi.py" "$midi" --seconds 60 --notes-per-second "$nps" >/dev/null
font=/usr/share/sounds/sf2/TimGM6mb.sf2
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }

best_render=""; best_convert=""; best_multi=""
i=0
while [ $i -lt "$runs" ]; do
  i=$((i + 1))
  r=$("$root/tools/wine-run" "$build/backend/tessaline-render.exe" --float -f "$(winpath "$font")" \
        -o "$(winpath "$work/render.wav")" "$(winpath "$midi")" 2>&1 | sed -n 's/.*render \([0-9.]*\) s.*/\1/p')
  rm -f "$work"/gm60*.wav  # no question about replacing the last run's files
  out=$("$root/tools/wine-run" "$build/tsl_converter_bench.exe" "$(winpath "$midi")" "$(winpath "$font")" \
        "$(winpath "$work")")
  c=$(echo "$out" | sed -n 's/^convert \([0-9.]*\) s/\1/p')
  m=$(echo "$out" | sed -n 's/^multichannel \([0-9.]*\) s/\1/p')
  echo "run $i: tessaline-render $r s, converter $c s, multichannel $m s"
  best_render=$(printf '%s\n%s\n' "$best_render" "$r" | sed '/^$/d' | sort -g | head -1)
  best_convert=$(printf '%s\n%s\n' "$best_convert" "$c" | sed '/^$/d' | sort -g | head -1)
  best_multi=$(printf '%s\n%s\n' "$best_multi" "$m" | sed '/^$/d' | sort -g | head -1)
done
awk -v r="$best_render" -v c="$best_convert" -v m="$best_multi" 'BEGIN {
  printf "best of runs: tessaline-render %.3f s, converter %.3f s (%.1f %% of the render), multichannel %.3f s (%.1fx the whole file)\n",
         r, c, 100 * c / r, m, m / c
  if (c > r * 1.10) { print "FAIL: the converter takes more than the render plus 10 %"; exit 1 }
  print "PASS"
}'
