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

# The program with its test script and its default AVE folder.
app="$drive_c/Orlenta"
rm -rf "$app" "$drive_c/Test"
mkdir -p "$app/Files"
cp "$build/src/frontend/Orlenta.exe" "$app/"
cp "$root/examples/Files/KavroTestScript1.vbs" "$app/Files/"
cp -r "$root/examples/AVES" "$app/AVES"
# The product's stand-in, installed and registered the way Orlenta finds it: through its type library.
product="$drive_c/Program Files/Kavro/Bin"
mkdir -p "$product"
cp "$build/examples/KavFrame.exe" "$product/"
: >"$product/Kavro.tlb"
wine reg add 'HKCR\TypeLib\{66C20C07-9934-11D3-8A0E-00105AA3D05E}\1.0\0\win32' /ve /t REG_SZ \
  /d 'C:\Program Files\Kavro\Bin\Kavro.tlb' /f </dev/null >/dev/null 2>&1

echo "Running: C:\\Orlenta\\Orlenta.exe -AUTOSTART -START=1 -STOP=12"
wine 'C:\Orlenta\Orlenta.exe' -AUTOSTART -START=1 -STOP=12 &
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
