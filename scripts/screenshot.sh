#!/usr/bin/env bash
# Takes docs/screenshot.png: Orlenta's window as the operator first sees it, under Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORLENTA_BUILD_DIR:-$root/build/mingw}
output=${1:-$root/docs/screenshot.png}

bash "$root/scripts/install-deps.sh"
cmake --preset mingw -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target Orlenta

source "$root/scripts/wine-session.sh" "$build"
# The program where an operator would keep it, so its default AVE folder reads C:\Orlenta\AVES.
app="$WINEPREFIX/drive_c/Orlenta"
mkdir -p "$app"
cp "$build/src/frontend/Orlenta.exe" "$app/"

wine 'C:\Orlenta\Orlenta.exe' </dev/null >/dev/null 2>&1 &
orlenta=$!

title="Norvik Kavro Automated Test - v2"
window=""
for _ in $(seq 1 150); do
  window=$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$title\":" 'index($0, t) { print $1; exit }')
  if [ -n "$window" ]; then break; fi
  if ! kill -0 "$orlenta" 2>/dev/null; then break; fi
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "The window did not appear." >&2
  wine taskkill /F /IM Orlenta.exe >/dev/null 2>&1 || true
  exit 1
fi
# The window is mapped before its controls have painted; give them a moment.
sleep 1

# Wine draws the frame itself (no window manager), so the X window is the whole outer window.
geometry=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
  /^ *Width/ {w=$NF} /^ *Height/ {h=$NF} END {printf "%dx%d+%d+%d", w, h, x, y}')
mkdir -p "$(dirname "$output")"
import -window root -crop "$geometry" +repage "$output"

# Close it as an operator would; taskkill without /F sends WM_CLOSE.
wine taskkill /IM Orlenta.exe >/dev/null 2>&1 || true
wait "$orlenta" || true
echo "Screenshot: $output ($geometry)"
