#!/bin/sh
# Builds and runs the latency benchmark natively (null device) and, when the
# Windows benchmark build exists, under Wine (WASAPI over the ALSA capture).
# The Windows benchmark build is configured once with
#   cmake -G Ninja -S . -B build/bench-win64 -DTSL_BENCH=ON \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
cmake --build build/native --target tsl_latency_bench -j2
build/native/bench/latency/tsl_latency_bench "$@"
if [ -f build/bench-win64/build.ninja ]; then
  cmake --build build/bench-win64 --target tsl_latency_bench -j2
  tools/wine-run build/bench-win64/bench/latency/tsl_latency_bench.exe "$@"
fi
