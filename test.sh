#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: an optimised
# build, and an AddressSanitizer + UndefinedBehaviorSanitizer build. The
# optimised build's installation and Debian package are checked in between.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
(cd build && ctest --output-on-failure -j"$(nproc)")
# The install rule and the Debian package, from the optimised build.
./scripts/test-package.sh build

./scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGPUSIM_SANITIZE=ON -DGPUSIM_BENCHMARKS=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j"$(nproc)")
echo "All tests passed."
