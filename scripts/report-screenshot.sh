#!/usr/bin/env bash
# Takes docs/report.png: the demonstration's morning report as headless Chromium shows it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORLENTA_BUILD_DIR:-$root/build/mingw}
output=${1:-$root/docs/report.png}

bash "$root/scripts/demo.sh"
report="$build/wineprefix/drive_c/Orlenta/report.html"
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
mkdir -p "$(dirname "$output")"
# A profile of its own, so nothing of the user's browser is read or written; no network is needed.
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$profile" \
  --window-size=1000,1500 --screenshot="$output" "file://$report" >/dev/null 2>&1
echo "Screenshot: $output"
