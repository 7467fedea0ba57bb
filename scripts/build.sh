#!/usr/bin/env bash
# Configures and builds one build directory:
#   build.sh <dir> [extra cmake args...] [-- target...]
# Without targets everything is built; with them, only those targets and
# what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
cmake_args=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then
    shift
    targets=("$@")
    break
  fi
  cmake_args+=("$1")
  shift
done
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" "${generator[@]}" "${cmake_args[@]}"
else
  cmake -S . -B "$dir" "${cmake_args[@]}" >/dev/null
fi
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
else
  cmake --build "$dir" -j"$(nproc)"
fi
