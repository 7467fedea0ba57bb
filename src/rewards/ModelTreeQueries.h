// Name look-ups in the model tree and membership in frozen integer sets, shared
// by the reward variables' set-up and the reward model. Everything here runs
// during set-up, except FrozenSetContains (a binary search) and
// ForEachSyncMember, which allocate nothing and serve the per-event work.
#ifndef REWARDS_MODELTREEQUERIES_H
#define REWARDS_MODELTREEQUERIES_H

#include <string>
#include <vector>

#include "Cpp/BaseClasses/BaseGroupClass.h"

class BaseModelClass;
class FastSet;

namespace model_tree {

// Every instance of the model named name in the tree under root, in tree order.
std::vector<BaseModelClass*> ListInstances(BaseModelClass* root, const std::string& name);

// The first action of model m named name, or null.
BaseActionClass* FirstActionNamed(BaseModelClass* m, const std::string& name);

// Whether value is in a set frozen by NoMoreModifications (sorted array form).
bool FrozenSetContains(FastSet& set, int value);

// The members of a synchronised action, in order (none for any other action).
std::vector<BaseActionClass*> SyncMembers(BaseActionClass* a);

// Calls visit(member) for the members SyncMembers lists, in the same order,
// without building a list: the form a firing's reward pass uses.
template <class Visit>
void ForEachSyncMember(BaseActionClass* a, Visit&& visit) {
  if (a == nullptr || !a->isSync()) return;
  BaseGroupClass* group = a->AsGroup;
  if (group == nullptr) return;
  for (int i = 0; i < group->getNumMembers(); ++i) visit(group->getMember(i));
}

// The model's name, or null when it has none.
const char* ModelName(const BaseModelClass* m);

}  // namespace model_tree

#endif
