// A minimal simulation manager for tests, written from the bytes of the
// protocol (plain POSIX sockets, big-endian decoding of its own) so that it
// checks the simulator rather than mirroring it.
#ifndef TESTS_OUTPUT_MANAGER_CLIENT_H
#define TESTS_OUTPUT_MANAGER_CLIENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace manager {

inline std::uint32_t U32(const std::string& b, std::size_t at) {
  return (std::uint32_t(std::uint8_t(b[at])) << 24) | (std::uint32_t(std::uint8_t(b[at + 1])) << 16) |
         (std::uint32_t(std::uint8_t(b[at + 2])) << 8) | std::uint32_t(std::uint8_t(b[at + 3]));
}
inline std::uint16_t U16(const std::string& b, std::size_t at) {
  return std::uint16_t((std::uint8_t(b[at]) << 8) | std::uint8_t(b[at + 1]));
}
inline double Double(const std::string& b, std::size_t at) {
  const std::uint64_t bits = (std::uint64_t(U32(b, at)) << 32) | U32(b, at + 4);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

struct Reply {
  std::uint32_t length = 0;
  int marker = -1;
  int code = -1;
  std::uint32_t processId = 0;
};

struct CPUTime {
  std::uint32_t length = 0;
  int marker = -1;
  int client = -1;
  int experiment = -1;
  double seconds = -1.0;
};

struct Entry {
  int pv;
  int kind;
  std::int32_t count;
  std::vector<double> values;
};

struct Block {
  std::string bytes;  // the whole block, length field included
  int client = -1;
  int experiment = -1;
  std::vector<Entry> entries;
};

class Client {
 public:
  Client() = default;
  explicit Client(int descriptor) : fd_(descriptor) {}
  ~Client() { Close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // receiveBuffer > 0 shrinks the receive buffer, so that a manager that
  // stops reading holds up the sender sooner.
  bool Connect(unsigned short port, const char* host = "127.0.0.1", int receiveBuffer = 0) {
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host, &address.sin_addr) != 1) return false;
    return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }
  int Descriptor() const { return fd_; }

  bool Send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  // Reads exactly n bytes, waiting at most timeoutMs for each arrival.
  // Returns fewer when the simulator closes the connection or goes quiet.
  std::string Read(std::size_t n, int timeoutMs = 10000) {
    std::string out;
    while (out.size() < n) {
      pollfd watched{fd_, POLLIN, 0};
      if (::poll(&watched, 1, timeoutMs) <= 0) break;
      char chunk[65536];
      const std::size_t want = std::min(sizeof chunk, n - out.size());
      const ssize_t got = ::recv(fd_, chunk, want, 0);
      if (got <= 0) break;
      out.append(chunk, static_cast<std::size_t>(got));
    }
    return out;
  }

  // True when the simulator has closed its side (nothing more will come).
  bool AtEnd(int timeoutMs = 10000) {
    pollfd watched{fd_, POLLIN, 0};
    if (::poll(&watched, 1, timeoutMs) <= 0) return false;
    char byte;
    return ::recv(fd_, &byte, 1, 0) <= 0;
  }

  bool ReadReply(Reply& reply) {
    const std::string b = Read(10);
    if (b.size() != 10) return false;
    reply = {U32(b, 0), std::uint8_t(b[4]), std::uint8_t(b[5]), U32(b, 6)};
    return true;
  }

  bool ReadCPUTime(CPUTime& message) {
    const std::string b = Read(16);
    if (b.size() != 16) return false;
    message = {U32(b, 0), std::uint8_t(b[4]), std::uint8_t(b[5]), U16(b, 6), Double(b, 8)};
    return true;
  }

  bool ReadBlock(Block& block) {
    block = Block();
    block.bytes = Read(4);
    if (block.bytes.size() != 4) return false;
    const std::uint32_t length = U32(block.bytes, 0);
    if (length < 9) return false;
    block.bytes += Read(length - 4);
    if (block.bytes.size() != length) return false;
    return ParseBlock(block);
  }

  static bool ParseBlock(Block& block) {
    const std::string& b = block.bytes;
    block.client = std::uint8_t(b[4]);
    block.experiment = U16(b, 5);
    const int entries = U16(b, 7);
    std::size_t at = 9;
    for (int e = 0; e < entries; ++e) {
      if (at + 7 > b.size()) return false;
      Entry entry{U16(b, at), std::uint8_t(b[at + 2]), std::int32_t(U32(b, at + 3)), {}};
      at += 7;
      if (entry.count < 0 || at + 8 * std::size_t(entry.count) > b.size()) return false;
      for (int j = 0; j < entry.count; ++j, at += 8) entry.values.push_back(Double(b, at));
      block.entries.push_back(entry);
    }
    return at == b.size();
  }

 private:
  int fd_ = -1;
};

}  // namespace manager

#endif
