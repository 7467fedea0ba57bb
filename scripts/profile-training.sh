#!/usr/bin/env bash
# The training runs of an optimised build: typical simulations, run by an
# instrumented build so that the optimised one is compiled from what they do
# (see GPUSIM_PROFILE_USE in CMakeLists.txt). They cover what users run most:
# the built-in GPU model (terminating, each generator, both results files),
# every example model interpreted and compiled (terminating and steady
# state), and models of 10 and 10 000 queues (small and large event lists).
# The instrumented build writes its counts into the folder it was configured
# with (GPUSIM_PROFILE_GENERATE); the counts already there are replaced. A few
# seconds instrumented.
# usage: profile-training.sh TRAINING_BUILD_DIR
set -euo pipefail
B=$(cd "${1:?usage: profile-training.sh TRAINING_BUILD_DIR}" && pwd)
C=$(sed -n 's/^GPUSIM_PROFILE_GENERATE:PATH=//p' "$B/CMakeCache.txt")
[ -n "$C" ] || { echo "profile-training.sh: $B is not an instrumented build (no GPUSIM_PROFILE_GENERATE)" >&2; exit 2; }
MODELS=$(cd "$(dirname "$0")/../models" && pwd)
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
rm -rf "$C"
mkdir -p "$C"
export GPUSIM_PROGRESS=0

# run SIMULATOR ARGS...: a run that must succeed; its output is not kept.
run() { (cd "$T" && "$@" >/dev/null 2>"$T/err") || { cat "$T/err" >&2; echo "profile-training.sh: failed: $*" >&2; exit 1; }; }

run "$B/gpusim" -N 200000
run "$B/gpusim" -N 20000 -a "$T/gpu.txt" -b "$T/gpu.bin"
run "$B/gpusim" -N 20000 -r 1
run "$B/gpusim" -N 20000 -r 2
# each_mode NAME SIMULATOR...: a model has terminating variables, steady-state
# ones or both; each kind it has is run.
each_mode() {
  local name=$1 kinds=0; shift
  (cd "$T" && "$@" -N 2000 -a "$T/$name.txt" >/dev/null 2>&1) && kinds=$((kinds + 1))
  (cd "$T" && "$@" -t 0 -N 50 -b "$T/$name.bin" >/dev/null 2>&1) && kinds=$((kinds + 1))
  [ "$kinds" -gt 0 ] || { echo "profile-training.sh: $* runs in neither mode" >&2; exit 1; }
}
for model in "$MODELS"/*.san; do
  name=$(basename "$model" .san)
  each_mode "$name" "$B/gpusim" --model "$model"
  each_mode "$name" "$B/gpusim-$name"
done
# n_queues N HORIZON: N independent M/M/1 queues joined, an impulse on one.
n_queues() {
  local i
  echo "san QUEUE { place Q;"
  echo "  activity ARRIVE { timed exponential(0.5); fire { Q++; } }"
  echo "  activity SERVE { timed exponential(1.0); enabled Q > 0; fire { Q--; } } }"
  echo "join QUEUES {"
  for ((i = 0; i < $1; i++)); do echo "  submodel q$i = QUEUE;"; done
  echo "}"
  echo "reward arrivals { interval [0, $2]; impulse q0.ARRIVE = 1; }"
}
n_queues 10 20000 > "$T/q10.san"
run "$B/gpusim" --model "$T/q10.san" -N 5
n_queues 10000 100 > "$T/q10000.san"
run "$B/gpusim" --model "$T/q10000.san" -N 1
