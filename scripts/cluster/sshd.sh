#!/usr/bin/env bash
# Brings an sshd on 127.0.0.1 up or down, everything under one directory:
#
#   scripts/cluster/sshd.sh start DIR   # throwaway keys, config, sshd
#   scripts/cluster/sshd.sh stop DIR    # ends sshd by its pid file
#
# DIR holds a fresh host key and client key, the server's config, a client
# config (port, key, known hosts) and the log and pid file; nothing is written
# to the system's or the user's ssh configuration. The server listens on
# 127.0.0.1 only, on a free high port, and accepts only the client key, for the
# user who started it. `start` returns once the server answers and prints the
# command that reaches it (`ssh -F DIR/ssh_config`); status 1 with the log
# otherwise. Needs the packages openssh-server and openssh-client; as root it
# creates /run/sshd, which sshd requires.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

read_action_and_dir "$@"

write_keys() {
  rm -f "$dir/host_key" "$dir/host_key.pub" "$dir/client_key" "$dir/client_key.pub"
  ssh-keygen -q -t ed25519 -N '' -C gpusim-test-host -f "$dir/host_key"
  ssh-keygen -q -t ed25519 -N '' -C gpusim-test-client -f "$dir/client_key"
  cp "$dir/client_key.pub" "$dir/authorized_keys"
  chmod 600 "$dir/authorized_keys"
}

write_configs() {
  local port=$1 user
  user=$(id -un)
  # StrictModes off: the keys may live under a world-writable directory
  # such as /tmp, which sshd would otherwise refuse.
  cat >"$dir/sshd_config" <<CONF
ListenAddress 127.0.0.1
Port $port
HostKey $dir/host_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $dir/authorized_keys
AllowUsers $user
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PrintMotd no
PrintLastLog no
UseDNS no
X11Forwarding no
AllowTcpForwarding no
LogLevel INFO
CONF
  echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$dir/host_key.pub")" >"$dir/known_hosts"
  echo "[localhost]:$port $(cut -d' ' -f1,2 "$dir/host_key.pub")" >>"$dir/known_hosts"
  cat >"$dir/ssh_config" <<CONF
Host 127.0.0.1 localhost
  Port $port
  User $user
  IdentityFile $dir/client_key
  IdentitiesOnly yes
  UserKnownHostsFile $dir/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  BatchMode yes
  LogLevel ERROR
CONF
}

answers() { ssh -F "$dir/ssh_config" 127.0.0.1 true; }

start() {
  if pidfile_alive "$dir/sshd.pid"; then
    echo "an sshd is already running in $dir" >&2
    exit 1
  fi
  local port
  port=$(free_port)
  write_keys
  write_configs "$port"
  [ -d /run/sshd ] || mkdir -p -m 755 /run/sshd
  if ! /usr/sbin/sshd -f "$dir/sshd_config" -E "$dir/sshd.log"; then
    fail "sshd did not start"
  fi
  wait_until 10 answers || fail "sshd does not answer on 127.0.0.1:$port"
  echo "SSH_COMMAND=ssh -F $dir/ssh_config"
  echo "SSH_PORT=$port"
}

fail() {
  echo "sshd.sh: $1" >&2
  show_logs "$dir/sshd.log"
  stop_by_pidfiles "$dir/sshd.pid"
  exit 1
}

case $action in
  start) start ;;
  stop) stop_by_pidfiles "$dir/sshd.pid" ;;
  *) usage ;;
esac
