#!/usr/bin/env bash
# Writes the seed corpus of every harness, fuzz/corpus/<harness>/, from the
# example models in examples/. Run it again when the examples change; the
# corpus is checked in, so a campaign or tools/fuzz-ci.sh needs nothing else.
#
#   fuzz/make-seed-corpus.sh
#
# text_reader       every table of every example, after a fixed sequence of
#                   reader operations (the input layout of fuzz_text_reader.cpp)
# control           the "Control.csv" of every example
# table_<name>      the table of that name from every example that has it
# whole_run         per example the example alone, and the example with one
#                   of its tables given as a replacement (model_input.h);
#                   per companion example also the example solved by sparse
#                   LU and with finite-difference Jacobians column by column
#                   (and the sorption example's grouped, not analytic)
# differential      the examples that need no companion program alone, and
#                   equation-solver systems of their own at the edges of the
#                   two linear solvers (eqns_seed below)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
examples="$root/examples"
corpus="$root/fuzz/corpus"

# Example numbers and table numbers of the whole-run input (scratch_model.cpp).
example_list=(river-network river-network-steady equation-solver kinetics quadratic-steady nonlinear-sorption)
table_list=(Control.csv SVCompmap.csv INITIAL.CSV Guess.CSV Compartments.csv Interfaces.csv Flows.csv
            ECoefficients.csv FlowandEMultipliers.csv linearKdandTempCoef.csv BOUNDARY.csv VolumeSrcSnks.csv
            AreaSrcSnks.csv Loads.csv AEqnSolver.csv BEqnSolver.csv RVEqnSolver.csv InitialEqnSolver.csv
            GuessEqnSolver.csv)
declare -A harness_of=(
  [SVCompmap.csv]=table_svcompmap [INITIAL.CSV]=table_initial [Guess.CSV]=table_guess
  [Compartments.csv]=table_compartments [Interfaces.csv]=table_interfaces [Flows.csv]=table_flows
  [ECoefficients.csv]=table_ecoefficients [linearKdandTempCoef.csv]=table_kd [BOUNDARY.csv]=table_boundary
  [FlowandEMultipliers.csv]=table_multipliers [VolumeSrcSnks.csv]=table_volume_sources
  [AreaSrcSnks.csv]=table_area_sources [Loads.csv]=table_loads [AEqnSolver.csv]=table_aeqnsolver
  [BEqnSolver.csv]=table_beqnsolver [RVEqnSolver.csv]=table_rveqnsolver
  [InitialEqnSolver.csv]=table_initialeqnsolver [GuessEqnSolver.csv]=table_guesseqnsolver)

byte() { printf "\\x$(printf %02x "$1")"; }

