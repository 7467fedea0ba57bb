# Helpers shared by the cluster scripts; sourced, not run.

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }

# Reads the command line every cluster script takes, `start|stop DIR`: sets
# action, and dir to DIR made absolute (created if missing). Exits 2 with the
# usage on a wrong number of arguments; the caller judges the action.
read_action_and_dir() {
  [ $# -eq 2 ] || usage
  action=$1
  mkdir -p "$2"
  dir=$(cd "$2" && pwd)
}

# Prints a TCP port in 20000-32767 that nothing on this machine listens on,
# below the range the system hands out for outgoing connections. Another
# process may still take it before the daemon binds; the daemon then fails
# to start and says so in its log.
free_port() {
  local port tries
  for tries in $(seq 1 200); do
    port=$((20000 + RANDOM % 12768))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  echo "no free TCP port found" >&2
  return 1
}

# wait_until SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds
# or SECONDS have passed (then status 1).
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  while ! "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

process_alive() { kill -0 "$1" 2>/dev/null; }
process_gone() { ! kill -0 "$1" 2>/dev/null; }
# True when PIDFILE names a process that is running.
pidfile_alive() { [ -s "$1" ] && process_alive "$(cat "$1")"; }

# Ends the processes whose ids are in the PIDFILEs: SIGTERM to all of them at
# once (daemons take a second or two each to shut down), then SIGKILL to any
# still there after 5 s. A missing pid file or a process already gone is fine.
stop_by_pidfiles() {
  local pidfile pid pids=()
  for pidfile in "$@"; do
    [ -s "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    rm -f "$pidfile"
    case $pid in '' | *[!0-9]*) continue ;; esac
    kill -TERM "$pid" 2>/dev/null && pids+=("$pid")
  done
  for pid in "${pids[@]}"; do
    wait_until 5 process_gone "$pid" && continue
    kill -KILL "$pid" 2>/dev/null || true
    wait_until 2 process_gone "$pid" || echo "process $pid did not end" >&2
  done
}

# Shows the end of each named log on the error stream, for a failed start.
show_logs() {
  local log
  for log in "$@"; do
    [ -f "$log" ] || continue
    echo "--- last lines of $log ---" >&2
    tail -n 20 "$log" >&2
  done
}
