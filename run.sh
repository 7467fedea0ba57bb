#!/usr/bin/env bash
# Installs what is missing, builds gpusim and runs the main job: a study of
# the GPU model with gpusim-manager on every core, to 0.5% relative width at
# 95% confidence, merged results in results/gpusim.bin. Extra arguments are
# passed on to gpusim-manager (simulator options after "--"); given later on
# the command line, they win over these defaults. It ends with the study's
# summary.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
mkdir -p results
# A study on every core, until every reward variable's 95% confidence interval
# is within 0.5% of its mean; it ends with the summary.
./build/gpusim-manager --rel-width 0.005 --confidence 0.95 --binary results/gpusim.bin "$@"
