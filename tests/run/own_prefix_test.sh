#!/usr/bin/env bash
# The system's own folders as the testing folder of an unattended run, in a Wine prefix of this
# test's own: a fault here could only empty that prefix's Windows folder, never the one every other
# test runs in, nor (with the profile's links to the host's home replaced) anything of the host's.
# Usage: own_prefix_test.sh ORLENTA_EXE BUILD_DIR
set -euo pipefail
exe=$1 build=$2
prefix=$(mktemp -d "$build/own-prefix.XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;winebrowser.exe=d;mscoree=d;mshtml=d"
finish() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap finish EXIT

wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
# Wine links Desktop, Documents and the rest to the host's home: here they become empty folders.
find "$prefix/drive_c/users" -maxdepth 7 -type l | while read -r link; do rm "$link" && mkdir "$link"; done

site="$prefix/drive_c/site"
mkdir -p "$site/Files" "$site/AVES" "$site/kavro"
cp "$exe" "$site/Orlenta.exe"
printf 'WScript.Quit 0\r\n' >"$site/Files/KavroTestScript1.vbs"
echo stand-in >"$site/kavro/KavFrame.exe"

failures=0
entries() { find "$prefix/drive_c/$1" | wc -l; }
for case in 'windows|C:\windows|the Windows folder' 'windows|C:\WINDOWS\system32\..|the Windows folder' \
            'users|C:\users|the folder of the user profiles'; do
  IFS='|' read -r folder testing said <<<"$case"
  before=$(entries "$folder")
  status=0
  (cd "$site" && wine 'C:\site\Orlenta.exe' -UNATTENDED '-AVE=C:\site\AVES' '-KAVRO=C:\site\kavro' \
    "-TESTING=$testing" -STOP=1 </dev/null >/dev/null 2>&1) || status=$?
  after=$(entries "$folder")
  [ "$status" = 2 ] || { echo "FAIL: -TESTING=$testing ended with $status, not 2" >&2; failures=$((failures + 1)); }
  [ "$before" = "$after" ] || { echo "FAIL: -TESTING=$testing: $before entries before, $after after" >&2; failures=$((failures + 1)); }
  grep -q "will not be deleted: it is $said" "$site/Orlenta.log" ||
    { echo "FAIL: -TESTING=$testing: the log does not say why:" >&2; cat "$site/Orlenta.log" >&2; failures=$((failures + 1)); }
done
exit $((failures > 0))
