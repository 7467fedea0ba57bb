// The kernel receive buffer of each simulator's connection. Left to the
// kernel, a connection's buffer starts small and grows with what is read
// per round trip; a manager that reads many connections in turn, once a
// millisecond, then makes the kernel send a window update and wake the
// sender for every few segments, and that work, not the manager's own,
// dominates its ingest (a fixed 8 MB buffer took K = 64 flooding stand-ins
// from 3.1 to 2.3 ns per value). So each connection gets a fixed buffer, a
// share of a budget over the study: the largest for a few dozen simulators,
// less per connection for hundreds, so that the kernel memory the study can
// pin stays bounded (the kernel doubles what is asked, for its own
// bookkeeping).
//
// The share is cut to what the system allows (net.core.rmem_max, which
// the kernel would cut to silently); when that is below the smallest share,
// nothing is asked (a fixed buffer no longer grows), and the connection
// keeps the kernel's own sizing. Debian's default rmem_max is 208 KB:
// raising it to 4 MB lets a study have the larger buffers.
//
// Thread-safe: pure functions, and a read of a system setting.
#ifndef MANAGER_RECEIVE_BUFFER_H
#define MANAGER_RECEIVE_BUFFER_H

namespace receive_buffer {

// What the study may ask for all of its connections together.
constexpr long kBudgetBytes = 256L << 20;
// Bounds of one connection's share: below the smaller, the kernel's own
// sizing does as well; the larger is what K = 64 needed at full speed.
constexpr long kSmallestBytes = 512L << 10;
constexpr long kLargestBytes = 4L << 20;

// The buffer to ask for on each connection of a study of this many
// simulators, given the system's largest (net.core.rmem_max); 0 leaves the
// kernel's own sizing.
long BytesFor(int simulators, long systemLargest);

// net.core.rmem_max, or 0 when it cannot be read.
long SystemLargest();

// Asks for bytes (if positive) on the socket, before it connects (the
// window scale is agreed on then). A refusal leaves the kernel's sizing.
void Apply(int socket, long bytes);

}  // namespace receive_buffer

#endif
