#!/usr/bin/env bash
# Builds every libFuzzer target (the back end's in backend/fuzz/, the
# program's own readers in fuzz/) with clang and runs each for a bounded time.
# Not part of CI. Usage: fuzz/run.sh [seconds per target] [target...]
# With TSL_FUZZ_RUNS=N in the environment a target also stops after N inputs.
# Each run starts from the seeds in <folder>/corpus/<target without fuzz_>/.
# Findings are left in build/fuzz-runs/<target>/ (crash-*, leak-*, timeout-*);
# turn each into a regression test before fixing it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
secs=${1:-60}
shift || true
build="$top/build/fuzz"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTSL_FUZZ=ON >/dev/null
declare -A folder
for f in "$top"/backend/fuzz/fuzz_*.cpp; do folder[$(basename "$f" .cpp)]=backend/fuzz; done
for f in "$here"/fuzz_*.cpp; do folder[$(basename "$f" .cpp)]=fuzz; done
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(printf '%s\n' "${!folder[@]}" | sort)
fi
cmake --build "$build" -j "${TSL_JOBS:-2}" --target "${targets[@]}"
status=0
for t in "${targets[@]}"; do
  where=${folder[$t]:?unknown target $t}
  out="$top/build/fuzz-runs/$t"
  corpus="$out/corpus"
  mkdir -p "$corpus"
  seeds="$top/$where/corpus/${t#fuzz_}"
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "== $t for ${secs}s"
  runs=()
  [ -n "${TSL_FUZZ_RUNS:-}" ] && runs=(-runs="$TSL_FUZZ_RUNS")
  if ! (cd "$out" && "$build/${where%/fuzz}/$t" -max_total_time="$secs" "${runs[@]}" -rss_limit_mb=2048 -timeout=20 \
        -max_len=65536 -print_final_stats=1 "${dirs[@]}" 2>"$out/log.txt"); then
    echo "   $t found a problem: see $out/log.txt"; status=1
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "$out/log.txt" | tail -n 2 || tail -n 3 "$out/log.txt"
done
exit $status
