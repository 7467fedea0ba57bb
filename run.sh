#!/usr/bin/env bash
# Installs what is missing, builds gpusim and runs the main job: a study of
# the GPU model with gpusim-manager on every core, to 0.5% relative width at
# 95% confidence, merged results in results/gpusim.bin. Extra arguments are
# passed on to gpusim-manager (simulator options after "--"); given later on
# the command line, they win over these defaults. It ends with the study's
# summary.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh --run
# Only the tools are built here, so the first result comes quickly: the
# target "installable" is every user command (gpusim, gpusim-manager,
# gpusim-report, gpusim-gen) and whatever else `cmake --install build` copies
# (the kit's static libraries, the changelog, the manual pages when help2man
# is installed), so the build can be installed right after. ./test.sh builds
# the rest: tests, benchmarks, the example models' simulators.
RUN_TARGETS=(installable)
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -- "${RUN_TARGETS[@]}"
mkdir -p results
# A study on every core, until every reward variable's 95% confidence interval
# is within 0.5% of its mean; it ends with the summary.
./build/gpusim-manager --rel-width 0.005 --confidence 0.95 --binary results/gpusim.bin "$@"
