#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and
# this machine lacks: a C++ compiler, CMake, make, GoogleTest and Google
# Benchmark; Qt 6 Widgets and Charts for the window; SuiteSparse for the
# sparse solver; clang with its sanitizer and fuzzer runtime; LAPACK for one
# benchmark; and Debian's Python with pandas, matplotlib, SciPy, Dask
# distributed, pytest, venv and pip for the Python package (its tests install
# it into a virtual environment with the system's pip).
#   tools/ensure-deps.sh          everything
#   tools/ensure-deps.sh --core   only what `ostra` itself needs to build and test
set -euo pipefail
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

core=(g++ cmake make libgtest-dev libgmock-dev)
extra=(libbenchmark-dev liblapack-dev qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libsuitesparse-dev
       clang libclang-rt-14-dev
       python3 python3-pandas python3-matplotlib python3-scipy python3-distributed python3-pytest python3-venv
       python3-pip python3-setuptools)
wanted=("${core[@]}")
[ "${1:-}" = "--core" ] || wanted+=("${extra[@]}")

need=()
for p in "${wanted[@]}"; do have_pkg "$p" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${need[*]} (install them with apt-get as root)" >&2
    exit 1
  fi
  echo "installing from Debian's archive: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
