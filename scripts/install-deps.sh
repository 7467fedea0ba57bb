#!/usr/bin/env bash
# Installs the build and test tools gpusim needs on a Debian machine when they
# are missing. As root it uses apt-get; otherwise it names what to install.
set -euo pipefail

PACKAGES=(cmake g++ make ninja-build googletest libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils clang libclang-rt-dev)

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
command -v ninja >/dev/null 2>&1 || missing+=(ninja-build)
command -v xmllint >/dev/null 2>&1 || missing+=(libxml2-utils)
[ -f /usr/include/gtest/gtest.h ] || missing+=(googletest libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
# The fuzz targets (scripts/fuzz.sh) need clang and its libFuzzer runtime.
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a" >/dev/null || missing+=(libclang-rt-dev)

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root with: apt-get install -y ${missing[*]}" >&2
  echo "(everything the build uses: apt-get install -y ${PACKAGES[*]})" >&2
  exit 1
fi
