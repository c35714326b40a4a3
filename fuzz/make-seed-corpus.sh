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
mkdir -p "$corpus/text_reader" "$corpus/control" "$corpus/whole_run"
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
echo "seed corpus written to $corpus: $(find "$corpus" -type f | wc -l) files, $(du -sh "$corpus" | cut -f1)"
