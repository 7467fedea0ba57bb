#!/usr/bin/env bash
# Installs what is missing, builds gpusim and runs the main job: 1000
# replications of the GPU model, results in results/gpusim.txt (ASCII) and
# results/gpusim.bin (binary). Extra arguments are passed on to gpusim; given
# later on the command line, they win over these defaults.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
mkdir -p results
./build/gpusim -N 1000 -a results/gpusim.txt -b results/gpusim.bin "$@"
