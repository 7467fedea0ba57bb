#!/usr/bin/env bash
# Configures and builds one build directory:
#   build.sh <dir> [extra cmake args...] [-- target...]
# Without targets everything is built; with them, only those targets and
# what they need. An optimised build with GCC is compiled from a profile of
# training runs (below).
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

# configure DIR ARGS...: a first configuration prints CMake's findings, a
# later one only its errors.
configure() {
  local d=$1; shift
  if [ ! -f "$d/CMakeCache.txt" ]; then
    cmake -S . -B "$d" "${generator[@]}" "$@"
  else
    cmake -S . -B "$d" "$@" >/dev/null
  fi
}

# The build type: as asked, else as configured before, else Release (the
# project's default).
build_type() {
  local a type=""
  for a in "${cmake_args[@]}"; do
    case $a in -DCMAKE_BUILD_TYPE=*) type=${a#-DCMAKE_BUILD_TYPE=} ;; esac
  done
  if [ -z "$type" ] && [ -f "$dir/CMakeCache.txt" ]; then
    type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$dir/CMakeCache.txt")
  fi
  echo "${type:-Release}"
}

# An optimised build with GCC is compiled from a profile (GPUSIM_PGO=0 in the
# environment turns this off): an instrumented copy in DIR/profile-training
# builds the simulators, runs scripts/profile-training.sh (again only when one
# of those simulators or the script changed) and leaves its counts in
# DIR/profile-training/counts for the build proper.
profile_wanted() {
  local compiler
  compiler=$("${CXX:-c++}" -v 2>&1 || true)
  [ "${GPUSIM_PGO:-1}" != 0 ] && [ "$(build_type)" = Release ] && grep -q '^gcc version' <<<"$compiler"
}
profile_args=(-DGPUSIM_PROFILE_USE=)
if profile_wanted; then
  training="$dir/profile-training"
  mkdir -p "$training"
  training=$(cd "$training" && pwd)
  counts="$training/counts"
  simulators=(gpusim)
  for model in models/*.san; do simulators+=("gpusim-$(basename "$model" .san)"); done
  configure "$training" "${cmake_args[@]}" -DCMAKE_BUILD_TYPE=Release -DGPUSIM_TESTS=OFF \
    -DGPUSIM_BENCHMARKS=OFF -DGPUSIM_PROFILE_USE= -DGPUSIM_PROFILE_GENERATE="$counts"
  cmake --build "$training" -j"$(nproc)" --target "${simulators[@]}"
  stale=""
  for s in "${simulators[@]}"; do
    [ "$training/$s" -nt "$counts/trained" ] && stale=yes
  done
  [ scripts/profile-training.sh -nt "$counts/trained" ] && stale=yes
  if [ -n "$stale" ]; then
    echo "Training runs for the optimised build (scripts/profile-training.sh)"
    ./scripts/profile-training.sh "$training"
    # The build finds counts by the object's path inside its tree; should
    # that naming ever change, it would silently find none.
    step_counts="$counts/CMakeFiles#gpusim_core.dir#src#simulator#SimulatorClassStep.cpp.gcda"
    [ -f "$step_counts" ] || { echo "build.sh: the training runs left no $step_counts" >&2; exit 1; }
    # The build proper does not know that its objects depend on the counts:
    # the objects the new counts are for are removed, to be compiled again
    # (CMakeFiles#t.dir#src#f.cpp.gcda is the count of CMakeFiles/t.dir/src/f.cpp.o).
    for f in "$counts"/*.gcda; do
      name=$(basename "$f" .gcda)
      rm -f "$dir/${name//#//}.o"
    done
    touch "$counts/trained"
  fi
  profile_args=(-DGPUSIM_PROFILE_USE="$counts")
fi
configure "$dir" "${cmake_args[@]}" "${profile_args[@]}"
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
else
  cmake --build "$dir" -j"$(nproc)"
fi
