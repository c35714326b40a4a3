#!/usr/bin/env bash
# Measures the source coverage that a campaign's corpora reach: builds the
# harnesses again with clang's source-based coverage (build-fuzz/coverage/,
# OSTRA_FUZZ_COVERAGE=ON), replays every corpus through its harness
# (-runs=0) and prints the regions, lines
# and branches covered per folder of the program.
#
#   fuzz/coverage.sh [campaign-dir]    (default build-fuzz/campaign)
#
# The campaign directory holds <harness>/corpus as fuzz/campaign.sh leaves
# it; a harness without one is replayed on its seed corpus, fuzz/corpus/.
# Writes coverage.profdata, report.txt (llvm-cov's report, per file) and
# folders.txt (the per-folder summary) into build-fuzz/coverage/.
# OSTRA_FUZZ_JOBS sets the build's parallelism (default 1).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
campaign="${1:-$root/build-fuzz/campaign}"
cov="$root/build-fuzz/coverage"
jobs="${OSTRA_FUZZ_JOBS:-1}"
profdata=$(command -v llvm-profdata-14 || command -v llvm-profdata || true)
llvmcov=$(command -v llvm-cov-14 || command -v llvm-cov || true)
if [ -z "$profdata" ] || [ -z "$llvmcov" ]; then
  echo "coverage: llvm-profdata and llvm-cov are needed (Debian: llvm-14)" >&2
  exit 1
fi

if [ ! -f "$cov/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$cov" -DOSTRA_FUZZ=ON -DOSTRA_FUZZ_COVERAGE=ON \
    -DOSTRA_WINDOW=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$cov.configure.log" 2>&1 ||
    { cat "$cov.configure.log" >&2; exit 1; }
fi
cmake --build "$cov" -j"$jobs" --target fuzzers >"$cov/build.log" 2>&1 || { tail -30 "$cov/build.log" >&2; exit 1; }

rm -rf "$cov/profiles" "$cov/tmp"
mkdir -p "$cov/profiles" "$cov/tmp"
export OSTRA_FUZZ_TMP="$cov/tmp"
objects=()
for h in "$cov"/fuzz/fuzz_*; do
  name=$(basename "$h")
  case $name in *_selftest) continue ;; esac  # (not fuzzing: no coverage of theirs counts)
  corpus="$campaign/${name#fuzz_}/corpus"
  [ -d "$corpus" ] || corpus="$root/fuzz/corpus/${name#fuzz_}"
  LLVM_PROFILE_FILE="$cov/profiles/$name-%p.profraw" "$h" -runs=0 -timeout=60 -rss_limit_mb=4096 \
    -max_len=16384 "$corpus" >"$cov/profiles/$name.log" 2>&1 ||
    echo "coverage: $name ended with a failure on its corpus, see $cov/profiles/$name.log" >&2
  objects+=(-object "$h")
done
"$profdata" merge -sparse "$cov"/profiles/*.profraw -o "$cov/coverage.profdata"
# The first -object is the binary, the others follow as -object.
"$llvmcov" report "${objects[@]:1}" -instr-profile="$cov/coverage.profdata" \
  "$root"/{textio,model,transport,sources,solvers,app} >"$cov/report.txt"

# Sum the per-file rows (Filename Regions Missed Cover Functions Missed Cover
# Lines Missed Cover Branches Missed Cover) by folder.
awk -v root="$root/" '
  $1 ~ /\.(cpp|h)$/ {
    f = $1; sub(root, "", f); split(f, p, "/"); d = p[1]
    r[d] += $2; rm[d] += $3; l[d] += $8; lm[d] += $9; b[d] += $11; bm[d] += $12
  }
  END {
    printf "%-11s %17s %17s %17s\n", "folder", "regions", "lines", "branches"
    n = split("textio model transport sources solvers app", order, " ")
    for (i = 1; i <= n; ++i) {
      d = order[i]
      printf "%-11s %7d/%-6d %4.1f%% %7d/%-6d %4.1f%% %7d/%-6d %4.1f%%\n", d,
        r[d] - rm[d], r[d], r[d] ? 100 * (r[d] - rm[d]) / r[d] : 0,
        l[d] - lm[d], l[d], l[d] ? 100 * (l[d] - lm[d]) / l[d] : 0,
        b[d] - bm[d], b[d], b[d] ? 100 * (b[d] - bm[d]) / b[d] : 0
      R += r[d]; RM += rm[d]; L += l[d]; LM += lm[d]; B += b[d]; BM += bm[d]
    }
    printf "%-11s %7d/%-6d %4.1f%% %7d/%-6d %4.1f%% %7d/%-6d %4.1f%%\n", "all",
      R - RM, R, 100 * (R - RM) / R, L - LM, L, 100 * (L - LM) / L, B - BM, B, B ? 100 * (B - BM) / B : 0
  }' "$cov/report.txt" | tee "$cov/folders.txt"
rm -rf "$cov/tmp"
