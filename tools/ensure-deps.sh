#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and
# this machine lacks: a C++ compiler, CMake, make and GoogleTest.
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || need+=(libgmock-dev)
if [ "${1:-}" = "--bench" ] && [ ! -f /usr/include/benchmark/benchmark.h ]; then
  need+=(libbenchmark-dev)
fi
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${need[*]} (install them with apt-get as root)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi
