#include "manager/SshLauncher.h"

#include <cstdlib>

#include "manager/ClientProcess.h"
#include "manager/CommandRunner.h"

namespace {
constexpr long kMostSlotsPerHost = 4096;
}

bool ParseSshHosts(const std::string& text, std::vector<SshHost>& hosts, std::string& error) {
  hosts.clear();
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = text.find(',', begin);
    const std::string item = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    SshHost host;
    const std::size_t colon = item.rfind(':');
    host.name = item.substr(0, colon);
    if (colon != std::string::npos) {
      const std::string count = item.substr(colon + 1);
      char* stop = nullptr;
      const long slots = std::strtol(count.c_str(), &stop, 10);
      if (count.empty() || *stop != '\0' || slots < 1 || slots > kMostSlotsPerHost) {
        error = "--hosts: '" + item + "' needs a number of simulators from 1 to " +
                std::to_string(kMostSlotsPerHost) + " after the ':'";
        return false;
      }
      host.slots = static_cast<int>(slots);
    }
    if (host.name.empty()) {
      error = "--hosts: empty host name in '" + text + "'";
      return false;
    }
    hosts.push_back(host);
    if (end == std::string::npos) return true;
    begin = end + 1;
  }
}

int TotalSlots(const std::vector<SshHost>& hosts) {
  int total = 0;
  for (const SshHost& host : hosts) total += host.slots;
  return total;
}

SshLauncher::SshLauncher(std::vector<std::string> sshCommand, std::vector<SshHost> hosts, std::string remoteGpusim)
    : sshCommand_(std::move(sshCommand)), remoteGpusim_(std::move(remoteGpusim)) {
  if (sshCommand_.empty()) sshCommand_.push_back("ssh");
  for (const SshHost& host : hosts) slots_.insert(slots_.end(), host.slots, host.name);
}

const std::string& SshLauncher::HostFor(int index) const { return slots_[index % slots_.size()]; }

std::string SshLauncher::RemoteCommand(const std::string& gpusim, const std::vector<std::string>& arguments) {
  const std::string script =
      "stty -onlcr -echo 2>/dev/null; " + RemoteSimulator::PlacementScript("$(hostname)");
  std::string command = "exec /bin/sh -c " + ShellQuote(script) + " " + ShellQuote(gpusim);
  for (const std::string& argument : arguments) command += " " + ShellQuote(argument);
  return command;
}

bool SshLauncher::ConnectAddressOf(const std::string& host, std::string& address, std::string& error) {
  auto known = addresses_.find(host);
  if (known != addresses_.end()) {
    address = known->second;
    return true;
  }
  std::vector<std::string> command(sshCommand_);
  command.insert(command.end(), {"-G", host});
  const CommandResult result = RunCommand(command, kCommandSeconds);
  if (!result.Succeeded()) {
    error = "cannot read ssh's configuration for host '" + host + "': " + result.Reason();
    return false;
  }
  address = host;
  const std::string key = "\nhostname ";
  const std::size_t at = result.output.find(key);
  if (at != std::string::npos) {
    const std::size_t begin = at + key.size();
    address = result.output.substr(begin, result.output.find_first_of("\r\n", begin) - begin);
  }
  addresses_[host] = address;
  return true;
}

std::unique_ptr<LaunchedSimulator> SshLauncher::Start(const LaunchRequest& request, std::string& error) {
  if (slots_.empty()) {
    error = "no hosts to start simulators on (--hosts)";
    return nullptr;
  }
  const std::string ssh = FindExecutable(sshCommand_.front());
  if (ssh.empty()) {
    error = "the ssh command '" + sshCommand_.front() + "' was not found";
    return nullptr;
  }
  const std::string& host = HostFor(request.index);
  std::string address;
  if (!ConnectAddressOf(host, address, error)) return nullptr;

  std::vector<std::string> arguments(sshCommand_.begin() + 1, sshCommand_.end());
  arguments.insert(arguments.end(), {"-tt", "-o", "BatchMode=yes", "-o", "ConnectTimeout=10", "-o",
                                     "ServerAliveInterval=5", "-o", "ServerAliveCountMax=3", host,
                                     RemoteCommand(remoteGpusim_.empty() ? request.executable : remoteGpusim_,
                                                   request.arguments)});
  std::unique_ptr<LaunchedSimulator> process = StartClientProcess(ssh, arguments, error);
  if (!process) return nullptr;
  return std::unique_ptr<LaunchedSimulator>(new SshSimulator(std::move(process), host, address));
}

SshSimulator::SshSimulator(std::unique_ptr<LaunchedSimulator> client, std::string host, std::string address)
    : RemoteSimulator(std::move(client)), host_(std::move(host)), address_(std::move(address)) {}

std::string SshSimulator::Describe() const {
  if (!IsPlaced()) return "ssh process " + std::to_string(ClientProcessId()) + " to " + host_;
  return "process " + std::to_string(ExpectedProcessId()) + " on " + host_;
}
