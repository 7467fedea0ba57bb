#include "Cpp/BaseClasses/PreselectGroup.h"

PreselectGroup::PreselectGroup() : SelectionPending(true) {}

PreselectGroup::PreselectGroup(int n) : SelectionPending(true) { enlargeArrays(n); }

bool PreselectGroup::Enabled() {
  settleChoice();
  return BaseGroupClass::Enabled();
}

bool PreselectGroup::ReactivationPredicate() {
  settleChoice();
  return SelectedAction ? SelectedAction->ReactivationPredicate() : false;
}

bool PreselectGroup::ReactivationFunction() {
  settleChoice();
  return SelectedAction ? SelectedAction->ReactivationFunction() : false;
}

double PreselectGroup::SampleDistribution() {
  settleChoice();
  return BaseGroupClass::SampleDistribution();
}

// The choice is kept after firing only until the next question settles a new one.
BaseActionClass* PreselectGroup::Fire() {
  SelectionPending = true;
  return SelectedAction ? SelectedAction->Fire() : nullptr;
}

int PreselectGroup::Rank() {
  settleChoice();
  return BaseGroupClass::Rank();
}

bool PreselectGroup::SelectAction() {
  bool chosen = BaseGroupClass::SelectAction();
  SelectionPending = !chosen;
  return chosen;
}
