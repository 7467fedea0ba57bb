// PostselectGroup chooses its member at the moment it fires. Its timing
// questions go to its first member, its weight is 1.0 and its rank 1 whatever
// its members say, so the group competes as one unit.
#ifndef POSTSELECT_GROUP_H
#define POSTSELECT_GROUP_H

#include "Cpp/BaseClasses/BaseGroupClass.h"

class PostselectGroup : public BaseGroupClass {
 public:
  PostselectGroup();
  // A group of n null members, filled in afterwards with setMember.
  explicit PostselectGroup(int n);

  double Weight() override { return 1.0; }
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  bool TimingIsInstantaneous() override;
  // Pure when it has members and every member's test is: the group's test
  // is theirs, each asked in turn.
  bool EnablingIsPure() override;
  BaseActionClass* Fire() override;
  int Rank() override { return 1; }
  bool SelectAction() override { return BaseGroupClass::SelectAction(); }
};

#endif
