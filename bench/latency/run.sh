#!/bin/sh
# Builds and runs the latency benchmark natively (null device) and, when the
# Windows build exists, under Wine (WASAPI over the ALSA capture).
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
cmake --build build/native --target tsl_latency_bench -j2
build/native/bench/latency/tsl_latency_bench "$@"
if [ -x build/win64/bench/latency/tsl_latency_bench.exe ]; then
  tools/wine-run build/win64/bench/latency/tsl_latency_bench.exe "$@"
fi
