// The socket side shared by the stand-in simulators (hostile-simulator for
// the manager's fault tests, fast-simulator for its scale benchmark): a
// loopback listener announced the way gpusim announces its port, and a send
// that finishes or fails. Header-only: each stand-in is one source file.
//
// Not part of the product. Single-threaded.
#ifndef FAKES_STAND_IN_PEER_H
#define FAKES_STAND_IN_PEER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace stand_in {

// Sends all of bytes; false once the peer is gone (no SIGPIPE).
inline bool SendAll(int socket, const void* bytes, std::size_t size) {
  const char* at = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t put = ::send(socket, at, size, MSG_NOSIGNAL);
    if (put <= 0) return false;
    at += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

// A listener on a free loopback port, announced on standard output with the
// REGISTER line the manager reads; the process ends (status 1, naming
// program and the error) when it cannot listen.
inline int ListenAndRegister(const char* program) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
    std::fprintf(stderr, "%s: listen: %s\n", program, std::strerror(errno));
    std::exit(1);
  }
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::printf("REGISTER:  Port: [%d]\n", ntohs(address.sin_port));
  std::fflush(stdout);
  return listener;
}

}  // namespace stand_in

#endif
