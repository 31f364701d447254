#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Not part of CI. Usage: backend/fuzz/run.sh [seconds per target] [target...]
# Crashes are left in build/fuzz-runs/<target>/ (crash-*, leak-*, timeout-*);
# turn each into a regression test before fixing it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
secs=${1:-60}
shift || true
build="$top/build/fuzz"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTSL_FUZZ=ON >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$here"/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build "$build" --target "${targets[@]}"
status=0
for t in "${targets[@]}"; do
  out="$top/build/fuzz-runs/$t"
  corpus="$out/corpus"
  mkdir -p "$corpus"
  seeds="$here/corpus/${t#fuzz_}"
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "== $t for ${secs}s"
  if ! (cd "$out" && "$build/backend/$t" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=20 \
        -max_len=65536 -print_final_stats=1 "${dirs[@]}" 2>"$out/log.txt"); then
    echo "   $t found a problem: see $out/log.txt"; status=1
  fi
  tail -n 3 "$out/log.txt"
done
exit $status
