#!/usr/bin/env bash
# scripts/package.sh makes the release files; then, under the test prefix, the installer installs
# silently to a chosen folder, the installed program runs, and the uninstaller takes back exactly what
# was installed. The prefix is left as it was found.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR WINDOW_TESTS_EXE VERSION
set -euo pipefail
root=$1 build=$2 window_tests=$3 version=$4
wine_exec="$build/wine-exec"
prefix="$build/wineprefix"
work="$build/packaging-test"
dist="$work/dist"
name="Orlenta-$version"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlenta'
session='HKLM\System\CurrentControlSet\Control\Session Manager'
target_win='C:\orlenta-package-test\Site Tools\Orlenta'
target="$prefix/drive_c/orlenta-package-test/Site Tools/Orlenta"
shortcut="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orlenta.lnk"
temp="$prefix/drive_c/users/$(id -un)/Temp"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$2" == "$3" ] || fail "$1: expected <$2>, got <$3>"; }
reg_values() { "$wine_exec" reg query "$key" </dev/null 2>/dev/null | tr -d '\r'; }
listed() { "$wine_exec" uninstaller --list </dev/null 2>/dev/null | tr -d '\r' | grep -c '|||Orlenta$' || true; }
files_in() { (cd "$1" && find . -type f | sort | tr '\n' ' '); }

# The uninstaller copies itself to Temp and leaves that copy to be deleted at the next start of Windows.
had_pending=$("$wine_exec" reg query "$session" /v PendingFileRenameOperations </dev/null >/dev/null 2>&1 && echo yes || echo no)
temp_before=$(ls -d "$temp"/~nsu*.tmp 2>/dev/null || true)
tidy() {
  if reg_values | grep -q DisplayName; then "$wine_exec" reg delete "$key" /f </dev/null >/dev/null 2>&1 || true; fi
  rm -f "$shortcut"
  rm -rf "$prefix/drive_c/orlenta-package-test"
  if [ "$had_pending" = no ]; then
    "$wine_exec" reg delete "$session" /v PendingFileRenameOperations /f </dev/null >/dev/null 2>&1 || true
  fi
  for folder in "$temp"/~nsu*.tmp; do
    if [ -e "$folder" ] && ! grep -qxF "$folder" <<<"$temp_before"; then rm -rf "$folder"; fi
  done
}
trap tidy EXIT
if reg_values | grep -q DisplayName; then
  echo "The test prefix already holds an Orlenta installation: $key" >&2
  trap - EXIT
  exit 1
fi

echo "== scripts/package.sh"
ORLENTA_BUILD_DIR="$build" ORLENTA_DIST_DIR="$dist" bash "$root/scripts/package.sh"
expect_eq "dist" "$name-portable.zip $name-setup.exe SHA256SUMS" "$(cd "$dist" && ls | tr '\n' ' ' | sed 's/ $//')"
(cd "$dist" && sha256sum --check SHA256SUMS) || fail "the checksums do not match"
expect_eq "files the checksums cover" "$name-setup.exe $name-portable.zip" "$(awk '{printf "%s%s", s, $2; s=" "}' "$dist/SHA256SUMS")"
expect_eq "the zip's files" "$name/Orlenta.exe $name/README.txt $name/Samples/KavroTestScript1.vbs" \
  "$(unzip -Z1 "$dist/$name-portable.zip" | grep -v '/$' | sort | tr '\n' ' ' | sed 's/ $//')"

echo "== silent install to $target_win"
# /D= must come last and unquoted: the installer takes the rest of its command line, spaces and all.
# shellcheck disable=SC2086
"$wine_exec" "$dist/$name-setup.exe" /S /D=$target_win </dev/null || fail "the installer failed ($?)"
expect_eq "installed files" "./Orlenta.exe ./README.txt ./Samples/KavroTestScript1.vbs ./uninstall.exe " "$(files_in "$target")"
unzip -p "$dist/$name-portable.zip" "$name/Orlenta.exe" | cmp -s - "$target/Orlenta.exe" ||
  fail "the installer and the zip hold different programs"
[ -f "$shortcut" ] || fail "no Start-menu shortcut at $shortcut"

declare -A value=()
while read -r entry type data; do
  [ -n "${type:-}" ] && value[$entry]="$type $data"
done < <(reg_values | grep '^ ')
expect_eq DisplayName "REG_SZ Orlenta" "${value[DisplayName]:-}"
expect_eq DisplayVersion "REG_SZ $version" "${value[DisplayVersion]:-}"
expect_eq InstallLocation "REG_SZ $target_win" "${value[InstallLocation]:-}"
expect_eq UninstallString "REG_SZ \"$target_win\\uninstall.exe\"" "${value[UninstallString]:-}"
expect_eq QuietUninstallString "REG_SZ \"$target_win\\uninstall.exe\" /S" "${value[QuietUninstallString]:-}"
expect_eq NoModify "REG_DWORD 0x1" "${value[NoModify]:-}"
expect_eq NoRepair "REG_DWORD 0x1" "${value[NoRepair]:-}"
[[ "${value[Publisher]:-}" == "REG_SZ "?* ]] || fail "Publisher: <${value[Publisher]:-}>"
# In KB: at least the program itself.
estimated=${value[EstimatedSize]:-REG_DWORD 0}
(( ${estimated#REG_DWORD } >= $(stat -c %s "$target/Orlenta.exe") / 1024 )) || fail "EstimatedSize: <$estimated>"
expect_eq "entries in Wine's Apps & features" 1 "$(listed)"

echo "== the installed program: starts, About box, version resource"
ORLENTA_PROGRAM_UNDER_TEST="$target_win\\Orlenta.exe" "$wine_exec" "$window_tests" --gtest_filter='ProgramTest.*' \
  </dev/null || fail "the installed program's tests failed"

echo "== silent uninstall, with the site's own files beside the program"
mkdir -p "$target/Files" "$target/AVES/Ave001"
echo "' the site's own script" >"$target/Files/KavroTestScript1.vbs"
echo "archive" >"$target/AVES/Ave001/Ave001.ach"
echo "catalogue" >"$target/KavroDB.mdb"
"$wine_exec" "$target_win\\uninstall.exe" /S </dev/null || fail "the uninstaller failed ($?)"
# The uninstaller's own process returns at once; its copy in Temp does the work.
for _ in $(seq 1 120); do
  if [ ! -e "$target/uninstall.exe" ] && ! reg_values | grep -q DisplayName; then break; fi
  sleep 0.5
done
expect_eq "files left" "./AVES/Ave001/Ave001.ach ./Files/KavroTestScript1.vbs ./KavroDB.mdb " "$(files_in "$target")"
expect_eq "the site's script" "' the site's own script" "$(cat "$target/Files/KavroTestScript1.vbs")"
[ ! -e "$target/Samples" ] || fail "Samples is still there"
[ ! -e "$shortcut" ] || fail "the shortcut is still there"
reg_values | grep -q DisplayName && fail "the uninstall entry is still there"
expect_eq "entries in Wine's Apps & features" 0 "$(listed)"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "Installer, portable zip and uninstaller of Orlenta $version: every check passed"
