#!/usr/bin/env bash
# The cost of a firing against the size of the model: N independent M/M/1
# queues (arrivals at rate 0.5, service at rate 1), a join of N instances of
# one queue san written in the modelling language, run interpreted, for
# N = 10, 100, 1000, 10000. Every queue fires about once per time unit.
# Two figures per N, as they answer different questions:
#  - short: REPLICATIONS replications of horizon 20000/N, about 20000
#    firings each whatever N. At N = 10000 that is 1.5 firings per queue, so
#    the per-replication start-up (every arrival drawn and inserted into the
#    event list) is a large part of it: the cost of many short replications.
#  - long: one replication of horizon 2000000/N, about 2 M firings: the
#    steady cost of a firing, start-up negligible.
# The time per firing is the simulation's own processor time (the run's
# "CPU time", which leaves out reading, checking and building the model)
# over its firings, the best of three runs; memory is the long run's peak
# resident size.
# usage: model-size.sh BUILD_DIR [REPLICATIONS]
set -eu
B=${1:?usage: model-size.sh BUILD_DIR [REPLICATIONS]}
R=${2:-100}
G="$B/gpusim"
T=$(mktemp -d); trap 'rm -rf "$T"' EXIT
model() {  # model N HORIZON > file
  local n=$1 h=$2 i
  cat <<SAN
san QUEUE {
  place Q;
  activity ARRIVE { timed exponential(0.5); fire { Q++; } }
  activity SERVE { timed exponential(1.0); enabled Q > 0; fire { Q--; } }
}
SAN
  echo "join QUEUES {"
  for ((i = 0; i < n; i++)); do echo "  submodel q$i = QUEUE;"; done
  echo "}"
  echo "reward arrivals { interval [0, $h]; impulse q0.ARRIVE = 1; }"
}
# best_ns N HORIZON REPLICATIONS: prints the best ns per firing of three
# runs; leaves the firings per replication in $T/fired and the peak RSS (kB)
# in $T/rss.
best_ns() {
  local n=$1 h=$2 r=$3 best="" k fired cpu ns
  model "$n" "$h" > "$T/m.san"
  for k in 1 2 3; do
    /usr/bin/time -o "$T/rss" -f "%M" "$G" --model "$T/m.san" -N "$r" >"$T/out" 2>/dev/null
    fired=$(sed -n 's/^Actions fired: //p' "$T/out")
    cpu=$(sed -n 's/^CPU time (s): //p' "$T/out")
    ns=$(python3 -c "print($cpu / $fired * 1e9)")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $ns < $best else 1)"; then best=$ns; fi
  done
  python3 -c "print(round($fired / $r))" > "$T/fired"
  echo "$best"
}
printf "%8s %12s %12s %11s %11s %13s\n" N "places+acts" "firings/rep" "short ns" "long ns" "peak RSS kB"
for n in 10 100 1000 10000; do
  short=$(best_ns "$n" "$(python3 -c "print(20000 / $n)")" "$R")
  fired=$(cat "$T/fired")
  long=$(best_ns "$n" "$(python3 -c "print(2000000 / $n)")" 1)
  python3 -c "print('%8d %12d %12s %11.1f %11.1f %13s' % ($n, 3 * $n, '$fired', $short, $long, '$(cat "$T/rss")'))"
done
