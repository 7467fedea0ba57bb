// QuelixSocket is a TCP stream socket (IPv4) on the BSD socket interface.
// Every failure is reported by a message on the error stream, which also
// becomes the socket's error string, and by the operation's result; nothing
// throws.
//
// Ownership: the object owns its descriptor (-1 when it holds none) and closes
// it in Close and in the destructor. Accept hands a new descriptor to another
// QuelixSocket, which then owns it.
//
// Not thread-safe: a socket object belongs to one thread.
#ifndef QUELIX_SOCKET_H
#define QUELIX_SOCKET_H

#include <string>

// Prepares the platform's socket library once per process. This platform's
// sockets need no start-up, so it only records that it ran.
bool InitializeSocketLibrary();

class QuelixSocket {
 public:
  // With create, opens a new IPv4 stream socket; otherwise the object starts
  // without a descriptor (as the target of Accept).
  explicit QuelixSocket(bool create = true);
  ~QuelixSocket();
  QuelixSocket(const QuelixSocket&) = delete;
  QuelixSocket& operator=(const QuelixSocket&) = delete;

  // Binds to the port on the numeric IPv4 address, or on all local
  // addresses when address is empty. Address-in-use failures are silent, so
  // that a caller can move on to the next port.
  bool Bind(unsigned short port, const std::string& address = std::string());
  bool Listen(int backlog);
  // Accepts one connection; its descriptor (or -1) goes to target, whose
  // earlier descriptor, if any, is closed first.
  bool Accept(QuelixSocket* target);
  bool Connect(const char* hostName, unsigned short port);
  // Waits up to milliseconds (0 polls) for the socket to become readable.
  // A signal ends the wait early with false, so that callers can look at
  // what the signal asked for.
  bool Select(int milliseconds);
  // Waits up to milliseconds for room to send (or for a failure, which the
  // next send reports); false on time-out or a signal.
  bool WaitWritable(int milliseconds);

  // Sets the kernel's send buffer (SO_SNDBUF), which the system may round.
  bool SetSendBuffer(int bytes);
  // While corked, the pieces handed to Send are gathered into full segments
  // instead of going out one small segment each; uncorking sends the rest.
  // The bytes are the same either way: only the peer's wake-ups change.
  bool SetCorked(bool corked);

  // One send call; returns its result unchanged (below 1 means broken).
  int Send(const void* bytes, int length);
  // One send call that never blocks: -1 with errno EAGAIN or EWOULDBLOCK
  // when there is no room at all.
  int SendNow(const void* bytes, int length);
  // One receive call.
  int Recv(void* buffer, int length);
  // Reads until exactly length bytes have arrived, the peer closes or a read
  // fails; returns the number of bytes read.
  int RecvBlock(void* buffer, int length);
  // Reads until the received text ends with terminator or length bytes have
  // arrived; keeps the text NUL-terminated after every read.
  // REQUIRES: buffer holds length + 1 bytes.
  int RecvBlock(char* buffer, int length, const char* terminator);

  // The last failure's message, or nullptr when nothing has failed.
  const char* GetErrorString() const;
  // The errno of the last failed receive, 0 when none failed.
  int ErrorNumber() const { return errorNumber_; }
  void Close();

  int Descriptor() const { return descriptor_; }
  // The local port the socket is bound to, 0 when unknown.
  unsigned short LocalPort() const;

 private:
  void Fail(const std::string& message);

  int descriptor_ = -1;
  bool hasError_ = false;
  int errorNumber_ = 0;
  std::string errorString_;
};

#endif
