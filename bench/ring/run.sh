#!/bin/sh
# Ring throughput: builds bench/ring (Windows, Release) and runs it under Wine.
# Writer processes send short messages through the named shared block into
# the channel server's listen thread; it fails below the target or on any
# lost or reordered message.
# usage: bench/ring/run.sh [--writers W] [--messages N] [--target MPS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build="$root/build/bench-ring"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$build" -j2 >/dev/null

status=0
if [ $# -gt 0 ]; then
    "$root/tools/wine-run" "$build/ring_bench.exe" "$@" || status=1
else
    "$root/tools/wine-run" "$build/ring_bench.exe" --writers 1 || status=1
    "$root/tools/wine-run" "$build/ring_bench.exe" --writers 2 || status=1
fi
exit $status
