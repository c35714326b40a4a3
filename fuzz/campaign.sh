#!/usr/bin/env bash
# Runs a long fuzzing campaign on one core: every harness in turn, each for
# its share of the time, from a working corpus that persists between
# campaigns, and prints per harness the executions, the final coverage
# ("cov", edges; "ft", features), the corpus size and the findings.
#
#   fuzz/campaign.sh [minutes]        (default 65)
#
# The plan, as shares of the total: fuzz_whole_run 46 % (every example, the
# companion programs' work done in process), fuzz_control 15 %,
# fuzz_text_reader 6 %, the 18 table harnesses the remaining 33 % between
# them.
#
# Works in $OSTRA_FUZZ_WORK (default build-fuzz/campaign/): the harnesses
# are copied to bin/ first, so the build may be changed while the campaign
# runs; <harness>/corpus is seeded from fuzz/corpus/<harness>/ when empty
# (the repository is not written); <harness>/findings holds what was found,
# <harness>/log-<k> the libFuzzer output. After a finding the harness is
# started again for the rest of its time, at most three times.
# OSTRA_FUZZ_BUILD_DIR names another build directory.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="${OSTRA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
work="${OSTRA_FUZZ_WORK:-$build/campaign}"
minutes="${1:-65}"
total=$((minutes * 60))

if [ ! -x "$build/fuzz/fuzz_whole_run" ]; then
  echo "campaign: no harnesses in $build/fuzz (bash tools/fuzz-ci.sh builds them)" >&2
  exit 1
fi
mkdir -p "$work/bin" "$work/tmp"
cp "$build"/fuzz/fuzz_* "$work/bin/"
export OSTRA_FUZZ_TMP="$work/tmp"

tables=()
for h in "$work"/bin/fuzz_table_*; do tables+=("$(basename "$h")"); done
per_table=$((total * 33 / 100 / ${#tables[@]}))
# harness  seconds
plan=(whole_run $((total * 46 / 100))
      control $((total * 15 / 100))
      text_reader $((total * 6 / 100)))
for t in "${tables[@]}"; do plan+=("${t#fuzz_}" "$per_table"); done

summary="$work/summary.txt"
echo "campaign of $minutes min started $(date -u +%FT%TZ)" >>"$summary"
for ((i = 0; i < ${#plan[@]}; i += 2)); do
  h=${plan[i]}
  dir="$work/$h"
  secs=${plan[i + 1]}
  mkdir -p "$dir/corpus" "$dir/findings"
  [ -n "$(ls -A "$dir/corpus")" ] || cp "$root/fuzz/corpus/$h/"* "$dir/corpus/"
  execs=0
  start=$(date +%s)
  for k in 1 2 3 4; do
    left=$((secs - ($(date +%s) - start)))
    [ "$left" -gt 5 ] || break
    log="$dir/log-$(date +%s)"
    status=0
    OSTRA_FUZZ_STATS=1 \
      "$work/bin/fuzz_$h" -max_total_time="$left" -timeout=30 -rss_limit_mb=2048 -max_len=16384 \
      -dict="$root/fuzz/ostra.dict" -artifact_prefix="$dir/findings/" -print_final_stats=1 \
      "$dir/corpus" >"$log" 2>&1 || status=$?
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    execs=$((execs + ${n:-0}))
    [ $status -ne 0 ] || break
  done
  line=$(grep -a -E '^#[0-9]+.*(cov|DONE)' "$log" | tail -1 || true)
  cov=$(echo "$line" | grep -o 'cov: [0-9]*' || true)
  ft=$(echo "$line" | grep -o 'ft: [0-9]*' || true)
  # Inputs slower than 10 s (libFuzzer's "slow-unit-...") are counted apart:
  # a bounded whole run of a companion example may take that on a busy machine.
  slow=$(ls "$dir/findings" | grep -c '^slow-unit-' || true)
  found=$(ls "$dir/findings" | grep -vc '^slow-unit-' || true)
  printf '%-22s %5ss %9s execs  %-10s %-10s corpus %5s  findings %s  slow %s\n' "$h" "$secs" \
    "$execs" "$cov" "$ft" "$(ls "$dir/corpus" | wc -l)" "$found" "$slow" | tee -a "$summary"
done
rm -rf "$work/tmp"
echo "campaign ended $(date -u +%FT%TZ)" >>"$summary"
