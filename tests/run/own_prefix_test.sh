#!/usr/bin/env bash
# The system's own folders as the testing folder of an unattended run, in a Wine prefix of this
# test's own: a fault here could only empty that prefix's Windows folder, never the one every other
# test runs in, nor (with the profile's links to the host's home replaced) anything of the host's.
# Usage: own_prefix_test.sh ORLENTA_EXE BUILD_DIR
set -euo pipefail
exe=$1 build=$2
source "$(dirname "$0")/own_prefix.sh" "$build" own-prefix

site="$prefix/drive_c/site"
mkdir -p "$site/Files" "$site/AVES" "$site/kavro"
cp "$exe" "$site/Orlenta.exe"
printf 'WScript.Quit 0\r\n' >"$site/Files/KavroTestScript1.vbs"
echo stand-in >"$site/kavro/KavFrame.exe"

failures=0
# What a refusal must leave alone, the site's own folder (its log, its history) aside.
entries() { find "$prefix/drive_c/$1" -path "$site" -prune -o -print | wc -l; }
for case in 'windows|C:\windows|it is the Windows folder' 'windows|C:\WINDOWS\system32\..|it is the Windows folder' \
            'users|C:\users|it is the folder of the user profiles' \
            'windows/system32/drivers/etc|C:\windows\system32\drivers\etc|it lies inside the Windows folder' \
            'Program Files/Common Files|C:\Program Files\Common Files|it lies inside the Program Files folder' \
            'ProgramData/Microsoft|C:\ProgramData\Microsoft|it lies inside the ProgramData folder' \
            '|C:\|(will not be deleted: it is the root of a drive|Orlenta.log lies inside the testing folder)' \
            '|C:|(will not be deleted: it is the root of a drive|Orlenta.log lies inside the testing folder)' \
            'users/Public/Documents|C:\users\Public\Documents|it is the Public Documents folder'; do
  IFS='|' read -r folder testing said <<<"$case"
  before=$(entries "$folder")
  status=0
  (cd "$site" && wine 'C:\site\Orlenta.exe' -UNATTENDED '-AVE=C:\site\AVES' '-KAVRO=C:\site\kavro' \
    "-TESTING=$testing" -STOP=1 </dev/null >"$prefix/said.txt" 2>&1) || status=$?
  after=$(entries "$folder")
  [ "$status" = 2 ] || { echo "FAIL: -TESTING=$testing ended with $status, not 2" >&2; failures=$((failures + 1)); }
  [ "$before" = "$after" ] || { echo "FAIL: -TESTING=$testing: $before entries before, $after after" >&2; failures=$((failures + 1)); }
  # A refused command line has no log of its own: its reason goes to the output.
  case "$said" in \(*) ;; *) said="will not be deleted: $said" ;; esac
  touch "$site/Orlenta.log"
  cat "$site/Orlenta.log" "$prefix/said.txt" | grep -qE "$said" ||
    { echo "FAIL: -TESTING=$testing: neither the log nor the output says why:" >&2; cat "$site/Orlenta.log" "$prefix/said.txt" >&2; failures=$((failures + 1)); }
  rm -f "$site/Orlenta.log"
done
exit $((failures > 0))
