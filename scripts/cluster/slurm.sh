#!/usr/bin/env bash
# Brings a one-node Slurm cluster up or down, everything under one directory:
#
#   scripts/cluster/slurm.sh start DIR   # munge key, munged, slurmctld, slurmd
#   scripts/cluster/slurm.sh stop DIR    # cancels every job, ends each daemon
#
# DIR holds the generated slurm.conf, the munge key and socket, state, spool,
# logs and pid files; nothing outside it is written. Client commands (srun,
# sinfo, squeue, scancel) reach this cluster with SLURM_CONF=DIR/slurm.conf;
# `start` prints that line. `start` returns once sinfo shows the node idle
# (status 1 with the daemons' logs otherwise, and nothing left running);
# `stop` ends each daemon by the pid in its pid file. Needs root and the
# packages slurm-wlm and munge.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

read_action_and_dir "$@"
export SLURM_CONF=$dir/slurm.conf
node=$(hostname -s)

write_config() {
  local controller_port daemon_port
  controller_port=$(free_port)
  daemon_port=$(free_port)
  while [ "$daemon_port" = "$controller_port" ]; do daemon_port=$(free_port); done
  # Process tracking by the process tree and no task plugin: no cgroups
  # needed. The scheduler parameters make a step start as soon as it is asked
  # for instead of on the next scheduling pass.
  cat >"$SLURM_CONF" <<CONF
ClusterName=gpusim
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$controller_port
SlurmdPort=$daemon_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerParameters=bf_interval=1,sched_min_interval=0,batch_sched_delay=0
ReturnToService=2
KillWait=5
InactiveLimit=0
NodeName=$node NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
}

node_idle() { sinfo -h -n "$node" -o %T 2>/dev/null | grep -qx idle; }

# True once the node is idle or a daemon has died (a port taken meanwhile).
settled() {
  node_idle && return 0
  local daemon
  for daemon in slurmctld slurmd; do
    [ -s "$dir/run/$daemon.pid" ] || continue  # not written yet
    process_alive "$(cat "$dir/run/$daemon.pid")" || return 0
  done
  return 1
}

start() {
  if pidfile_alive "$dir/run/slurmctld.pid"; then
    echo "a cluster is already running in $dir" >&2
    exit 1
  fi
  mkdir -p "$dir/munge" "$dir/state" "$dir/spool" "$dir/log" "$dir/run"
  chmod 755 "$dir/munge"
  mungekey --create --force --keyfile="$dir/munge/munge.key"
  chmod 400 "$dir/munge/munge.key"
  if ! munged --force --socket="$dir/munge/munge.socket" --key-file="$dir/munge/munge.key" \
       --pid-file="$dir/run/munged.pid" --log-file="$dir/log/munged.log" \
       --seed-file="$dir/munge/munged.seed"; then
    fail "munged did not start"
  fi
  # A port taken between choosing it and binding it: try fresh ports.
  local attempt
  for attempt in 1 2 3; do
    write_config
    slurmctld -f "$SLURM_CONF" || fail "slurmctld did not start"
    slurmd -f "$SLURM_CONF" -N "$node" || fail "slurmd did not start"
    wait_until 30 settled || fail "the node did not become idle within 30 s"
    node_idle && break
    [ "$attempt" -eq 3 ] && fail "a daemon ended during start-up"
    stop_by_pidfiles "$dir/run/slurmd.pid" "$dir/run/slurmctld.pid"
    rm -rf "$dir/state" "$dir/spool" && mkdir -p "$dir/state" "$dir/spool"
  done
  echo "SLURM_CONF=$SLURM_CONF"
}

fail() {
  echo "slurm.sh: $1" >&2
  show_logs "$dir/log/munged.log" "$dir/log/slurmctld.log" "$dir/log/slurmd.log"
  stop_daemons
  exit 1
}

# Cancels what is still queued or running so that no step outlives the
# cluster, then waits (bounded) for the steps' processes to go.
cancel_jobs() {
  pidfile_alive "$dir/run/slurmctld.pid" || return 0
  scancel --full --quiet --partition=debug 2>/dev/null || true
  wait_until 10 queue_empty || echo "slurm.sh: jobs still listed after 10 s" >&2
}

queue_empty() { [ -z "$(squeue -h -o %i 2>/dev/null)" ]; }

stop_daemons() {
  stop_by_pidfiles "$dir/run/slurmd.pid" "$dir/run/slurmctld.pid"
  # munged last: the Slurm daemons authenticate through it while they stop.
  stop_by_pidfiles "$dir/run/munged.pid"
}

case $action in
  start) start ;;
  stop) cancel_jobs; stop_daemons ;;
  *) usage ;;
esac
