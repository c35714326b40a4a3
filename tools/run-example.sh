#!/usr/bin/env bash
# Runs one of the example models without touching the example itself.
#
#   tools/run-example.sh examples/river-network
#
# Builds `ostra` (configuring build/ the first time), copies the example into
# scratch/<name>/ (replacing an earlier copy), adds the companion programs the
# example asks for, runs `ostra` there and says where the results are. The
# exit status is that of `ostra`. OSTRA_BUILD_DIR names another build
# directory to use instead of build/.
#
# Companion programs: an example that needs them holds "companions.txt" with
# one line per program, "<companion-folder> <name-in-model>", for example
#   varn-quadratic varn.exe
# The single program built from companions/<companion-folder>/ is copied
# into the scratch copy under <name-in-model>.
#
# The listing at the end names the result and diagnostic files of the run,
# not the exchange files of the companion programs.
set -euo pipefail

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: tools/run-example.sh <example-directory>" >&2
  exit 64
fi
example=$(cd "$1" && pwd)
name=$(basename "$example")
root=$(cd "$(dirname "$0")/.." && pwd)
build="${OSTRA_BUILD_DIR:-$root/build}"  # another build directory may be named instead
scratch="$root/scratch/$name"

# A fresh machine gets its compiler, CMake and GoogleTest from the Debian archive.
bash "$root/tools/ensure-deps.sh" --core

if [ ! -f "$example/Control.csv" ] && [ ! -f "$example/control.csv" ]; then
  echo "run-example: $example holds no Control.csv" >&2
  exit 64
fi

# Companion folders named by the example, one per line.
companions=()
if [ -f "$example/companions.txt" ]; then
  while read -r folder program || [ -n "${folder:-}" ]; do
    folder=${folder%$'\r'}
    program=${program%$'\r'}
    [ -z "$folder" ] && continue
    case "$folder" in \#*) continue ;; esac
    if [ -z "$program" ]; then
      echo "run-example: companions.txt line \"$folder\" names no program" >&2
      exit 64
    fi
    if [ ! -d "$root/companions/$folder" ]; then
      echo "run-example: companions.txt names companions/$folder, which does not exist" >&2
      exit 64
    fi
    companions+=("$folder" "$program")
  done <"$example/companions.txt"
fi

# Build ostra and the companion programs the example needs, one line per
# build step on the terminal; the whole log is shown only when it fails.
targets=(ostra)
for ((i = 0; i < ${#companions[@]}; i += 2)); do
  targets+=("companion_${companions[i]//-/_}")
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
build_failed() {
  cat "$log" >&2
  echo "run-example: the build failed" >&2
  exit 1
}
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "Configuring $build (RelWithDebInfo)"
  # As tools/test-all.sh configures build/, so that neither rebuilds the other's work.
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRA_BENCH=OFF >"$log" 2>&1 || build_failed
fi
echo "Building ${targets[*]} in $build"
# Make's progress lines ("[ 40%] Building CXX object CMakeFiles/x.dir/app/a.cpp.o"),
# shortened to the percentage and the source file.
progress() {
  sed -un -E 's#^\[ *([0-9]+%)\] Building CXX object CMakeFiles/[^/]+\.dir/(.*)\.o$#  [\1] compiling \2#p
               s#^\[ *([0-9]+%)\] Linking CXX (static library|executable) (.*)$#  [\1] linking \3#p'
}
cmake --build "$build" -j2 --target "${targets[@]}" 2>&1 | tee -a "$log" | progress || build_failed

# A fresh copy of the example.
rm -rf "$scratch"
mkdir -p "$scratch"
cp -R "$example/." "$scratch/"

for ((i = 0; i < ${#companions[@]}; i += 2)); do
  folder=${companions[i]}
  program=${companions[i + 1]}
  built=()
  for f in "$build/companions/$folder"/*; do
    [ -f "$f" ] && [ -x "$f" ] && built+=("$f")
  done
  if [ ${#built[@]} -ne 1 ]; then
    echo "run-example: expected one program in $build/companions/$folder, found ${#built[@]}" >&2
    exit 1
  fi
  cp "${built[0]}" "$scratch/$program"
  chmod +x "$scratch/$program"
done

echo "Running $name in $scratch"
status=0
"$build/ostra" "$scratch" || status=$?
echo
if [ $status -eq 0 ]; then
  echo "Results of $name are in $scratch:"
else
  echo "ostra ended with status $status; the files it left are in $scratch:"
fi
# Result and diagnostic files: the ".csv" and ".dng" files the run added,
# without the exchange files of companion programs -- the requests
# "Shell*.csv" and the answers "<program>.csv" of the programs copied in.
exchange=$(mktemp)
trap 'rm -f "$log" "$exchange"' EXIT
echo 'Shell*.csv' >"$exchange"
for ((i = 1; i < ${#companions[@]}; i += 2)); do
  program=${companions[i]}
  echo "${program%.[eE][xX][eE]}.csv" >>"$exchange"
done
(cd "$scratch" && ls -1 -- *.csv *.dng 2>/dev/null || true) | while read -r file; do
  [ -e "$example/$file" ] && continue
  skip=0
  while read -r pattern; do
    # shellcheck disable=SC2254  # the pattern is a glob on purpose
    case "${file,,}" in ${pattern,,}) skip=1 ;; esac
  done <"$exchange"
  [ $skip -eq 0 ] && echo "  $file"
done
exit $status
