#!/usr/bin/env bash
# Installs what is missing, builds gpusim and runs the main job.
# Extra arguments are passed through to gpusim.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
mkdir -p results
./build/gpusim -N 3 "$@"
