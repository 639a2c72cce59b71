#!/usr/bin/env bash
# The release: builds Orlenta in a release configuration of its own (build/release) and writes dist/:
# Orlenta-<version>-setup.exe, Orlenta-<version>-portable.zip and SHA256SUMS.
# ORLENTA_BUILD_DIR and ORLENTA_DIST_DIR choose other folders (the packaging test uses its own).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORLENTA_BUILD_DIR:-$root/build/release}
dist=${ORLENTA_DIST_DIR:-$root/dist}

bash "$root/scripts/install-deps.sh"
# A configured folder re-runs its configuration by itself when the project changes.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset release -B "$build" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target dist

mkdir -p "$dist"
rm -f "$dist"/Orlenta-*-setup.exe "$dist"/Orlenta-*-portable.zip "$dist/SHA256SUMS"
cp "$build"/dist/Orlenta-*-setup.exe "$build"/dist/Orlenta-*-portable.zip "$build/dist/SHA256SUMS" "$dist/"
(cd "$dist" && sha256sum --check --quiet SHA256SUMS)
echo "Release files in $dist:"
(cd "$dist" && ls -l Orlenta-*-setup.exe Orlenta-*-portable.zip SHA256SUMS)
