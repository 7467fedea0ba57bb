// SharableSV<T> is a state variable whose value lives in one storage cell that
// can be shared: merging two variables makes both read and write one cell, and
// unites their action lists, so an action of one submodel is re-examined when
// an action of another submodel changes the shared cell.
//
// A sharing group has one main variable (Stored true, MainSV itself) that owns
// the cell and keeps, in PointerList, the address of every pointer to the cell
// (its own Value, a place's Mark alias, activities' cached marking pointers,
// and those of every member). A merge frees the absorbed group's cell and
// rewrites all of those pointers, so at run time a shared value costs one
// pointer read, with no lookup.
//
// Ownership: the main variable owns the cell, the PointerList elements and the
// two action lists. Members own nothing of the group; destroying a member
// touches neither the cell nor the lists, so members and main variable may be
// destroyed in any order once the model is no longer run.
#ifndef SHARABLE_SV_H
#define SHARABLE_SV_H

#include <iostream>
#include <type_traits>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/QuelixAssert.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

// One pointer to a group's cell: where it lives, and the state variable that
// owns it (null for an alias kept by a derived class or by an activity).
template <class T>
class PointerElement {
 public:
  PointerElement(T** address, BaseStateVariableClass* owner, PointerElement* next)
      : Address(address), Owner(owner), Next(next) {}
  T** getAddress() const { return Address; }
  BaseStateVariableClass* getOwner() const { return Owner; }
  PointerElement* getNext() const { return Next; }

  T** Address;
  BaseStateVariableClass* Owner;
  PointerElement* Next;
};

template <class T>
class SharableSV : public BaseStateVariableClass {
 public:
  SharableSV();
  ~SharableSV() override;

  int StateSize() override { return sizeof(T); }
  void SetState(void* from) override { *Value = *static_cast<T*>(from); }
  void CurrentState(void* to) override { *static_cast<T*>(to) = *Value; }
  bool ListStateCells(int offset, std::vector<StateCell>* out) override {
    if (!std::is_trivially_copyable<T>::value) return false;
    out->push_back({Value, offset, static_cast<int>(sizeof(T))});
    return true;
  }
  using BaseStateVariableClass::printState;
  void printState(std::ostream* s) override;
  void printStateVal(std::ostream* s) override { *s << +*Value; }
  // REQUIRES: other is a SharableSV<T> (assertion "otherSV").
  void share(BaseStateVariableClass* other) override;
  // Appends a to the group's affecting list, once per group; a member leaves
  // the lists to its main variable and does nothing.
  void appendAffectingAction(BaseActionClass* a) override;

  // The merge. Sharing a variable with itself or with a member of its own
  // group changes nothing.
  void ShareWith(SharableSV<T>* other);

  // Moves the group's cell to cell, which the caller provides and keeps
  // alive as long as the group is read or merged: the value is copied and
  // every pointer the group registered follows, so the model sees no
  // change; the group no longer frees a cell. Lets a builder place the
  // cells of many variables side by side.
  // REQUIRES: this is the group's main variable.
  void MoveCellTo(T* cell);
  // Records a pointer to the cell so that merges rewrite it. New elements go
  // to the head of the list. On a merged member the element is kept by the
  // group's main variable, where later merges will find it.
  void registerPointer(T** address, BaseStateVariableClass* owner);

  SharableSV<T>* getMainSV() const { return MainSV; }
  PointerElement<T>* getPointerList() const { return PointerList; }
  // The first element of PointerList (null when the list is empty).
  PointerElement<T>* getHead() const { return PointerList; }

  T* Value;
  PointerElement<T>* PointerList;
  SharableSV<T>* MainSV;

 private:
  void ReleaseCell() {
    if (!CellBorrowed) delete Value;
  }
  bool CellBorrowed = false;  // the cell is not the group's to free (MoveCellTo)
  // Absorbs this main variable's group into main variable b's group.
  void absorbInto(SharableSV<T>* b);
  void replaceInActionLists(SharableSV<T>* other, SharableSV<T>* main);
};

template <class T>
SharableSV<T>::SharableSV() : Value(new T(0)), PointerList(nullptr), MainSV(this) {
  registerPointer(&Value, this);
  PointerElement<T>* NextElement = PointerList;
  QUELIX_ASSERT(NextElement->getOwner(), "state/SharableSV");
}

template <class T>
SharableSV<T>::~SharableSV() {
  if (Stored) ReleaseCell();
  while (PointerList != nullptr) {
    PointerElement<T>* next = PointerList->Next;
    delete PointerList;
    PointerList = next;
  }
}

