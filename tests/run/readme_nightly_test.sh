#!/usr/bin/env bash
# The README's nightly examples run as they are written (the command lines are read from the
# README, so the two cannot drift), and the four outputs written at the root of C: and of D:. In a
# Wine prefix of this test's own: the program installed at C:\Tools\Orlenta with the product's
# stand-in at its default place, and D: a scratch folder. The script quits at once, so 213 passes
# cost little; AVEs 7 and 100 fail until D:\fixed exists.
# Usage: readme_nightly_test.sh ORLENTA_EXE BUILD_DIR README
set -euo pipefail
exe=$1 build=$2 readme=$3
source "$(dirname "$0")/own_prefix.sh" "$build" readme-prefix

c=$prefix/drive_c d=$prefix/d-drive
mkdir -p "$d/ws" "$c/Tools/Orlenta/Files" "$c/Tools/Orlenta/AVES" "$c/Program Files/KAVRO" "$c/batch"
ln -s "$d" "$prefix/dosdevices/d:"
cp "$exe" "$c/Tools/Orlenta/Orlenta.exe"
echo stand-in >"$c/Program Files/KAVRO/KavFrame.exe"
printf '%s\r\n' 'Set fso = CreateObject("Scripting.FileSystemObject")' \
  'lines = Split(fso.OpenTextFile("InputData.txt", 1).ReadAll, vbCrLf)' \
  'n = CLng(lines(UBound(lines) - 1))' \
  'If (n = 7 Or n = 100) And Not fso.FileExists("D:\fixed") Then WScript.Quit 1' >"$c/Tools/Orlenta/Files/KavroTestScript1.vbs"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# The indented lines of the first code block after the line that holds $1.
block_after() {
  awk -v mark="$1" 'found && /^    / { sub(/^    /, ""); print; seen = 1; next }
                    found && seen { exit }
                    index($0, mark) { found = 1 }' "$readme"
}
# Runs the lines on standard input as a batch file through cmd, as Task Scheduler's or a CI agent's
# batch step does; prints the exit code. $1 names the batch; the rest are NAME=value for its environment.
run_batch() {
  local name=$1 status=0
  shift
  sed 's/$/\r/' >"$c/batch/$name.cmd"
  (cd "$c" && env "$@" wine cmd /c "C:\\batch\\$name.cmd" </dev/null >/dev/null 2>&1) || status=$?
  echo "$status"
}
expect() {  # what, expected, actual
  [ "$2" = "$3" ] || fail "$1: $3, not $2"
}
holds() {  # file, text
  grep -qF -- "$2" "$1" 2>/dev/null || { fail "$1 does not hold $2"; [ -f "$1" ] && head -c 2000 "$1" >&2; }
}

# Task Scheduler or a CI job's batch step: two AVEs fail, so the step fails with 1.
nightly=$(block_after 'From Task Scheduler')
expect "the nightly example's lines" 2 "$(grep -c . <<<"$nightly")"
expect "the nightly run's exit code" 1 "$(run_batch nightly <<<"$nightly")"
holds "$d/Nightly.xml" '<testsuite name="Orlenta" tests="213" failures="2" errors="0"'
holds "$d/Nightly.log" 'Orlenta run log, UTF-8, one event per line'
holds "$d/Nightly.log" 'Run ends: 213 passes, 2 failed'
[ -s "$d/Orlenta-history.db" ] || fail "no history beside the log at D:\\"

# The morning rerun takes the two and, fixed, passes.
touch "$d/fixed"
rerun=$(block_after "Rerunning last night's failures in the morning")
expect "the rerun example's lines" 1 "$(grep -c . <<<"$rerun")"
expect "the rerun's exit code" 0 "$(run_batch rerun <<<"$rerun")"
holds "$d/Rerun.log" 'To rerun from D:\Nightly.xml: 7,100'
holds "$d/Rerun.xml" 'tests="2" failures="0" errors="0"'
rm "$d/fixed"

# Jenkins' bat step, shard 2 of 4: the Groovy string as Groovy makes it, %WORKSPACE% from the agent.
jenkins=$(awk '/script: "/ { on = 1 } on { printf "%s", $0 } on && /"\)$/ { exit }' "$readme" |
  sed -e 's/^.*script: "//' -e 's/"\s*+\s*"//g' -e 's/")$//' -e 's/\\\\/\x01/g' -e 's/\\"/"/g' -e 's/\x01/\\/g' \
    -e 's/\${k}/2/g')
case "$jenkins" in start*Orlenta.exe*-SHARD=2/4*) ;; *) fail "the Jenkins example did not read: $jenkins" ;; esac
expect "shard 2/4's exit code" 0 "$(run_batch jenkins 'WORKSPACE=D:\ws' <<<"$jenkins")"
holds "$d/ws/Nightly.xml" '<testsuite name="Orlenta shard 2/4" tests="53" failures="0"'
holds "$d/ws/Nightly.log" 'Run ends: 53 passes'

# Azure Pipelines, shard 4/4: the folded script with the pipeline's macros; AVE 100 fails, which
# still publishes (the step ends with 0).
azure=$(awk '/- script: >-/ { on = 1; next } on && /^      / { sub(/^ +/, ""); printf "%s%s", sep, $0; sep = " "; next }
             on { exit }' "$readme" |
  sed -e 's|\$(SHARD)|4/4|g' -e 's|\$(Build.ArtifactStagingDirectory)|D:\\a|g' -e 's|\$(Common.TestResultsDirectory)|D:\\tr|g')
case "$azure" in start*Orlenta.exe*-SHARD=4/4*errorlevel*) ;; *) fail "the Azure example did not read: $azure" ;; esac
mkdir -p "$d/a" "$d/tr"
expect "shard 4/4's step" 0 "$(run_batch azure <<<"$azure")"
holds "$d/tr/Nightly.xml" '<testsuite name="Orlenta shard 4/4" tests="53" failures="1"'
holds "$d/a/Nightly.log" 'Orlenta run log, UTF-8, one event per line'

# The four outputs at a drive's root, on C: and on D:.
for root in 'C:' 'D:'; do
  status=0
  (cd "$c" && wine 'C:\Tools\Orlenta\Orlenta.exe' -UNATTENDED '-TESTING=D:\Root' -STOP=1 "-LOG=$root\\night.log" \
    "-JUNIT=$root\\night.xml" "-HISTORY=$root\\night.db" "-REPORT=$root\\night.html" </dev/null >/dev/null 2>&1) ||
    status=$?
  expect "the outputs at $root\\: exit code" 0 "$status"
  top=$c
  [ "$root" = 'D:' ] && top=$d
  for file in night.log night.xml night.db night.html; do
    [ -s "$top/$file" ] || fail "$root\\$file was not written"
  done
done
exit $((failures > 0))
