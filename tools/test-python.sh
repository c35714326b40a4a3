#!/usr/bin/env bash
# Runs the tests of the Python package against a build of ostra.
#
#   tools/test-python.sh [build-directory]     (default: build/)
#
# The build directory must hold `ostra` and the companion programs
# (companions/<folder>/). Further arguments go to pytest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ $# -gt 0 ] && shift
build=$(cd "$build" && pwd)
if [ ! -x "$build/ostra" ]; then
  echo "test-python: no ostra program in $build (build the targets ostra and companion_*)" >&2
  exit 64
fi
cd "$root"
OSTRA_BUILD_DIR="$build" OSTRA_EXE="$build/ostra" PYTHONDONTWRITEBYTECODE=1 \
  exec /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests "$@"
