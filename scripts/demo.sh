#!/usr/bin/env bash
# Builds Orlenta and starts it under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORLENTA_BUILD_DIR:-$root/build/mingw}

bash "$root/scripts/install-deps.sh"
cmake --preset mingw -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target Orlenta

source "$root/scripts/wine-session.sh" "$build"
wine "$build/src/frontend/Orlenta.exe"
echo "Orlenta ran under Wine."
