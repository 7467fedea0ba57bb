#include "protocol/SimulatorStream.h"

#include <algorithm>

#include "results/BigEndian.h"

SimulatorStream::SimulatorStream(std::size_t maxMessageSize) : maxMessageSize_(maxMessageSize) {}

namespace {

// Past this, a buffer left empty is given back: a connection between
// messages holds almost nothing, whatever the largest message it carried.
constexpr std::size_t kIdleCapacity = 16 * 1024;

}  // namespace

bool SimulatorStream::Feed(const unsigned char* bytes, std::size_t size, Handler& handler) {
  if (Failed()) return false;
  // Whole messages are handed over straight from the caller's bytes; only
  // the pieces of a message cut by the end of a read are copied.
  if (!buffer_.empty()) {
    const std::size_t taken = CompletePending(bytes, size, handler);
    if (Failed()) {
      ReleaseBuffer();
      return false;
    }
    if (!buffer_.empty()) return true;
    bytes += taken;
    size -= taken;
  }
  const std::size_t used = Consume(bytes, size, handler);
  if (Failed()) return false;
  buffer_.assign(bytes + used, bytes + size);
  if (buffer_.empty() && buffer_.capacity() > kIdleCapacity) ReleaseBuffer();
  return true;
}

std::size_t SimulatorStream::CompletePending(const unsigned char* bytes, std::size_t size, Handler& handler) {
  std::size_t taken = 0;
  auto take = [&](std::size_t wanted) {
    const std::size_t piece = std::min(wanted, size - taken);
    buffer_.insert(buffer_.end(), bytes + taken, bytes + taken + piece);
    taken += piece;
  };
  if (buffer_.size() < 4) take(4 - buffer_.size());
  if (buffer_.size() < 4) return taken;
  const std::size_t total = MessageSize(buffer_.data());
  if (total == 0) return taken;
  if (buffer_.size() < total) take(total - buffer_.size());
  if (buffer_.size() < total) return taken;
  Consume(buffer_.data(), total, handler);
  buffer_.clear();
  return taken;
}

void SimulatorStream::ReleaseBuffer() { std::vector<unsigned char>().swap(buffer_); }

std::size_t SimulatorStream::MessageSize(const unsigned char* message) {
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
    return 0;
  }
  if (total > maxMessageSize_) {
    Fail("a block of " + std::to_string(total) + " bytes is over the limit of " + std::to_string(maxMessageSize_));
    return 0;
  }
  return total;
}

std::size_t SimulatorStream::Consume(const unsigned char* bytes, std::size_t size, Handler& handler) {
  std::size_t at = 0;
  while (size - at >= 4) {
    const unsigned char* message = bytes + at;
    const std::size_t total = MessageSize(message);
    if (total == 0) return at;
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
