#!/usr/bin/env bash
# The demonstration run: builds Orlenta, lays out the sample data beside it in a private Wine
# prefix, and runs `Orlenta.exe -AUTOSTART` on AVEs 1 to 12 with nobody at the keyboard.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORLENTA_BUILD_DIR:-$root/build/mingw}

bash "$root/scripts/install-deps.sh"
cmake --preset mingw -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target Orlenta KavFrame

source "$root/scripts/wine-session.sh" "$build"
drive_c="$WINEPREFIX/drive_c"

# The program with its test script and its default AVE folder, and the product's stand-in.
app="$drive_c/Orlenta"
rm -rf "$app" "$drive_c/Test"
mkdir -p "$app/Files" "$drive_c/Program Files/KAVRO"
cp "$build/src/frontend/Orlenta.exe" "$app/"
cp "$root/examples/Files/KavroTestScript1.vbs" "$app/Files/"
cp -r "$root/examples/AVES" "$app/AVES"
cp "$build/examples/KavFrame.exe" "$drive_c/Program Files/KAVRO/"

# Wine quotes an argument that holds spaces as a whole, which is how Orlenta reads it.
echo "Running: C:\\Orlenta\\Orlenta.exe -AUTOSTART \"-KAVRO=C:\\Program Files\\KAVRO\" -START=1 -STOP=12"
wine 'C:\Orlenta\Orlenta.exe' -AUTOSTART '-KAVRO=C:\Program Files\KAVRO' -START=1 -STOP=12 &
orlenta=$!

# The window appears once the run has ended: the input file is gone and the page holds every row.
page="$drive_c/Test/TestResults.htm"
finished=""
for _ in $(seq 1 240); do
  if [ -f "$page" ] && grep -q '<p id="summary">12 AVEs' "$page" && [ ! -e "$app/InputData.txt" ]; then
    finished=yes
    break
  fi
  if ! kill -0 "$orlenta" 2>/dev/null; then break; fi
  sleep 0.5
done
if [ -z "$finished" ]; then
  # Something is waiting for a person: keep a picture of it, then stop the program.
  import -window root "$build/demo-failure.png" 2>/dev/null || true
  wine taskkill /F /IM Orlenta.exe >/dev/null 2>&1 || true
  wait "$orlenta" || true
  echo "The run did not finish; the screen is in $build/demo-failure.png" >&2
  exit 1
fi
# Close the window as an operator would; taskkill without /F sends WM_CLOSE.
sleep 1
wine taskkill /IM Orlenta.exe >/dev/null 2>&1 || true
wait "$orlenta" || true

if [ ! -f "$page" ]; then
  echo "The run produced no results page." >&2
  exit 1
fi
echo
echo "Results page: C:\\Test\\TestResults.htm"
echo "          on this machine: $page"
sed -n 's/.*<p id="summary">\(.*\)<\/p>.*/\1/p' "$page"
