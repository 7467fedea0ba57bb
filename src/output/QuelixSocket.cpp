#include "output/QuelixSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

bool alreadyInitialized = false;

// A peer that has gone away must not kill the process with SIGPIPE: the send
// fails with EPIPE instead and the caller stops the run.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool EndsWith(const char* text, int length, const char* suffix, int suffixLength) {
  return length >= suffixLength &&
         std::memcmp(text + length - suffixLength, suffix, suffixLength) == 0;
}

}  // namespace

bool InitializeSocketLibrary() {
  if (alreadyInitialized) return true;
  alreadyInitialized = true;
  return true;
}

QuelixSocket::QuelixSocket(bool create) {
  InitializeSocketLibrary();
  if (!create) return;
  descriptor_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor_ < 0) Fail("error in socket creation");
}

QuelixSocket::~QuelixSocket() { Close(); }

void QuelixSocket::Fail(const std::string& message) {
  hasError_ = true;
  errorString_ = message;
  std::cerr << message << std::endl;
}

bool QuelixSocket::Bind(unsigned short port, const std::string& host) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (!host.empty() && ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    Fail("error in bind: '" + host + "' is not a numeric IPv4 address");
    return false;
  }
  if (::bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
  const int error = errno;
  if (error == EADDRINUSE || error == 98 || error == 48) return false;
  Fail("error in bind.  errno=" + std::to_string(error) + " (Port=" + std::to_string(port) + ")");
  return false;
}

bool QuelixSocket::Listen(int backlog) {
  if (::listen(descriptor_, backlog) == 0) return true;
  Fail("error in listen" + std::to_string(errno));
  return false;
}

bool QuelixSocket::Accept(QuelixSocket* target) {
  int accepted;
  do {
    accepted = ::accept4(descriptor_, nullptr, nullptr, SOCK_CLOEXEC);
  } while (accepted < 0 && errno == EINTR);
  target->Close();
  target->descriptor_ = accepted;
  if (accepted >= 0) return true;
  Fail("error in accept: ");
  return false;
}

bool QuelixSocket::Connect(const char* hostName, unsigned short port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (hostName == nullptr || ::getaddrinfo(hostName, nullptr, &hints, &found) != 0 || found == nullptr) {
    Fail("error in connect: errno=" + std::to_string(errno));
    return false;
  }
  sockaddr_in address = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
  ::freeaddrinfo(found);
  address.sin_port = htons(port);
  if (::connect(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
  Fail("error in connect: errno=" + std::to_string(errno));
  return false;
}

// poll() rather than select(): same waiting behaviour, and no limit on the
// descriptor's value. A negative wait is taken as a poll.
bool QuelixSocket::Select(int milliseconds) {
  if (descriptor_ < 0) {
    Fail("error in select" + std::to_string(EBADF));
    return false;
  }
  pollfd watched{descriptor_, POLLIN, 0};
  const int ready = ::poll(&watched, 1, milliseconds < 0 ? 0 : milliseconds);
  if (ready < 0 && errno == EINTR) return false;
  if (ready < 0) {
    Fail("error in select" + std::to_string(errno));
    return false;
  }
  if (ready > 0 && (watched.revents & POLLNVAL) != 0) {
    Fail("error in select" + std::to_string(EBADF));
    return false;
  }
  // A closed or failed connection counts as readable: the next read tells.
  return ready > 0;
}

int QuelixSocket::Send(const void* bytes, int length) {
  int sent;
  do {
    sent = static_cast<int>(::send(descriptor_, bytes, static_cast<size_t>(length), kSendFlags));
  } while (sent < 0 && errno == EINTR);
  return sent;
}

bool QuelixSocket::WaitWritable(int milliseconds) {
  if (descriptor_ < 0) return true;  // the send reports the failure
  pollfd watched{descriptor_, POLLOUT, 0};
  return ::poll(&watched, 1, milliseconds < 0 ? 0 : milliseconds) > 0;
}

bool QuelixSocket::SetSendBuffer(int bytes) {
  return ::setsockopt(descriptor_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0;
}

bool QuelixSocket::SetCorked(bool corked) {
  const int value = corked ? 1 : 0;
  return ::setsockopt(descriptor_, IPPROTO_TCP, TCP_CORK, &value, sizeof value) == 0;
}

int QuelixSocket::SendNow(const void* bytes, int length) {
  int sent;
  do {
    sent = static_cast<int>(::send(descriptor_, bytes, static_cast<size_t>(length), kSendFlags | MSG_DONTWAIT));
  } while (sent < 0 && errno == EINTR);
  return sent;
}

int QuelixSocket::Recv(void* buffer, int length) {
  int received;
  do {
    received = static_cast<int>(::recv(descriptor_, buffer, static_cast<size_t>(length), 0));
  } while (received < 0 && errno == EINTR);
  // A failed read is recorded so that callers can tell it from a peer that
  // closed the connection, which reads 0 bytes without an error.
  if (received < 0) {
    errorNumber_ = errno;
    Fail("error in recv.  errno=" + std::to_string(errorNumber_));
  }
  return received;
}

int QuelixSocket::RecvBlock(void* buffer, int length) {
  char* bytes = static_cast<char*>(buffer);
  int total = 0;
  while (total < length) {
    const int received = Recv(bytes + total, length - total);
    if (received <= 0) break;
    total += received;
  }
  return total;
}

// Reads one byte at a time so that nothing after the terminator is consumed
// and a terminator in the middle of a segment is still seen.
int QuelixSocket::RecvBlock(char* buffer, int length, const char* terminator) {
  const int terminatorLength = static_cast<int>(std::strlen(terminator));
  int total = 0;
  if (length >= 0) buffer[0] = '\0';
  while (total < length) {
    if (Recv(buffer + total, 1) <= 0) break;
    ++total;
    buffer[total] = '\0';
    if (terminatorLength > 0 && EndsWith(buffer, total, terminator, terminatorLength)) break;
  }
  return total;
}

const char* QuelixSocket::GetErrorString() const { return hasError_ ? errorString_.c_str() : nullptr; }

void QuelixSocket::Close() {
  if (descriptor_ < 0) return;
  // A socket that never connected (a listener) has nothing to shut down.
  if (::shutdown(descriptor_, SHUT_RDWR) != 0 && errno != ENOTCONN) {
    Fail("error in shutdown.  errno=" + std::to_string(errno));
  }
  ::close(descriptor_);
  descriptor_ = -1;
}

unsigned short QuelixSocket::LocalPort() const {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (descriptor_ < 0 || ::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  return ntohs(address.sin_port);
}
