# Sourced by the test and demo commands: a private Wine prefix under the build folder, an Xvfb
# display, and the Wine services started with their output detached. Everything started here is
# stopped again when the calling script exits.
# Usage: source scripts/wine-session.sh BUILD_DIR

orlenta_build=$(cd "$1" && pwd)
export WINEPREFIX="$orlenta_build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;winebrowser.exe=d"
orlenta_xvfb_pid=""

orlenta_session_end() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$orlenta_xvfb_pid" ]; then
    kill "$orlenta_xvfb_pid" 2>/dev/null || true
    wait "$orlenta_xvfb_pid" 2>/dev/null || true
  fi
}
trap orlenta_session_end EXIT

# A display of our own: -displayfd picks a free number and tells it once the server is ready.
# Two servers starting at once may race for one number; the loser exits, and is started again.
orlenta_display_number=""
for _ in 1 2 3 4 5; do
  orlenta_display_fifo=$(mktemp -u)
  mkfifo "$orlenta_display_fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$orlenta_display_fifo" </dev/null >/dev/null 2>&1 &
  orlenta_xvfb_pid=$!
  read -r orlenta_display_number <"$orlenta_display_fifo" || true
  rm -f "$orlenta_display_fifo"
  if [ -n "$orlenta_display_number" ]; then break; fi
  wait "$orlenta_xvfb_pid" 2>/dev/null || true
  orlenta_xvfb_pid=""
  sleep 1
done
if [ -z "$orlenta_display_number" ]; then
  echo "wine-session: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$orlenta_display_number"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # No Mono or Gecko download prompts: nothing here needs them.
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree=d;mshtml=d" wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
# Wine here does not load the fonts of its own data folder (fonts-wine), so windows would be drawn in
# a stand-in face with letters for the caption buttons: give the prefix Tahoma and Marlett.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi
# The server and services start here, detached, so no test process inherits ctest's pipes.
wineserver -p 60 </dev/null >/dev/null 2>&1 || true
# Without a window manager Wine waits about 2 s for each new window unless it manages them itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
