# Sourced by the tests that need a Wine prefix of their own: made fresh under the build folder, the
# profile's links to the host's home replaced by empty folders, and removed with its server when
# the calling script exits. Sets WINEPREFIX and `prefix`.
# Usage: source own_prefix.sh BUILD_DIR NAME
prefix=$(mktemp -d "$1/$2.XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;winebrowser.exe=d;mscoree=d;mshtml=d"
own_prefix_finish() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap own_prefix_finish EXIT

wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
# Wine links Desktop, Documents and the rest to the host's home: here they become empty folders.
find "$prefix/drive_c/users" -maxdepth 7 -type l | while read -r link; do rm "$link" && mkdir "$link"; done
