#!/usr/bin/env bash
# Builds the fuzz targets natively (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS (60 by default) over its corpus in tests/fuzz/corpus/<target>/. Inputs
# that reach code no corpus input reaches are merged into that corpus (edges only, not hit counts,
# which keeps it small); with --smoke the corpus is left as it is. Fails when a target finds something: the input is kept under
# build/fuzz/findings/<target>/ and belongs in the corpus once the fault is fixed.
# Usage: scripts/fuzz.sh [seconds] [--smoke]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORLENTA_FUZZ_BUILD_DIR:-$root/build/fuzz}
seconds=60
smoke=0
for arg in "$@"; do
  case "$arg" in
    --smoke) smoke=1 ;;
    *[!0-9]* | "") echo "usage: $0 [seconds] [--smoke]" >&2; exit 2 ;;
    *) seconds=$arg ;;
  esac
done

bash "$root/scripts/install-deps.sh"
cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

failed=()
for binary in "$build"/fuzz_*; do
  [ -x "$binary" ] || continue
  target=${binary##*/fuzz_}
  corpus=$root/tests/fuzz/corpus/$target
  found=$build/found/$target
  findings=$build/findings/$target
  log=$build/$target.log
  mkdir -p "$corpus" "$findings"
  rm -rf "$found" && mkdir -p "$found"
  # New inputs go to the first folder only, so the committed corpus is read, never written, here.
  if "$binary" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$found" "$corpus" >"$log" 2>&1; then
    echo "$target: $(grep -m1 -E '^#[0-9]+[[:space:]]+DONE' "$log" | sed 's/^#\([0-9]*\)[[:space:]]*DONE[[:space:]]*/\1 runs, /')"
    if [ "$smoke" -eq 0 ]; then
      "$binary" -merge=1 -use_counters=0 "$corpus" "$found" >"$build/$target.merge.log" 2>&1
    fi
  else
    failed+=("$target")
    echo "$target: FOUND A FAULT (log: $log, input under $findings/)"
    grep -E 'property broken|ERROR: |runtime error|SUMMARY' "$log" | head -5 || true
  fi
done

if ((${#failed[@]})); then
  echo "Fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
