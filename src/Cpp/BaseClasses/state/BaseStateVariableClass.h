// BaseStateVariableClass is one named piece of model state. It records which
// actions change it (AffectingActions) and which actions' enabling depends on
// it (EnabledActions); the simulator builds its affects relation from these
// lists, so their order is the order of the arcs that filled them.
//
// Ownership: the variable owns its two action lists while Stored is true (it
// is the main variable of its sharing group). After a merge every member of
// a group points at the main variable's two lists, so the main variable must
// not be destroyed while a member still reads them; destroying a member never
// touches them.
//
// Composite variables (arrays, structs) override the leaf operations: an
// action keeps leaf variables in its own lists and asks a composite one to add
// its elements instead.
#ifndef BASE_STATE_VARIABLE_CLASS_H
#define BASE_STATE_VARIABLE_CLASS_H

#include <iosfwd>
#include <string>
#include <vector>

#include "Cpp/BaseClasses/List.h"

class BaseActionClass;

// One plain copy that SetState performs: the Size bytes at Offset in a saved
// state go unchanged to Address.
struct StateCell {
  void* Address;
  int Offset;
  int Size;
};

class BaseStateVariableClass {
 public:
  BaseStateVariableClass();
  BaseStateVariableClass(const BaseStateVariableClass&) = delete;
  BaseStateVariableClass& operator=(const BaseStateVariableClass&) = delete;
  virtual ~BaseStateVariableClass();

  // Bytes of the value in a saved state, and the copy in and out of it.
  virtual int StateSize() = 0;
  virtual void SetState(void* from) = 0;
  virtual void CurrentState(void* to) = 0;
  // Appends the copies SetState makes, in its order, for a saved state whose
  // bytes for this variable start at offset; false when SetState does more
  // than plain copies (the default). A class that overrides SetState
  // overrides this with it.
  virtual bool ListStateCells(int offset, std::vector<StateCell>* out);
  virtual void printState(std::ostream* s);
  virtual void printState();
  virtual void printStateVal(std::ostream* s);
  // Merges this variable's sharing group with other's.
  virtual void share(BaseStateVariableClass* other) = 0;
  virtual void appendAffectingAction(BaseActionClass* a);
  virtual void removeAffectingAction(BaseActionClass* a);
  virtual void replaceAffectingAction(BaseActionClass* oldAction, BaseActionClass* newAction);
  virtual void addSelfAsEnablingSVToAction(BaseActionClass* a);
  virtual void addSelfAsAffectedSVToAction(BaseActionClass* a);
  virtual void removeSelfFromEnablingSVOfAction(BaseActionClass* a);
  virtual void removeSelfFromAffectedSVOfAction(BaseActionClass* a);
  // A new list holding the leaf variables; the caller owns it.
  virtual List<BaseStateVariableClass>* getLeafNodes();
  virtual int getNumLeafNodes();
  virtual bool isLeafNode();
  virtual void appendEnabledAction(BaseActionClass* a);
  virtual void removeEnabledAction(BaseActionClass* a);
  virtual void replaceEnabledAction(BaseActionClass* oldAction, BaseActionClass* newAction);

  void SetName(const char* name);
  void SetPrefix(const char* prefix);
  const char* getName() const { return Name.c_str(); }
  const char* getPrefix() const { return Prefix.c_str(); }

  bool getShared() const { return Shared; }
  void setShared(bool b) { Shared = b; }
  bool getStored() const { return Stored; }
  void setStored(bool b) { Stored = b; }
  bool getFunctionallyShared() const { return FunctionallyShared; }
  void setFunctionallyShared(bool b) { FunctionallyShared = b; }
  int getSharingCount() const { return SharingCount; }

  List<BaseActionClass>* getAffectingActions() const { return AffectingActions; }
  List<BaseActionClass>* getEnabledActions() const { return EnabledActions; }
  // Replace the list pointer without freeing the old list.
  void setAffectingActions(List<BaseActionClass>* l) { AffectingActions = l; }
  void setEnabledActions(List<BaseActionClass>* l) { EnabledActions = l; }
  void copyAffectingActions(List<BaseActionClass>* from) { AffectingActions->append(from); }
  void copyEnabledActions(List<BaseActionClass>* from) { EnabledActions->append(from); }
  int getNumAffectingActions() const { return AffectingActions->getNumItems(); }
  int getNumEnabledActions() const { return EnabledActions->getNumItems(); }
  // Null, with an error line, for an index at or above the size.
  BaseActionClass* getAffectingAction(int i) const;
  BaseActionClass* getEnabledAction(int i) const;
  void printAffectingActions() const;
  void printEnabledActions() const;

  std::string Name;
  std::string Prefix;
  bool Shared;
  bool Stored;
  bool FunctionallyShared;
  // Pointers into this group's storage that a merge would have to rewrite.
  int SharingCount;
  List<BaseActionClass>* AffectingActions;
  List<BaseActionClass>* EnabledActions;
};

#endif
