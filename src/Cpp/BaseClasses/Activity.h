// Activity is the base of the generated SAN activities: a group without
// members that selects itself. Each generated activity overrides Enabled (which
// first copies EnabledNow into EnabledBefore, then stores the new result in
// EnabledNow), Fire, the timing operations, and LinkVariables, which caches a
// marking pointer for every place the activity uses and registers it with the
// place so that merges redirect it.
//
// The delegations a group makes to its selected action would loop back to the
// activity itself; Activity answers them as a plain action instead.
#ifndef ACTIVITY_H
#define ACTIVITY_H

#include "Cpp/BaseClasses/BaseGroupClass.h"

class Activity : public BaseGroupClass {
 public:
  Activity();

  BaseActionClass* Fire() override = 0;
  double Weight() override { return BaseActionClass::Weight(); }
  double Rate() override { return BaseActionClass::Rate(); }
  double SampleDistribution() override { return BaseActionClass::SampleDistribution(); }
  int Rank() override { return BaseActionClass::Rank(); }
  // Re-evaluates the predicate; true when the result differs from the last one.
  bool EnablingChange() override;
  double Probability(BaseActionClass* a) override { return a == this ? 1.0 : 0.0; }
  bool SelectAction() override { return Enabled(); }
  void setGroupId(int id) override { GroupID = id; }
  virtual void LinkVariables() = 0;

  void ActivityInitialize(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                          int affectedCount, int enablingCount, bool reactivation) {
    BaseActionClassInitialize(name, groupId, dist, policy, affectedCount, enablingCount, reactivation);
  }
  bool IsAnAffectingStateVariable(BaseStateVariableClass* v) const { return AffectedSVs.contains(v); }

  bool EnabledNow;
  bool EnabledBefore;
};

#endif
