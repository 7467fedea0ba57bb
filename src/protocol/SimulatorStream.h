// SimulatorStream cuts the byte stream a simulator sends its manager into
// messages: the greeting and command replies, CPU-time messages and
// observation blocks, told apart by their length field (10, 12, and 9 or at
// least 24). Bytes may arrive in pieces of any size; each complete message
// is handed to the Handler as soon as its last byte has been fed.
//
// A malformed message (an impossible length, a wrong marker, a block whose
// entries do not add up) or one longer than the limit given at construction
// ends the stream: Feed returns false, Error() names the fault, and every
// later Feed does nothing. The stream holds at most one incomplete message
// (never more than the limit), and gives its buffer back once it is empty.
//
// Not thread-safe: one stream per connection, used by one thread.
#ifndef PROTOCOL_SIMULATOR_STREAM_H
#define PROTOCOL_SIMULATOR_STREAM_H

#include <cstddef>
#include <string>
#include <vector>

#include "protocol/WireFormat.h"

class SimulatorStream {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void OnReply(const protocol::Reply& reply) = 0;
    virtual void OnCPUTime(const protocol::CPUTime& message) = 0;
    // bytes and view are valid only during the call.
    virtual void OnBlock(const unsigned char* bytes, std::size_t size, const protocol::BlockView& view) = 0;
  };

  // REQUIRES: maxMessageSize >= 24.
  explicit SimulatorStream(std::size_t maxMessageSize);

  bool Feed(const unsigned char* bytes, std::size_t size, Handler& handler);

  bool Failed() const { return !error_.empty(); }
  const std::string& Error() const { return error_; }
  // Bytes of a message not yet complete.
  std::size_t Pending() const { return buffer_.size(); }

 private:
  // Hands over the complete messages at the front of bytes; returns how many
  // bytes they took, or stops with error_ set.
  std::size_t Consume(const unsigned char* bytes, std::size_t size, Handler& handler);
  // Adds to the incomplete message in buffer_ the bytes it still lacks, from
  // the front of bytes, and hands it over once whole; returns how many bytes
  // it took.
  std::size_t CompletePending(const unsigned char* bytes, std::size_t size, Handler& handler);
  // The whole size of the message whose first four bytes are given, or 0
  // with error_ set when its length field is impossible or over the limit.
  std::size_t MessageSize(const unsigned char* message);
  void ReleaseBuffer();
  bool Fail(const std::string& error);

  std::size_t maxMessageSize_;
  std::vector<unsigned char> buffer_;
  protocol::BlockView view_;
  std::string error_;
};

#endif
