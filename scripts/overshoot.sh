#!/usr/bin/env bash
# Measures how far precision studies of the GPU model overshoot their target:
#   scripts/overshoot.sh [manager] [studies] [report size] [simulators]
# runs that many studies with --rel-width 0.02 (met at about 4 800
# observations: write_ok has a standard deviation of 0.7071 around a mean of
# 1, so 1.96^2 * 0.5 / 0.02^2 = 4 802) and prints each study's observations
# per variable, then their median and the median overshoot in held-back
# bursts (25 reports) per simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
manager=${1:-build/gpusim-manager}
studies=${2:-21}
report=${3:-1000}
simulators=${4:-2}
counts=()
for ((i = 0; i < studies; i++)); do
  n=$("$manager" --quiet --gpusim build/gpusim --simulators "$simulators" --seed $((1000 + i)) \
        --rel-width 0.02 --report-size "$report" --csv 2>/dev/null | awk -F, '$1 == "1" { print $3 }')
  counts+=("$n")
done
printf '%s\n' "${counts[@]}" | sort -n | awk -v report="$report" -v k="$simulators" '
  { n[NR] = $1 } END {
    median = n[int((NR + 1) / 2)]
    printf "observations: min %d, median %d, max %d\n", n[1], median, n[NR]
    printf "median overshoot: %d observations, %.2f bursts per simulator\n",
           median - 4802, (median - 4802) / (25 * report * k)
  }'
