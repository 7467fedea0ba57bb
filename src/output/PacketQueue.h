// PacketQueue is a bounded first-in first-out ring of report packets. The
// queue owns the packets it holds: Pop hands one back to the caller, and the
// destructor releases what is left. Pushing onto a full queue drops (and
// releases) the packet; with the simulator's capacities and output throttle
// that never happens.
//
// head is the next slot to take from, tail the next to put into; the wrapped
// flag tells a full ring (head == tail, wrapped) from an empty one (head ==
// tail, not wrapped). It is set when tail wraps to slot 0 and cleared when
// head does.
//
// Every operation takes the queue's own QuelixMutex and releases it before
// returning; no lock is held between operations.
#ifndef PACKET_QUEUE_H
#define PACKET_QUEUE_H

#include "output/DataPacket.h"
#include "output/QuelixMutex.h"

#include <memory>
#include <vector>

class PacketQueue {
 public:
  explicit PacketQueue(int capacity);
  PacketQueue(const PacketQueue&) = delete;
  PacketQueue& operator=(const PacketQueue&) = delete;
  ~PacketQueue();

  // Returns false when the queue was full (the packet is then released) or
  // the packet is absent.
  bool Push(std::unique_ptr<DataPacket> packet);
  // Returns the oldest packet, or none when the queue is empty.
  std::unique_ptr<DataPacket> Pop();
  int Count();
  int GetCapacity() const { return Capacity; }

 private:
  int CountLocked() const;

  std::vector<DataPacket*> Items;
  int Capacity;
  int Head;
  int Tail;
  bool Wrapped;
  std::unique_ptr<QuelixMutex> Lock;
};

#endif
