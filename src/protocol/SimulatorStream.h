// SimulatorStream cuts the byte stream a simulator sends its manager into
// messages: the greeting and command replies, CPU-time messages and
// observation blocks, told apart by their length field (10, 12, and 9 or at
// least 24). Bytes may arrive in pieces of any size; each complete message
// is handed to the Handler as soon as its last byte has been fed.
//
// A malformed message (an impossible length, a wrong marker, a block whose
// entries do not add up) or one longer than the limit given at construction
// ends the stream: Feed returns false, Error() names the fault, and every
// later Feed does nothing. The stream never holds more than the limit plus
// the piece being fed.
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
  bool Fail(const std::string& error);

  std::size_t maxMessageSize_;
  std::vector<unsigned char> buffer_;
  protocol::BlockView view_;
  std::string error_;
};

#endif
