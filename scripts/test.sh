#!/usr/bin/env bash
# Builds Orlenta for Windows and runs every test under Wine. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORLENTA_BUILD_DIR:-$root/build/mingw}

bash "$root/scripts/install-deps.sh"
cmake --preset mingw -B "$build"
# ORLENTA_BUILD_TARGETS narrows the build (for example to one test program while working on it).
cmake --build "$build" -j"$(nproc)" --target ${ORLENTA_BUILD_TARGETS:-all}

# The fuzz targets' smoke run, 10 s each over the committed corpus; skipped while the build is
# narrowed to some targets. A finding fails the command, after the Windows tests have run too.
fuzz_status=0
if [ -z "${ORLENTA_BUILD_TARGETS:-}" ]; then
  bash "$root/scripts/fuzz.sh" 10 --smoke || fuzz_status=$?
fi

source "$root/scripts/wine-session.sh" "$build"
ctest --test-dir "$build" --output-on-failure "$@"
exit "$fuzz_status"
