#!/usr/bin/env bash
# Builds Ostra twice -- a normal build (build/) and one with AddressSanitizer
# and UndefinedBehaviorSanitizer (build-sanitize/) -- and runs every test in
# both; then the Python package's tests (tools/test-python.sh) and the
# fuzzing run (tools/fuzz-ci.sh) when those scripts exist.
#
# Each part is named before its build and tests, and the last line sums them
# all up. Every part runs even when an earlier one failed; the exit status is
# 0 only when all passed.
#
# No test needs the benchmarks, so neither build compiles them
# (-DOSTRA_BENCH=OFF, also when a cached configuration had them on). build/
# is configured exactly as tools/run-example.sh configures it, so that what
# an example run has built is not built again; a build/ configured by an
# example run before SuiteSparse and Qt were installed gains the sparse
# solver and the window here (their options default to AUTO, which looks
# again at every configure), and the summary says FAILED if either is still
# missing. The sanitizer build stays at
# -O0: at -O1 each file takes 1.5 to 2 times as long to compile, and the
# tests gain only about a tenth of their time.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# The two CTest configurations need only the core packages. The others --
# Qt (window/), Python (tools/test-python.sh), clang (tools/fuzz-ci.sh),
# SuiteSparse, and the benchmark libraries no test uses -- are most of a
# fresh machine's download (some 370 packages, 1.1 GB installed), so they
# are installed only when a part that needs them is present
# (tools/ensure-deps.sh installs either the core or everything).
everything=0
if [ -d window ] || [ -f tools/test-python.sh ] || [ -f tools/fuzz-ci.sh ] ||
   grep -qi suitesparse CMakeLists.txt; then
  bash tools/ensure-deps.sh || exit 1
  everything=1
else
  bash tools/ensure-deps.sh --core || exit 1
fi

started=$SECONDS
summary=()  # one "<part>: <outcome>" per part
failed=0

elapsed() {
  local s=$(($SECONDS - $1))
  if [ $s -ge 60 ]; then echo "$((s / 60)) min $((s % 60)) s"; else echo "$s s"; fi
}

heading() { printf '\n==> %s\n' "$*"; }

# The counts of ctest's last line "97% tests passed, 2 tests failed out of 248".
ctest_outcome() {
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
  if [ -z "$line" ]; then
    echo "no test ran"
    return
  fi
  local failed_n total
  failed_n=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  if [ "$failed_n" -eq 0 ]; then echo "$total tests passed"; else echo "$failed_n of $total tests FAILED"; fi
}

# configuration <name> <build-dir> <cmake options...>: configure, build, ctest.
configuration() {
  local name=$1 dir=$2 t0=$SECONDS log outcome
  shift 2
  heading "$name ($dir): configuring and building"
  if ! cmake -S . -B "$dir" "$@" >/dev/null || ! cmake --build "$dir" -j"$jobs"; then
    summary+=("$name: build FAILED")
    failed=1
    return
  fi
  heading "$name ($dir): running the tests"
  log=$(mktemp)
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  outcome=$(ctest_outcome "$log")
  rm -f "$log"
  [ "$status" -eq 0 ] || failed=1
  [ "$status" -eq 0 ] || [[ $outcome == *FAILED* ]] || outcome="$outcome, ctest ended with status $status"
  summary+=("$name: $outcome ($(elapsed $t0))")
}

# parts <name> <build-dir>: once ensure-deps has installed SuiteSparse and Qt,
# a build directory must build the sparse solver and the window -- also one
# configured before they were there -- unless its option was set OFF.
parts() {
  local name=$1 cache=$2/CMakeCache.txt option value missing=()
  [ -f "$cache" ] || return 0
  for option in OSTRA_KLU OSTRA_WINDOW; do
    [ "$(sed -n "s/^${option}_BUILT:INTERNAL=//p" "$cache")" = ON ] && continue
    value=$(sed -n -E "s/^${option}(:[A-Z]+)?=//p" "$cache")
    case "${value^^}" in OFF | 0 | NO | FALSE | N) continue ;; esac  # left out on purpose
    missing+=("$option")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    summary+=("$name: ${missing[*]} NOT built although the libraries are installed")
    failed=1
  fi
}

# script <name> <file> <arguments...>: runs the file with bash when it exists.
script() {
  local name=$1 file=$2 t0=$SECONDS
  shift 2
  if [ ! -f "$file" ]; then
    heading "$name: $file does not exist, nothing to run"
    summary+=("$name: not present")
    return
  fi
  heading "$name: bash $file $*"
  if bash "$file" "$@"; then
    summary+=("$name: passed ($(elapsed $t0))")
  else
    summary+=("$name: FAILED with status $? ($(elapsed $t0))")
    failed=1
  fi
}

configuration "normal build" build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRA_BENCH=OFF
configuration "sanitizer build" build-sanitize -DCMAKE_BUILD_TYPE=Debug -DOSTRA_SANITIZE=ON -DOSTRA_BENCH=OFF
if [ $everything -eq 1 ]; then
  parts "normal build" build
  parts "sanitizer build" build-sanitize
fi
script "Python tests" tools/test-python.sh build
script "fuzzing" tools/fuzz-ci.sh

line=""
for part in "${summary[@]}"; do line+="${line:+; }$part"; done
echo
if [ $failed -eq 0 ]; then
  echo "test-all: all passed in $(elapsed $started) -- $line"
else
  echo "test-all: FAILED after $(elapsed $started) -- $line"
fi
exit $failed
