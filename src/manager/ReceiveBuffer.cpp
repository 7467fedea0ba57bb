#include "manager/ReceiveBuffer.h"

#include <sys/socket.h>

#include <algorithm>
#include <fstream>

namespace receive_buffer {

long BytesFor(int simulators, long systemLargest) {
  if (simulators <= 0) return 0;
  const long share = std::min(std::clamp(kBudgetBytes / simulators, kSmallestBytes, kLargestBytes), systemLargest);
  return share >= kSmallestBytes ? share : 0;
}

long SystemLargest() {
  std::ifstream setting("/proc/sys/net/core/rmem_max");
  long bytes = 0;
  return setting >> bytes && bytes > 0 ? bytes : 0;
}

void Apply(int socket, long bytes) {
  if (socket < 0 || bytes <= 0) return;
  const int asked = static_cast<int>(bytes);
  ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &asked, sizeof asked);
}

}  // namespace receive_buffer
