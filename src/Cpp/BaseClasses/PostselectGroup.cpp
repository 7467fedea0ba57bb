#include "Cpp/BaseClasses/PostselectGroup.h"

PostselectGroup::PostselectGroup() {}

PostselectGroup::PostselectGroup(int n) {
  enlargeArrays(n);
  NumMembers = n;
}

bool PostselectGroup::ReactivationPredicate() {
  return NumMembers > 0 && Members[0] ? Members[0]->ReactivationPredicate() : false;
}

bool PostselectGroup::ReactivationFunction() {
  return NumMembers > 0 && Members[0] ? Members[0]->ReactivationFunction() : false;
}

double PostselectGroup::SampleDistribution() {
  return NumMembers > 0 && Members[0] ? Members[0]->SampleDistribution() : 0.0;
}

bool PostselectGroup::TimingIsInstantaneous() {
  return NumMembers > 0 && Members[0] ? Members[0]->TimingIsInstantaneous() : false;
}

bool PostselectGroup::EnablingIsPure() {
  if (NumMembers == 0) return false;
  for (int i = 0; i < NumMembers; ++i)
    if (Members[i] == nullptr || !Members[i]->EnablingIsPure()) return false;
  return true;
}

BaseActionClass* PostselectGroup::Fire() {
  SelectAction();
  BaseActionClass* member = SelectedAction;
  SelectedAction = nullptr;
  return member ? member->Fire() : nullptr;
}
