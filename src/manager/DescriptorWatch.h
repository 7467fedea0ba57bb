// DescriptorWatch waits for a set of descriptors as poll() does, at a cost
// per wait that grows with the descriptors that are ready rather than with
// those watched, so that a manager of hundreds of connections does not pay
// for all of them at every wake-up.
//
// Contract: each Wait is given the whole set to watch, as poll() would be
// (descriptor, events POLLIN and/or POLLOUT), with an identity per entry; it
// fills each entry's revents as poll() does and returns the number of ready
// entries, 0 on timeout, or -1 with errno set. Between two waits only the
// entries that changed cost a system call. An identity names one open
// descriptor for its whole life: a descriptor closed and opened again (even
// with the same number) must come with a new identity. Entries left out of a
// Wait are no longer watched. Where the kernel offers no epoll, it is poll().
//
// Owns its epoll descriptor. Not thread-safe: one thread waits.
#ifndef MANAGER_DESCRIPTOR_WATCH_H
#define MANAGER_DESCRIPTOR_WATCH_H

#include <poll.h>
#include <sys/epoll.h>

#include <cstdint>
#include <vector>

class DescriptorWatch {
 public:
  DescriptorWatch();
  ~DescriptorWatch();
  DescriptorWatch(const DescriptorWatch&) = delete;
  DescriptorWatch& operator=(const DescriptorWatch&) = delete;

  // `identities[i]` names `watched[i]`; the two have the same size.
  int Wait(std::vector<pollfd>& watched, const std::vector<std::uint64_t>& identities, int timeoutMs);

 private:
  struct Registered {
    bool watched = false;
    std::uint64_t identity = 0;
    short events = 0;
    std::uint32_t generation = 0;  // told apart from an earlier registration of the number
    std::size_t entry = 0;         // its place in this wait's set
    std::uint64_t round = 0;       // the last wait that asked for it
  };

  bool Register(const pollfd& wanted, std::uint64_t identity, std::size_t entry);
  void Unregister(int descriptor);

  int epoll_ = -1;
  std::vector<Registered> byDescriptor_;
  std::vector<int> registered_;  // descriptors registered now, in no order
  std::vector<epoll_event> ready_;
  std::uint32_t nextGeneration_ = 1;
  std::uint64_t round_ = 0;
};

#endif
