#include "manager/DescriptorWatch.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

// poll() and epoll share the numbers of the events used here.
static_assert(POLLIN == EPOLLIN && POLLOUT == EPOLLOUT && POLLERR == EPOLLERR && POLLHUP == EPOLLHUP,
              "poll and epoll events differ");

namespace {

constexpr std::uint32_t kReported = EPOLLIN | EPOLLOUT | EPOLLERR | EPOLLHUP;

epoll_event EventFor(int descriptor, std::uint32_t generation, short events) {
  epoll_event event{};
  event.events = static_cast<std::uint32_t>(events) & (EPOLLIN | EPOLLOUT);
  event.data.u64 = (static_cast<std::uint64_t>(descriptor) << 32) | generation;
  return event;
}

}  // namespace

DescriptorWatch::DescriptorWatch() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}

DescriptorWatch::~DescriptorWatch() {
  if (epoll_ >= 0) ::close(epoll_);
}

int DescriptorWatch::Wait(std::vector<pollfd>& watched, const std::vector<std::uint64_t>& identities,
                          int timeoutMs) {
  ++round_;
  for (std::size_t i = 0; epoll_ >= 0 && i < watched.size(); ++i) {
    watched[i].revents = 0;
    if (Register(watched[i], identities[i], i)) continue;
    // Something epoll cannot watch (a regular file, say): poll from now on.
    ::close(epoll_);
    epoll_ = -1;
  }
  if (epoll_ < 0) return ::poll(watched.data(), watched.size(), timeoutMs);
  for (std::size_t i = 0; i < registered_.size();) {
    const int descriptor = registered_[i];
    if (byDescriptor_[std::size_t(descriptor)].round == round_) {
      ++i;
      continue;
    }
    Unregister(descriptor);
    registered_[i] = registered_.back();
    registered_.pop_back();
  }
  ready_.resize(registered_.empty() ? 1 : registered_.size());
  const int got = ::epoll_wait(epoll_, ready_.data(), int(ready_.size()), timeoutMs);
  if (got < 0) return -1;
  int readyEntries = 0;
  for (int i = 0; i < got; ++i) {
    const auto descriptor = static_cast<std::size_t>(ready_[std::size_t(i)].data.u64 >> 32);
    const auto generation = static_cast<std::uint32_t>(ready_[std::size_t(i)].data.u64);
    const Registered& r = byDescriptor_[descriptor];
    // An event of an earlier registration of the number (its description
    // still open in a child not yet started) is not this entry's.
    if (!r.watched || r.generation != generation) continue;
    watched[r.entry].revents = static_cast<short>(ready_[std::size_t(i)].events & kReported);
    ++readyEntries;
  }
  return readyEntries;
}

bool DescriptorWatch::Register(const pollfd& wanted, std::uint64_t identity, std::size_t entry) {
  const auto descriptor = static_cast<std::size_t>(wanted.fd);
  if (descriptor >= byDescriptor_.size()) byDescriptor_.resize(descriptor + 1);
  Registered& r = byDescriptor_[descriptor];
  r.entry = entry;
  r.round = round_;
  if (r.watched && r.identity == identity) {
    if (r.events == wanted.events) return true;
    epoll_event event = EventFor(wanted.fd, r.generation, wanted.events);
    if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, wanted.fd, &event) != 0) return false;
    r.events = wanted.events;
    return true;
  }
  if (r.watched) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, wanted.fd, nullptr);  // a number used again: it may be gone already
  } else {
    registered_.push_back(wanted.fd);
    r.watched = true;
  }
  r.identity = identity;
  r.events = wanted.events;
  r.generation = nextGeneration_++;
  epoll_event event = EventFor(wanted.fd, r.generation, wanted.events);
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, wanted.fd, &event) == 0) return true;
  return errno == EEXIST && ::epoll_ctl(epoll_, EPOLL_CTL_MOD, wanted.fd, &event) == 0;
}

void DescriptorWatch::Unregister(int descriptor) {
  // The descriptor may have been closed already, which unregistered it.
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, descriptor, nullptr);
  byDescriptor_[std::size_t(descriptor)].watched = false;
}
