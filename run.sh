#!/usr/bin/env bash
# Installs what is missing, builds gpusim and runs the main job: 10000
# replications of the GPU model, results in results/gpusim.txt (ASCII) and
# results/gpusim.bin (binary). Extra arguments are passed on to gpusim; given
# later on the command line, they win over these defaults. It ends with a
# summary of each reward variable from the binary results file and the
# names of the two results files.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh --run
# Only what the main job runs is built here, so the first result comes
# quickly; ./test.sh builds the rest (tests, benchmarks, manual pages).
RUN_TARGETS=(gpusim gpusim-report)
./scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -- "${RUN_TARGETS[@]}"
mkdir -p results
./build/gpusim -N 10000 -a results/gpusim.txt -b results/gpusim.bin "$@"

# Summary of the run: the results files, or the ones named by a later -a/-b.
ascii=results/gpusim.txt
binary=results/gpusim.bin
previous=
for argument in "$@"; do
  case $argument in
    -a?*) ascii=${argument#-a} ;;
    -b?*) binary=${argument#-b} ;;
    *)
      [ "$previous" = "-a" ] && ascii=$argument
      [ "$previous" = "-b" ] && binary=$argument
      ;;
  esac
  previous=$argument
done
echo
./build/gpusim-report "$binary"
echo
echo "Results: $ascii (ASCII), $binary (binary)"
