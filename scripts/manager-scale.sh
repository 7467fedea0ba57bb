#!/usr/bin/env bash
# The manager's cost at scale: gpusim-manager runs K fast-simulator
# processes (stand-ins that send valid blocks as fast as the manager reads
# them) for K = 1, 8, 64, 512 and report sizes 100 and 1000, without and with
# --binary (and with --results-folder when FOLDER=yes), each study VALUES
# values in all (six variables per replication).
#
# Reported per study: the manager's processor time (user + system) per value
# ingested, which is the processor time of the manager and all its children
# (wait4) less its children's (the --json summary's simulators_cpu_seconds,
# taken once every simulator has been reaped), so it includes the writing of
# the merged file; the peak resident size (the largest of the manager and its
# simulators: a simulator holds about 2 MB); wall time. With --binary the merged file is checked byte for byte: after its
# header it must hold, simulator after simulator, exactly the blocks each
# stand-in sends, which `fast-simulator --emit` writes again from the same
# arguments. With --results-folder every simulator's file is checked the same
# way (its blocks after its own header), and the merged file that
# `gpusim-report --merge` makes of the folder against --binary's of the same
# K and size (run just before it).
#
# usage: manager-scale.sh BUILD_DIR [VALUES] [K...]
#   VALUES defaults to 48000000; K to 1 8 64 512. SIZES="100 1000" and
#   BINARY="no yes" choose the rest; FOLDER=yes adds --results-folder runs;
#   MANAGER=PATH runs another gpusim-manager (a copy of an earlier build);
#   INGEST=N passes --ingest-threads N;
#   DISK=yes samples the peak disk use (reported as a multiple of the
#   merged file's size); FAST_SIMULATOR_RATE=V paces every stand-in at V
#   values per second (a real simulator of the GPU model sends about 5 M).
set -eu
B=${1:?usage: manager-scale.sh BUILD_DIR [VALUES] [K...]}
VALUES=${2:-48000000}
shift $(($# > 1 ? 2 : 1))
KS=${*:-1 8 64 512}
SIZES=${SIZES:-100 1000}
BINARY=${BINARY:-no yes}
[ "${FOLDER:-no}" = yes ] && BINARY="$BINARY folder"
M=${MANAGER:-$B/gpusim-manager}
F="$B/fast-simulator"
T=$(mktemp -d "${TMPDIR:-/tmp}/manager-scale.XXXXXX"); trap 'rm -rf "$T"' EXIT
R=$((VALUES / 6))

# measure FILE COMMAND...: runs COMMAND and writes to FILE its processor
# seconds with those of its children, its peak resident kB (through
# /usr/bin/time: a forked python's own size would count), its wall time and
# the peak disk space its files held (sampled every 5 ms over the open
# regular files of the command and its descendants, unnamed ones included,
# each counted once by its allocated blocks; 0 unless DISK=yes).
measure() {
  python3 - "$@" <<'PY'
import os, sys, time
start = time.monotonic()
pid = os.fork()
if pid == 0:
    os.execv("/usr/bin/time", ["time", "-o", sys.argv[1] + ".rss", "-f", "%M"] + sys.argv[2:])

def tree(root):
    found, todo = [], [root]
    while todo:
        p = todo.pop()
        found.append(p)
        try:
            for t in os.listdir("/proc/%d/task" % p):
                todo += [int(c) for c in open("/proc/%d/task/%s/children" % (p, t)).read().split()]
        except OSError:
            pass
    return found

def disk(root):
    files = {}
    for p in tree(root):
        try:
            fds = os.listdir("/proc/%d/fd" % p)
        except OSError:
            continue
        for fd in fds:
            try:
                st = os.stat("/proc/%d/fd/%s" % (p, fd))
            except OSError:
                continue
            if (st.st_mode & 0o170000) == 0o100000:
                files[(st.st_dev, st.st_ino)] = st.st_blocks * 512
    return sum(files.values())

peak = 0
while True:
    done, status, usage = os.wait4(pid, os.WNOHANG)
    if done:
        break
    if os.environ.get("DISK") == "yes":
        peak = max(peak, disk(pid))
    time.sleep(0.005)
with open(sys.argv[1], "w") as out:
    rss = open(sys.argv[1] + ".rss").read().split()[-1]
    print(usage.ru_utime + usage.ru_stime, rss, "%.2f" % (time.monotonic() - start), peak, file=out)
sys.exit(os.waitstatus_to_exitcode(status))
PY
}
# expected K N SIZE JSON > file: the blocks every simulator sent, in order.
expected() {
  local k=$1 n=$2 size=$3 json=$4 i
  python3 -c 'import json,sys; [print(s["seed"]) for s in json.load(open(sys.argv[1]))["simulators"]]' "$json" |
    { i=0; while read -r seed; do
        "$F" --emit -s "$seed" -n "$size" -N $((n / k + (i < n % k ? 1 : 0)))
        i=$((i + 1))
      done; }
}

# check_folder K N SIZE JSON: every simulator's file against what it sent,
# then the merged file made of the folder against --binary's.
check_folder() {
  local k=$1 n=$2 size=$3 json=$4 i=0 seed
  for seed in $(python3 -c 'import json,sys; [print(s["seed"]) for s in json.load(open(sys.argv[1]))["simulators"]]' "$json"); do
    "$F" --emit -s "$seed" -n "$size" -N $((n / k + (i < n % k ? 1 : 0))) >"$T/expected.bin"
    if ! tail -c +257 "$T/folder/simulator-$i.bin" | cmp -s - "$T/expected.bin"; then
      echo "DIFFERS (simulator $i)"
      return
    fi
    i=$((i + 1))
  done
  rm -f "$T/expected.bin"
  "$B/gpusim-report" --merge "$T/folder" "$T/remade.bin" || { echo "MERGE FAILED"; return; }
  if [ ! -f "$T/binary.bin" ]; then
    echo "$i files identical to what was sent"
  elif cmp -s "$T/remade.bin" "$T/binary.bin"; then
    echo "$i files identical to what was sent; merged: identical to --binary's"
  else
    echo "DIFFERS (merged from the folder)"
  fi
}

failed=0
printf "| %4s | %6s | %8s | %12s | %10s | %8s | %12s | %s\n" K "report" "output" "manager ns/value" "peak RSS MB" "wall s" "peak disk / result" "check"
printf "| ---: | ---: | :---: | ---: | ---: | ---: | ---: | --- |\n"
for size in $SIZES; do
  for k in $KS; do
    for binary in $BINARY; do
      extra=()
      [ "$binary" = yes ] && extra=(--binary "$T/merged.bin" --force)
      [ "$binary" = folder ] && extra=(--results-folder "$T/folder")
      [ -n "${INGEST:-}" ] && extra+=(--ingest-threads "$INGEST")
      if ! measure "$T/time" "$M" --quiet --json --simulators "$k" --replications "$R" --report-size "$size" \
        --gpusim "$F" "${extra[@]}" >"$T/summary.json" 2>"$T/err"; then
        printf "| %4s | %6s | %8s | FAILED: %s\n" "$k" "$size" "$binary" "$(head -c 300 "$T/err" | tr '\n' ' ')"
        failed=1
        rm -rf "$T/merged.bin" "$T/merged.bin.meta" "$T/folder"
        continue
      fi
      read -r cpu rss wall disk <"$T/time"
      ratio="-"
      if [ "$binary" = yes ] && [ "$disk" -gt 0 ]; then
        ratio=$(python3 -c "print('%.3f' % ($disk / $(stat -c %s "$T/merged.bin")))")
      fi
      if [ "$binary" = folder ] && [ "$disk" -gt 0 ]; then
        ratio=$(python3 -c "print('%.3f' % ($disk / $(cat "$T"/folder/simulator-*.bin | wc -c)))")
      fi
      children=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["simulators_cpu_seconds"])' "$T/summary.json")
      ns=$(python3 -c "print('%.2f' % (($cpu - $children) / $R / 6 * 1e9))")
      check="-"
      if [ "$binary" = yes ]; then
        expected "$k" "$R" "$size" "$T/summary.json" >"$T/expected.bin"
        want=$(stat -c %s "$T/expected.bin")
        have=$(stat -c %s "$T/merged.bin")
        if [ "$have" -gt "$want" ] && tail -c "$want" "$T/merged.bin" | cmp -s - "$T/expected.bin"; then
          check="identical ($want bytes of blocks after a $((have - want))-byte header)"
        else
          check="DIFFERS"
        fi
        # Kept for the folder's run of the same K and size.
        mv "$T/merged.bin" "$T/binary.bin"
        rm -f "$T/merged.bin.meta" "$T/expected.bin"
      fi
      if [ "$binary" = folder ]; then
        check=$(check_folder "$k" "$R" "$size" "$T/summary.json")
        rm -rf "$T/folder" "$T/remade.bin" "$T/remade.bin.meta" "$T/binary.bin"
      fi
      printf "| %4s | %6s | %8s | %12s | %10s | %8s | %12s | %s\n" "$k" "$size" "$binary" "$ns" "$((rss / 1024))" "$wall" "$ratio" "$check"
      case $check in DIFFERS* | MERGE*) failed=1 ;; esac
    done
  done
done
exit $failed
