#!/usr/bin/env bash
# Configures and builds one build directory: build.sh <dir> [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${generator[@]}" "$@"
else
  cmake -S . -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)"
