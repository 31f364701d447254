#!/bin/sh
# The soak test's long form: the same test as the short one CTest runs
# (tests/e2e/soak), for TSL_SOAK_MINUTES minutes (30 by default) with
# TSL_SOAK_PROGRAMS_PER_PORT client programs on each of the 4 ports (8 by
# default), under Wine. Prints, after every round, the synth's threads,
# handles, private memory, the free blocks its heaps keep and the bytes it
# holds through operator new; fails on any lost or extra message, stuck note,
# leak or hang.
# TSL_SOAK_NO_RESTART=1 in the environment keeps one synth for the whole run.
# usage: bench/soak/run.sh [minutes] [programs per port]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
minutes=${1:-30}
programs=${2:-8}

cd "$root"
cmake --preset win64 -Wno-dev >/dev/null
cmake --build --preset win64 -j2 --target e2e_soak_tests stage >/dev/null
start=$(date +%s)
TSL_SOAK_MINUTES=$minutes TSL_SOAK_PROGRAMS_PER_PORT=$programs \
  "$root/tools/wine-run" "$root/build/win64/e2e_soak_tests.exe" --gtest_brief=0
echo "soak: $(( ($(date +%s) - start) / 60 )) minutes in all"
