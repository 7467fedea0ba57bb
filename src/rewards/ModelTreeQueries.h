// Name look-ups in the model tree and membership in frozen integer sets, shared
// by the reward variables' set-up and the reward model. Everything here runs
// during set-up, except FrozenSetContains, a binary search with no allocation.
#ifndef REWARDS_MODELTREEQUERIES_H
#define REWARDS_MODELTREEQUERIES_H

#include <string>
#include <vector>

class BaseActionClass;
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

// The model's name, or null when it has none.
const char* ModelName(const BaseModelClass* m);

}  // namespace model_tree

#endif
