#include "output/PacketQueue.h"

PacketQueue::PacketQueue(int capacity)
    : Items(capacity > 0 ? capacity : 0, nullptr),
      Capacity(capacity > 0 ? capacity : 0),
      Head(0),
      Tail(0),
      Wrapped(false),
      Lock(new QuelixMutex()) {}

PacketQueue::~PacketQueue() {
  while (Pop()) {
  }
}

bool PacketQueue::Push(std::unique_ptr<DataPacket> packet) {
  if (!packet) return false;
  Lock->Get();
  bool full = Capacity == 0 || (Head == Tail && Wrapped);
  if (!full) {
    Items[Tail] = packet.release();
    if (++Tail == Capacity) {
      Tail = 0;
      Wrapped = true;
    }
  }
  Lock->Release();
  return !full;
}

std::unique_ptr<DataPacket> PacketQueue::Pop() {
  Lock->Get();
  DataPacket* packet = nullptr;
  if (CountLocked() > 0) {
    packet = Items[Head];
    Items[Head] = nullptr;
    if (++Head == Capacity) {
      Head = 0;
      Wrapped = false;
    }
  }
  Lock->Release();
  return std::unique_ptr<DataPacket>(packet);
}

int PacketQueue::Count() {
  Lock->Get();
  int count = CountLocked();
  Lock->Release();
  return count;
}

int PacketQueue::CountLocked() const {
  int count = Tail - Head;
  if (Tail < Head || Wrapped) count += Capacity;
  return count;
}
