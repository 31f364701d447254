#!/usr/bin/env bash
# The back end's libFuzzer targets only (backend/fuzz/fuzz_*.cpp), built and
# run by fuzz/run.sh, which runs every target of the project.
# Not part of CI. Usage: backend/fuzz/run.sh [seconds per target] [target...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
secs=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$here"/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
exec "$here/../../fuzz/run.sh" "$secs" "${targets[@]}"