# The example's file for a table name, matched without regard to letter case.
find_table() {
  local dir=$1 name=$2 f
  for f in "$dir"/*; do
    [ -f "$f" ] || continue
    if [ "$(basename "$f" | tr '[:upper:]' '[:lower:]')" = "$(echo "$name" | tr '[:upper:]' '[:lower:]')" ]; then
      echo "$f"
      return
    fi
  done
}

rm -rf "$corpus"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$corpus/text_reader" "$corpus/control" "$corpus/whole_run" "$corpus/differential"
for name in "${harness_of[@]}"; do mkdir -p "$corpus/$name"; done

# ReadLine, then fields of every type, AtEnd, MoreFieldsOnLine, Save, more
# fields, Restore, TryReadLine (operation numbers of fuzz_text_reader.cpp).
ops=(0 2 6 4 5 3 7 8 2 2 4 6 9 2 1 5 10 0 6 7)

for i in "${!example_list[@]}"; do
  ex=${example_list[$i]}
  dir="$examples/$ex"
  { byte "$i"; } >"$corpus/whole_run/$ex"
  if [ -f "$dir/companions.txt" ]; then
    # Example numbers past the list's end choose column-by-column Jacobians.
    columns=$((i + ${#example_list[@]}))
    # with_lines "N=VALUE ...": the example's "Control.csv" with those lines replaced (CR LF kept).
    with_lines() {
      awk -v edits="$1" 'BEGIN { n = split(edits, e, " "); for (k = 1; k <= n; ++k) { split(e[k], p, "="); v[p[1]] = p[2] } }
        { cr = sub(/\r$/, ""); if (NR in v) $0 = v[NR]; printf "%s%s\n", $0, cr ? "\r" : "" }' "$(find_table "$dir" Control.csv)"
    }
    # The sorption example in 5 time steps (line 22), as the harness's copy of it.
    short=""
    [ "$ex" != nonlinear-sorption ] || short="22=5"
    with_lines "$short" >"$tmp/sparse"
    printf 'Linear solver\r\nSPARSE-LU\r\n' >>"$tmp/sparse"
    # Pair 17 (line 34) "N": finite differences.
    with_lines "$short 34=N" >"$tmp/fd"
    control_record() { local size; size=$(stat -c %s "$1"); byte 0; byte $((size & 255)); byte $((size >> 8)); cat "$1"; }
    { byte "$i"; control_record "$tmp/sparse"; } >"$corpus/whole_run/$ex-sparse-lu"
    { byte "$columns"; control_record "$tmp/fd"; } >"$corpus/whole_run/$ex-fd-columns"
    [ "$ex" != nonlinear-sorption ] || { byte "$i"; control_record "$tmp/fd"; } >"$corpus/whole_run/$ex-fd-grouped"
  fi
  for t in "${!table_list[@]}"; do
    table=${table_list[$t]}
    f=$(find_table "$dir" "$table")
    [ -n "$f" ] || continue
    size=$(stat -c %s "$f")
    { byte "${#ops[@]}"; for o in "${ops[@]}"; do byte "$o"; done; cat "$f"; } >"$corpus/text_reader/$ex-$table"
    if [ "$table" = Control.csv ]; then
      cp "$f" "$corpus/control/$ex"
    else
      cp "$f" "$corpus/${harness_of[$table]}/$ex"
    fi
    { byte "$i"; byte "$t"; byte $((size & 255)); byte $((size >> 8)); cat "$f"; } >"$corpus/whole_run/$ex-$table"
  done
done
# A whole-run input of the equation-solver example with its own tables:
#   eqns_seed NAME STEADY(Y/N) NEQN SCHEME STEPS A B [RV INITIAL]
# (A and B as the files hold them; RV and INITIAL default to 1 and 0 each.)
table_record() {
  local number=$1 bytes=$2
  local size=${#bytes}
  byte "$number"; byte $((size & 255)); byte $((size >> 8)); printf '%s' "$bytes"
}
eqns_seed() {
  local name=$1 steady=$2 neqn=$3 scheme=$4 steps=$5 a=$6 b=$7
  local rv=${8:-$(yes 1 | head -n "$neqn")} init=${9:-$(yes 0 | head -n "$neqn")}
  local control
  control=$(awk -v s="$steady" -v n="$neqn" -v k="$scheme" -v t="$steps" \
    'NR == 6 { $0 = s } NR == 8 { $0 = n } NR == 18 { $0 = k } NR == 22 { $0 = t } { print }' \
    "$examples/equation-solver/Control.csv")
  { byte 2; table_record 0 "$control"$'\n'; table_record 14 "$a"$'\n'; table_record 15 "$b"$'\n'
    table_record 16 "$rv"$'\n'; table_record 17 "$init"$'\n'; } >"$corpus/differential/$name"
}
for i in 0 1 2; do { byte "$i"; } >"$corpus/differential/${example_list[$i]}"; done
# Exactly singular (Gauss-Jordan stops at its pivot limit; the sparse LU solver must refuse it too).
eqns_seed singular-4 Y 4 3 1 $'0,5000,0,0\n-10,-60,40,-20\n-80000,50000,0,60000\n-9,-1,4,4' $'1\n1\n1\n1'
# Well conditioned once its rows are scaled: both must solve it.
eqns_seed big-entry-2 Y 2 3 1 $'1,1E+20\n1,1' $'1\n2'
# No matrix at all: Gauss-Jordan finds 0 a solution of 0 = 0; the sparse LU solver must say singular.
eqns_seed zero-3 Y 3 3 1 $'0,0,0\n0,0,0\n0,0,0' $'0\n0\n0'
# A small component next to a huge one: Gauss-Jordan loses it, normwise the answers agree.
eqns_seed small-next-to-huge-3 Y 3 3 1 $'1.5,0,0\n0,1,-1\n1.769875,0,5' $'.1\n0\n1E+15'
# Rows of very different scales, stepped with implicit Euler and Crank-Nicolson.
eqns_seed scaled-rows-euler-3 N 3 3 20 $'-5E+07,1E+07,0\n.4,-.6,.2\n0,3E-09,-4E-09' $'5\n0\n1' $'1E+08\n1\n1E-08'
eqns_seed scaled-rows-cn-3 N 3 4 20 $'-5E+07,1E+07,0\n.4,-.6,.2\n0,3E-09,-4E-09' $'5\n0\n1' $'1E+08\n1\n1E-08'
# Close to singular: the third row is the sum of the first two but for 1E-9.
eqns_seed near-singular-3 Y 3 3 1 $'2,1,1\n1,3,2\n3,4,3.000000001' $'1\n2\n3'
# The Hilbert matrix of order 6 (condition about 1.5E+07).
eqns_seed hilbert-6 Y 6 3 1 "$(awk 'BEGIN { for (i = 1; i <= 6; i++) { l = ""; for (j = 1; j <= 6; j++) l = l (j > 1 ? "," : "") sprintf("%.17g", 1 / (i + j - 1)); print l } }')" $'1\n1\n1\n1\n1\n1'
# Coefficients below the absolute pivot limit of Gauss-Jordan in a regular system.
eqns_seed tiny-units-3 N 3 3 10 $'-5E-12,1E-12,0\n4E-12,-6E-12,2E-12\n0,3E-12,-4E-12' $'5E-12\n0\n1E-12' $'1E-11\n2E-11\n1E-11'
# The river network with a compartment volume a million times smaller, steady and dynamic.
for i in 0 1; do
  ex=${example_list[$i]}
  f=$(find_table "$examples/$ex" Compartments.csv)
  { byte "$i"; table_record 4 "$(sed 's/^2,2,0,1000,0,0,20000,/2,2,0,1000,0,0,.02,/' "$f")"$'\n'; } >"$corpus/differential/$ex-small-volume"
done
# Inputs that campaigns found faults with, kept as seeds so that every
# short run in CI tries them again (fuzz/regressions/<harness>/).
for dir in "$root/fuzz/regressions"/*/; do
  [ -d "$dir" ] && cp "$dir"* "$corpus/$(basename "$dir")/"
done
echo "seed corpus written to $corpus: $(find "$corpus" -type f | wc -l) files, $(du -sh "$corpus" | cut -f1)"
