// WatchList is the intrusive list behind the simulator's ReactivationList:
// the scheduled groups that must be tested for reactivation after every
// firing. Each group's ScheduleEntry embeds the one node the group can ever
// have on the list, so listing and unlisting never allocate. New entries go
// to the front, and the step walks the list from the front.
//
// The list does not own its nodes. A node is on at most one list at a time.
#ifndef WATCH_LIST_H
#define WATCH_LIST_H

class BaseActionClass;

struct WatchNode {
  BaseActionClass* Action = nullptr;
  WatchNode* Prev = nullptr;
  WatchNode* Next = nullptr;
};

class WatchList {
 public:
  WatchList() : Head(nullptr), Size(0) {}
  WatchList(const WatchList&) = delete;
  WatchList& operator=(const WatchList&) = delete;

  // REQUIRES: node is on no list.
  void PushFront(WatchNode* node, BaseActionClass* action) {
    node->Action = action;
    node->Prev = nullptr;
    node->Next = Head;
    if (Head) Head->Prev = node;
    Head = node;
    ++Size;
  }
  // REQUIRES: node is on this list.
  void Unlink(WatchNode* node) {
    if (node->Prev) {
      node->Prev->Next = node->Next;
    } else {
      Head = node->Next;
    }
    if (node->Next) node->Next->Prev = node->Prev;
    node->Prev = node->Next = nullptr;
    --Size;
  }
  WatchNode* Front() const { return Head; }
  int GetSize() const { return Size; }
  bool IsEmpty() const { return Head == nullptr; }

 private:
  WatchNode* Head;
  int Size;
};

#endif
