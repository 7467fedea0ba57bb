#include "rewards/ModelTreeQueries.h"

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "Cpp/BaseClasses/BaseGroupClass.h"
#include "Cpp/BaseClasses/BaseModelClass.h"
#include "Cpp/BaseClasses/FastSet.h"
#include "Cpp/BaseClasses/List.h"

namespace model_tree {

std::vector<BaseModelClass*> ListInstances(BaseModelClass* root, const std::string& name) {
  List<BaseModelClass> found;
  root->listModels(name.c_str(), &found);
  std::vector<BaseModelClass*> instances;
  for (int i = 0; i < found.getNumItems(); ++i) instances.push_back(found.getItem(i));
  return instances;
}

BaseActionClass* FirstActionNamed(BaseModelClass* m, const std::string& name) {
  List<BaseActionClass> found;
  m->listActions(name.c_str(), &found);
  return found.getNumItems() > 0 ? found.getItem(0) : nullptr;
}

bool FrozenSetContains(FastSet& set, int value) {
  int low = 0;
  int high = set.size();
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (set[mid] < value) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low < set.size() && set[low] == value;
}

std::vector<BaseActionClass*> SyncMembers(BaseActionClass* a) {
  std::vector<BaseActionClass*> members;
  ForEachSyncMember(a, [&members](BaseActionClass* member) { members.push_back(member); });
  return members;
}

const char* ModelName(const BaseModelClass* m) {
  return m->Name.empty() ? nullptr : m->Name.c_str();
}

}  // namespace model_tree
