// How the trace kinds walk a model's state: the printed name of a state
// variable, the state variables a model lists as its own or as shared, and
// the leaves of a (possibly composite) state variable.
//
// These are read-only views over the model framework; nothing here owns or
// changes a model.
#ifndef TRACE_STATE_WALK_H
#define TRACE_STATE_WALK_H

#include <memory>
#include <string>

#include "Cpp/BaseClasses/List.h"
#include "Cpp/BaseClasses/state/BaseStateVariableClass.h"

class BaseModelClass;

// "Prefix.Name" when the variable has a prefix, otherwise "Name".
std::string PrintedName(const BaseStateVariableClass* v);

// A counted run of state-variable pointers owned by a model.
struct StateVariableRange {
  BaseStateVariableClass** Items = nullptr;
  int Count = 0;
};

// The places of an atomic model (its read-only places are not among them); a
// composed model has none of its own.
StateVariableRange LocalStateVariables(BaseModelClass* model);

// The shared variables of a composed model; an atomic model has none.
StateVariableRange SharedStateVariables(BaseModelClass* model);

// Calls visit(leaf) for every leaf of v in order: v itself for a plain place,
// each element for an array or structure.
template <class Visit>
void ForEachLeaf(BaseStateVariableClass* v, Visit visit) {
  std::unique_ptr<List<BaseStateVariableClass>> leaves(v->getLeafNodes());
  for (int i = 0; i < leaves->getNumItems(); i++) visit(leaves->getItem(i));
}

// Calls visit(leaf) for every leaf of every variable of the range, in order.
template <class Visit>
void ForEachLeaf(StateVariableRange range, Visit visit) {
  for (int i = 0; i < range.Count; i++) ForEachLeaf(range.Items[i], visit);
}

#endif