template <class T>
void SharableSV<T>::printState(std::ostream* s) {
  *s << Name << " = " << +*Value << std::endl;
}

template <class T>
void SharableSV<T>::share(BaseStateVariableClass* other) {
  SharableSV<T>* otherSV = dynamic_cast<SharableSV<T>*>(other);
  QUELIX_ASSERT(otherSV, "state/SharableSV");
  ShareWith(otherSV);
}

template <class T>
void SharableSV<T>::appendAffectingAction(BaseActionClass* a) {
  if (MainSV != this) return;
  for (PointerElement<T>* e = PointerList; e != nullptr; e = e->Next)
    if (e->Owner != nullptr) e->Owner->AffectingActions->append(a);
}

template <class T>
void SharableSV<T>::registerPointer(T** address, BaseStateVariableClass* owner) {
  SharableSV<T>* main = MainSV;
  main->PointerList = new PointerElement<T>(address, owner, main->PointerList);
  main->SharingCount++;
}

template <class T>
void SharableSV<T>::MoveCellTo(T* cell) {
  QUELIX_ASSERT(MainSV == this, "state/SharableSV");
  *cell = *Value;
  ReleaseCell();
  CellBorrowed = true;
  for (PointerElement<T>* e = PointerList; e != nullptr; e = e->Next) *e->Address = cell;
}

template <class T>
void SharableSV<T>::ShareWith(SharableSV<T>* other) {
  if (other == nullptr || other == this || other->MainSV == MainSV) return;
  if (Stored && other->Stored) {
    Shared = true;
    *Value = *other->Value;
    other->absorbInto(this);
  } else if (!Stored && other->Stored) {
    other->absorbInto(MainSV);
  } else if (Stored && !other->Stored) {
    absorbInto(other->MainSV);
  } else if (MainSV->SharingCount <= other->MainSV->SharingCount) {
    MainSV->absorbInto(other->MainSV);
  } else {
    other->MainSV->absorbInto(MainSV);
  }
  replaceInActionLists(other, MainSV);
}

template <class T>
void SharableSV<T>::absorbInto(SharableSV<T>* b) {
  // 1. One cell for the group: every pointer of this group moves to b's cell.
  ReleaseCell();
  MainSV = b;
  Value = b->Value;
  for (PointerElement<T>* e = PointerList; e != nullptr; e = e->Next) *e->Address = b->Value;
  // 2.
  Shared = true;
  Stored = false;
  // 3. One pair of action lists for the group.
  List<BaseActionClass>* SVAffectingActions = b->AffectingActions;
  List<BaseActionClass>* SVEnabledActions = b->EnabledActions;
  QUELIX_ASSERT(SVAffectingActions, "state/SharableSV");
  QUELIX_ASSERT(SVEnabledActions, "state/SharableSV");
  SVAffectingActions->append(AffectingActions);
  SVEnabledActions->append(EnabledActions);
  delete AffectingActions;
  delete EnabledActions;
  AffectingActions = SVAffectingActions;
  EnabledActions = SVEnabledActions;
  // 4. Every member of this group now belongs to b's group. Members also learn
  //    their new main variable, so MainSV always names the cell's owner.
  SharableSV<T>* TheOtherPointer = this;
  QUELIX_ASSERT(TheOtherPointer->getHead(), "state/SharableSV");
  for (PointerElement<T>* e = PointerList; e != nullptr; e = e->Next) {
    if (e->Owner == nullptr) continue;
    e->Owner->AffectingActions = SVAffectingActions;
    e->Owner->EnabledActions = SVEnabledActions;
    if (SharableSV<T>* member = dynamic_cast<SharableSV<T>*>(e->Owner)) member->MainSV = b;
  }
  // 5. b keeps every pointer of the merged group.
  PointerElement<T>* last = PointerList;
  while (last->Next != nullptr) last = last->Next;
  last->Next = b->PointerList;
  b->PointerList = PointerList;
  b->SharingCount += SharingCount;
  PointerList = nullptr;
}

// The actions' lists name the group's main variable instead of the argument.
template <class T>
void SharableSV<T>::replaceInActionLists(SharableSV<T>* other, SharableSV<T>* main) {
  if (other == main) return;
  List<BaseActionClass>* affecting = other->AffectingActions;
  for (int i = 0; i < affecting->getNumItems(); i++) affecting->getItem(i)->AffectedSVs.replaceItem(other, main);
  List<BaseActionClass>* enabled = other->EnabledActions;
  for (int i = 0; i < enabled->getNumItems(); i++) enabled->getItem(i)->EnablingSVs.replaceItem(other, main);
}

#endif
