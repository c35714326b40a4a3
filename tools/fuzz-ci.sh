#!/usr/bin/env bash
# Builds the libFuzzer harnesses (build-fuzz/, clang), shows that their checks
# of a run's result files catch what they must, and runs each harness for a
# few seconds from its checked-in seed corpus; exits non-zero on any finding.
#
#   tools/fuzz-ci.sh
#
# About 65 s of fuzzing in all: the whole-run harness 12 s, the comparison of
# the two linear solvers 8 s, "Control.csv" 6 s, the text reader 3 s, each of
# the 18 table harnesses 2 s. A build without the sparse LU solver (KLU)
# skips the comparison and says so. Every harness
# starts from a copy of fuzz/corpus/<harness>/ (the repository is not
# written) with a fixed seed; an input that crashes, hangs past the time-out,
# runs out of memory, trips a sanitizer or breaks one of the harness's checks
# is saved under build-fuzz/fuzz-ci/<harness>/ and named at the end.
# Long campaigns: docs/fuzzing.md.
#
# OSTRA_FUZZ_BUILD_DIR names another build directory, OSTRA_FUZZ_CI_SCALE
# multiplies every time (e.g. 10 for a ten-minute run), OSTRA_FUZZ_JOBS sets
# the build's parallelism (default 2).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${OSTRA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
scale="${OSTRA_FUZZ_CI_SCALE:-1}"
jobs="${OSTRA_FUZZ_JOBS:-2}"
out="$build/fuzz-ci"
# (libFuzzer takes -max_total_time=0 as "no limit".)
if ! [[ "$scale" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz-ci: OSTRA_FUZZ_CI_SCALE must be a whole number of 1 or more, not \"$scale\"" >&2
  exit 1
fi

for tool in clang clang++ cmake make; do
  if ! command -v "$tool" >/dev/null; then
    echo "fuzz-ci: $tool is missing (bash tools/ensure-deps.sh installs clang and libclang-rt-14-dev)" >&2
    exit 1
  fi
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
started=$(date +%s)
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "Configuring $build (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)"
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DOSTRA_FUZZ=ON -DOSTRA_WINDOW=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1 || { cat "$log" >&2; echo "fuzz-ci: configuring failed" >&2; exit 1; }
fi
echo "Building the harnesses in $build"
if ! cmake --build "$build" -j"$jobs" --target fuzzers >"$log" 2>&1; then
  cat "$log" >&2
  echo "fuzz-ci: the build failed" >&2
  exit 1
fi
built=$(date +%s)

rm -rf "$out"
mkdir -p "$out/tmp"
# Scratch model directories of the harnesses go here, and go with it.
export OSTRA_FUZZ_TMP="$out/tmp"

# The checks of a run's outcome must catch what they are for, or the
# whole-run harness would find nothing.
if ! "$build/fuzz/fuzz_result_checks_selftest" >"$out/selftest.log" 2>&1; then
  cat "$out/selftest.log" >&2
  echo "fuzz-ci: the result checks of the harnesses do not behave" >&2
  exit 1
fi
# Nor could the comparison of the two linear solvers without its judge.
if ! "$build/fuzz/fuzz_solver_agreement_selftest" >"$out/solver-selftest.log" 2>&1; then
  cat "$out/solver-selftest.log" >&2
  echo "fuzz-ci: the judge of the two linear solvers' runs does not behave" >&2
  exit 1
fi

# harness seconds
plan=(whole_run 12 differential 8 control 6 text_reader 3)
for h in "$build"/fuzz/fuzz_table_*; do
  name=$(basename "$h")
  plan+=("${name#fuzz_}" 2)
done

failed=()
total=0
for ((i = 0; i < ${#plan[@]}; i += 2)); do
  h=${plan[i]}
  secs=$((plan[i + 1] * scale))
  total=$((total + secs))
  dir="$out/$h"
  mkdir -p "$dir/corpus" "$dir/findings"
  cp "$root/fuzz/corpus/$h/"* "$dir/corpus/"
  status=0
  "$build/fuzz/fuzz_$h" -seed=1 -max_total_time="$secs" -timeout=60 -rss_limit_mb=2048 \
    -dict="$root/fuzz/ostra.dict" -artifact_prefix="$dir/findings/" -print_final_stats=1 \
    "$dir/corpus" >"$dir/log" 2>&1 || status=$?
  # fuzz_differential ends at once, saying so, in a build without KLU.
  if [ "$h" = differential ] && [ $status -ne 0 ] && grep -q 'has no sparse LU solver' "$dir/log"; then
    printf '  %-28s skipped: this build has no sparse LU solver\n' "$h"
    continue
  fi
  # (A harness that fails while starting prints neither.)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1 || true)
  cov=$(grep -a -o 'cov: [0-9]*' "$dir/log" | tail -1 || true)
  # libFuzzer also saves inputs slower than 10 s ("slow-unit-..."): on a
  # busy machine a bounded run may take that long, so only what ends the
  # harness counts.
  if [ $status -ne 0 ] || [ -n "$(ls -A "$dir/findings" | grep -v '^slow-unit-' || true)" ]; then
    printf '  %-28s FINDING (exit status %s), see %s\n' "$h" "$status" "$dir/log"
    failed+=("$h")
  else
    printf '  %-28s %3ss  %8s executions  %s\n' "$h" "$secs" "${execs:-?}" "$cov"
  fi
done
rm -rf "$out/tmp"

ended=$(date +%s)
echo "fuzz-ci: build $((built - started)) s, fuzzing $((ended - built)) s ($total s asked for)"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz-ci: findings in ${failed[*]}:" >&2
  for h in "${failed[@]}"; do
    ls -1 "$out/$h/findings/" 2>/dev/null | sed "s#^#  $out/$h/findings/#" >&2
    grep -a -m3 -E 'ostra fuzz finding|ERROR: |SUMMARY: ' "$out/$h/log" | sed 's/^/    /' >&2 || true
  done
  exit 1
fi
echo "fuzz-ci: no findings"
