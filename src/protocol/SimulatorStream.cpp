#include "protocol/SimulatorStream.h"

#include "results/BigEndian.h"

SimulatorStream::SimulatorStream(std::size_t maxMessageSize) : maxMessageSize_(maxMessageSize) {}

bool SimulatorStream::Feed(const unsigned char* bytes, std::size_t size, Handler& handler) {
  if (Failed()) return false;
  // Whole messages are handed over straight from the caller's bytes; only
  // an incomplete one is copied.
  if (buffer_.empty()) {
    const std::size_t used = Consume(bytes, size, handler);
    if (Failed()) return false;
    buffer_.assign(bytes + used, bytes + size);
    return true;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  const std::size_t used = Consume(buffer_.data(), buffer_.size(), handler);
  if (Failed()) {
    buffer_.clear();
    return false;
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used));
  return true;
}

std::size_t SimulatorStream::Consume(const unsigned char* bytes, std::size_t size, Handler& handler) {
  std::size_t at = 0;
  while (size - at >= 4) {
    const unsigned char* message = bytes + at;
    const std::uint32_t length = BigEndian::GetU32(message);
    std::size_t total;
    if (length == protocol::kReplySize) {
      total = protocol::kReplySize;
    } else if (length == protocol::kCPUTimeLengthField) {
      total = protocol::kCPUTimeSize;
    } else if (length == protocol::kBlockHeaderSize ||
               length >= protocol::kBlockHeaderSize + protocol::kEntryHeaderSize + protocol::kValueSize) {
      total = length;
    } else {
      Fail("a message of length " + std::to_string(length) + " is neither a reply, a CPU-time message nor a block");
      return at;
    }
    if (total > maxMessageSize_) {
      Fail("a block of " + std::to_string(total) + " bytes is over the limit of " + std::to_string(maxMessageSize_));
      return at;
    }
    if (size - at < total) break;

    if (total == protocol::kReplySize) {
      protocol::Reply reply;
      if (!protocol::DecodeReply(message, reply)) {
        Fail("a reply has marker " + std::to_string(message[4]) + ", not 255 or 254");
        return at;
      }
      handler.OnReply(reply);
    } else if (total == protocol::kCPUTimeSize) {
      protocol::CPUTime cpuTime;
      if (!protocol::DecodeCPUTime(message, cpuTime)) {
        Fail("a CPU-time message has marker " + std::to_string(message[4]) + ", not 254");
        return at;
      }
      handler.OnCPUTime(cpuTime);
    } else {
      std::string error;
      if (!protocol::DecodeBlock(message, total, view_, error)) {
        Fail("malformed block: " + error);
        return at;
      }
      handler.OnBlock(message, total, view_);
    }
    at += total;
  }
  return at;
}

bool SimulatorStream::Fail(const std::string& error) {
  error_ = error;
  return false;
}
