// SshLauncher starts each simulator on a remote host with ssh:
//
//   <--ssh-command words> -tt -o BatchMode=yes -o ConnectTimeout=10
//       -o ServerAliveInterval=5 -o ServerAliveCountMax=3 <host>
//       "exec /bin/sh -c '<placement script>' <remote gpusim> <arguments>"
//
// The hosts come from --hosts h1,h2:4 (a host, optionally with the number of
// simulators it takes, 1 by default); simulator k goes to the k-th slot of
// that list, round again from the start when there are more simulators than
// slots. Options given in --ssh-command come first and win over the ones
// above (ssh keeps the first value of an option).
//
// -tt gives the remote simulator a terminal, so that it gets SIGHUP and ends
// when the ssh client ends or loses its connection; without a terminal, a
// killed client leaves its remote process running. The script turns the
// terminal's newline translation and echo off, so that the output reads as
// it would from a pipe. The keep-alive options make a client whose host has
// gone silent end within about 15 s, which the manager sees as the end of
// that simulator.
//
// The address the manager connects to is the host name ssh itself would use
// for that host after its configuration (`ssh -G host`, looked up once per
// host), so that host aliases work.
//
// Stopping: Terminate sends SIGTERM to the ssh client, Kill SIGKILL; either
// closes the connection, and the remote simulator gets SIGHUP. A handle
// destroyed while its client runs kills it.
//
// Ownership and threads: as for every Launcher (Launcher.h).
#ifndef MANAGER_SSH_LAUNCHER_H
#define MANAGER_SSH_LAUNCHER_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "manager/RemoteSimulator.h"

struct SshHost {
  std::string name;
  int slots = 1;
};

// Parses "h1,h2:4,...". False with error set on an empty list, an empty host
// name or a count that is not a whole number from 1 to 4096.
bool ParseSshHosts(const std::string& text, std::vector<SshHost>& hosts, std::string& error);
int TotalSlots(const std::vector<SshHost>& hosts);

class SshLauncher : public Launcher {
 public:
  // sshCommand: the words of --ssh-command ("ssh" by default). remoteGpusim:
  // the simulator's path on the hosts; empty: the local path.
  SshLauncher(std::vector<std::string> sshCommand, std::vector<SshHost> hosts, std::string remoteGpusim);

  std::unique_ptr<LaunchedSimulator> Start(const LaunchRequest& request, std::string& error) override;
  std::string Name() const override { return "ssh"; }

  // The host of simulator index (0-based).
  const std::string& HostFor(int index) const;
  // The remote command line for one simulator, as the remote shell gets it.
  static std::string RemoteCommand(const std::string& gpusim, const std::vector<std::string>& arguments);

  static constexpr double kCommandSeconds = 10.0;

 private:
  bool ConnectAddressOf(const std::string& host, std::string& address, std::string& error);

  std::vector<std::string> sshCommand_;
  std::vector<std::string> slots_;
  std::string remoteGpusim_;
  std::map<std::string, std::string> addresses_;
};

class SshSimulator : public RemoteSimulator {
 public:
  SshSimulator(std::unique_ptr<LaunchedSimulator> client, std::string host, std::string address);
  ~SshSimulator() override = default;

  std::string ConnectAddress() const override { return address_; }
  std::string Describe() const override;
  void Terminate() override { Client().Terminate(); }
  void Kill() override { Client().Kill(); }

 protected:
  void Placed(const std::vector<std::string>&) override {}

 private:
  std::string host_;
  std::string address_;
};

#endif
