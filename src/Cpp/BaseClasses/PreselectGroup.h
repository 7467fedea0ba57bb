// PreselectGroup chooses its member before it is scheduled: the first time the
// simulator asks it anything after a firing (Enabled, Rank, its delay, a
// reactivation question) it makes the weighted choice and keeps it until it
// fires. A failed choice stays pending.
#ifndef PRESELECT_GROUP_H
#define PRESELECT_GROUP_H

#include "Cpp/BaseClasses/BaseGroupClass.h"

class PreselectGroup : public BaseGroupClass {
 public:
  PreselectGroup();
  explicit PreselectGroup(int n);

  bool Enabled() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  BaseActionClass* Fire() override;
  int Rank() override;
  bool SelectAction() override;

  bool SelectionPending;

 private:
  void settleChoice() {
    if (SelectionPending) SelectAction();
  }
};

#endif
