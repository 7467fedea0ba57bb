#!/usr/bin/env bash
# Checks the development kit of a built tree as a user meets it: installs the
# tree into a scratch prefix, then configures and builds, outside this source
# tree, a project whose CMakeLists.txt holds only find_package(gpusim) and
# gpusim_add_model(mymodel mymodel.san), and runs the simulator it built.
#   test-devkit.sh <build dir>
# Prints what it checked; exits non-zero at the first failure.
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/gpusim-devkit-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "test-devkit: FAILED: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || { cat "$scratch/install.log"; fail "cmake --install"; }

project=$scratch/project
mkdir -p "$project"
cp "$source_dir/models/mm1k.san" "$project/mymodel.san"
cat >"$project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.18)
project(mymodel LANGUAGES CXX)
find_package(gpusim REQUIRED)
gpusim_add_model(mymodel ${CMAKE_CURRENT_SOURCE_DIR}/mymodel.san)
CMAKE
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake -S "$project" -B "$project/build" "${generator[@]}" -DCMAKE_PREFIX_PATH="$prefix" \
  >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log"; fail "configuring a project against the kit"; }
cmake --build "$project/build" -j"$(nproc)" >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; fail "building gpusim-mymodel"; }
simulator=$project/build/gpusim-mymodel
[ -x "$simulator" ] || fail "no executable gpusim-mymodel at the top of the build folder"
(cd "$scratch" && "$simulator" -t 0 -N 20 -a run.txt >run.out 2>&1) || { cat "$scratch/run.out"; fail "gpusim-mymodel did not run"; }
grep -q "^#META_DATA,BATCHES=20" "$scratch/run.txt" || fail "unexpected results: $(tail -2 "$scratch/run.txt")"
echo "test-devkit: a project outside the tree built $(basename "$simulator") from the installed kit; it ran 20 batches"
echo "test-devkit: OK"
