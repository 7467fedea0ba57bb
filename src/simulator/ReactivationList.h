// ReactivationList is the simulator's list of scheduled groups that must be
// tested for reactivation after every firing. It is intrusive: each group's
// ScheduleEntry embeds the one node the group can ever have on the list, so
// listing and unlisting never allocate. New entries go to the front, and the
// step walks the list from the front.
//
// The list does not own its nodes. A node is on at most one list at a time.
#ifndef REACTIVATION_LIST_H
#define REACTIVATION_LIST_H

class BaseActionClass;

struct ReactivationNode {
  BaseActionClass* Action = nullptr;
  ReactivationNode* Prev = nullptr;
  ReactivationNode* Next = nullptr;
};

class ReactivationList {
 public:
  ReactivationList() : Head(nullptr), Size(0) {}
  ReactivationList(const ReactivationList&) = delete;
  ReactivationList& operator=(const ReactivationList&) = delete;

  // REQUIRES: node is on no list.
  void PushFront(ReactivationNode* node, BaseActionClass* action) {
    node->Action = action;
    node->Prev = nullptr;
    node->Next = Head;
    if (Head) Head->Prev = node;
    Head = node;
    ++Size;
  }
  // REQUIRES: node is on this list.
  void Unlink(ReactivationNode* node) {
    if (node->Prev) node->Prev->Next = node->Next;
    else Head = node->Next;
    if (node->Next) node->Next->Prev = node->Prev;
    node->Prev = node->Next = nullptr;
    --Size;
  }
  ReactivationNode* Front() const { return Head; }
  int GetSize() const { return Size; }
  bool IsEmpty() const { return Head == nullptr; }

 private:
  ReactivationNode* Head;
  int Size;
};

#endif
