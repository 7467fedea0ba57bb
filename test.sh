#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: an optimised
# build, and an AddressSanitizer + UndefinedBehaviorSanitizer build. The
# optimised build's installation and Debian package are checked in between;
# each fuzz target then runs briefly.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
# The tests are built only where GoogleTest is found: here finding none fails.
(cd build && ctest --output-on-failure --no-tests=error -j"$(nproc)")
# The install rule and the Debian package, from the optimised build; then the
# development kit, used by a project outside this tree.
./scripts/test-package.sh build
./scripts/test-devkit.sh build

./scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGPUSIM_SANITIZE=ON -DGPUSIM_BENCHMARKS=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure --no-tests=error -j"$(nproc)")

# Every fuzz target for a few seconds from its seed corpus, with the sanitizers.
fuzz_status=0
./scripts/fuzz.sh 5 || fuzz_status=$?
if [ "$fuzz_status" -eq 2 ]; then
  echo "Fuzz targets skipped: no clang with libFuzzer."
elif [ "$fuzz_status" -ne 0 ]; then
  exit "$fuzz_status"
fi
echo "All tests passed."
