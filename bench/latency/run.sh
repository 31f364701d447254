#!/bin/sh
# Builds and runs the latency benchmarks: the stream alone natively (null
# device) and, when a Windows benchmark build exists, under Wine (WASAPI over
# the ALSA capture), the stream alone and then the program's whole path from
# the driver library's modMessage to the device.
# The Windows benchmark build is configured once with
#   cmake -G Ninja -S . -B build/bench-win64 -DTSL_BENCH=ON \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
# TSL_BENCH_BUILD names another such build folder; TSL_WINE_ROOT (read by
# tools/wine-run) a Wine root of its own, away from other runs.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
cmake --build build/native --target tsl_latency_bench -j2
build/native/bench/latency/tsl_latency_bench "$@"
win=${TSL_BENCH_BUILD:-build/bench-win64}
if [ -f "$win/build.ninja" ]; then
  cmake --build "$win" --target tsl_latency_bench tsl_path_latency_bench -j2
  tools/wine-run "$win/bench/latency/tsl_latency_bench.exe" "$@"
  tools/wine-run "$win/bench/latency/tsl_path_latency_bench.exe" "$@"
fi
