// BaseModelClass is the root of every model: atomic SANs, composed models and
// the reward model. It names the model, counts and lists its state variables,
// actions and groups, saves and restores the model's state as a flat byte
// string, and records the arcs between state variables and actions.
//
// Ownership: the model owns its name. The Actions and Groups arrays belong to
// the subclass that fills them (a SAN copies what it is given, a join builds
// its own, the reward model borrows its child's); the objects in them belong to
// the generated models.
#ifndef BASE_MODEL_CLASS_H
#define BASE_MODEL_CLASS_H

#include <forward_list>
#include <iosfwd>
#include <string>
#include <vector>

#include "Cpp/BaseClasses/List.h"

class BaseActionClass;
class BaseGroupClass;
class BaseStateVariableClass;
class SharedStateVarLink;
class State;
struct StateCell;

class BaseModelClass {
 public:
  static constexpr int SAN_MODEL_TYPE = 1;
  static constexpr int JOIN_MODEL_TYPE = 2;

  BaseModelClass();
  BaseModelClass(const BaseModelClass&) = delete;
  BaseModelClass& operator=(const BaseModelClass&) = delete;
  virtual ~BaseModelClass();

  virtual int getNumStateVariables();
  // Appends every model of this tree whose name is name.
  virtual void listModels(const char* name, List<BaseModelClass>* out) = 0;
  virtual void CurrentState(void* to) = 0;
  virtual void listActions(List<BaseActionClass>* out) = 0;
  virtual void listGroups(List<BaseGroupClass>* out) = 0;
  virtual void SetState(void* from) = 0;
  // Appends the plain copies SetState(from) makes, in its order, for a saved
  // state starting at offset; false (the default) when SetState is more than
  // such copies. A replication's restore then costs a copy per cell instead
  // of a walk of the model tree.
  virtual bool ListStateCells(int offset, std::vector<StateCell>* out);
  virtual int StateSize() = 0;
  virtual bool CompareState(void* a, void* b) = 0;
  // Appends the action named name.
  virtual void listActions(const char* name, List<BaseActionClass>* out) = 0;
  // Appends each matching state variable and, at the same position, its model.
  virtual void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svs,
                       List<BaseModelClass>* models) = 0;
  virtual void printState(std::ostream* os);
  virtual void printState();
  virtual BaseStateVariableClass** GetLocalStateVariables(std::ostream* os);
  virtual BaseStateVariableClass** GetSharedStateVariables();
  virtual BaseStateVariableClass* getMainSharedVariable(BaseStateVariableClass* v);
  virtual SharedStateVarLink* getListOfSharedVariables(BaseStateVariableClass* v);
  virtual void AddAffectArc(BaseStateVariableClass* v, BaseActionClass* a);
  virtual void AddEnableArc(BaseStateVariableClass* v, BaseActionClass* a);
  virtual int GetModelType();
  virtual int GetNumberOfChildren();
  virtual BaseModelClass* GetChild(int i);
  virtual void GetLocalActions(std::forward_list<BaseActionClass*>& out);
  virtual void GetGlobalActions(std::forward_list<BaseActionClass*>& out);
  virtual bool HasLocalState();
  virtual void GetLocalState(State* s);
  virtual void SetLocalState(const State* s);
  virtual void ConstructLocalState(State*& s);
  virtual void DestructLocalState(State* s);

  void DefineName(const char* name) { Name = name ? name : ""; }
  const char* getName() const { return Name.c_str(); }
  void SetParentId(int id) { ParentId = id; }

  static int globalModelId;   // last number given to a model; the first model is 1
  static double LastActionTime;  // time of the last firing

  int NumStateVariables;
  int NumSharedStateVariables;
  int NumActions;
  int NumGroups;
  BaseGroupClass** Groups;
  std::string Name;
  int ModelId;
  int ParentId;
  BaseActionClass** Actions;
};

#endif
