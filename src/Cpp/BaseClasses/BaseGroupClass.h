// BaseGroupClass is an action made of member actions, of which exactly one
// fires when the group fires: an enabled member of the highest rank present,
// drawn with probability proportional to its weight. SAN activities with cases
// are groups of their cases; an Activity is a group without members that
// selects itself.
//
// The choice takes exactly one uniform draw from the process-wide generator,
// before the weights are computed, so the random stream does not depend on
// how many members are enabled.
//
// Ownership: the group owns its Members and WeightTable arrays, not the member
// actions (their model owns them).
#ifndef BASE_GROUP_CLASS_H
#define BASE_GROUP_CLASS_H

#include <memory>

#include "Cpp/BaseClasses/BaseActionClass.h"

// The cumulative weight of one candidate of the current choice.
struct WeightTableEntry {
  double CumulativeWeight;
  BaseActionClass* Candidate;
};

class BaseGroupClass : public BaseActionClass {
 public:
  BaseGroupClass();
  BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int affectedCount,
                 int enablingCount, bool reactivation);
  BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy, int affectedCount,
                 int enablingCount, bool reactivation, int capacity);

  // Evaluates every member (no short cut: each member's Enabled() also keeps
  // its own enabling history).
  bool Enabled() override;
  double Weight() override;
  double Rate() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  BaseActionClass* Fire() override;
  int Rank() override;
  bool EnablingChange() override;
  bool IsAMember(BaseActionClass* a) override;
  double Probability(BaseActionClass* a) override;
  void printEnablingState(std::ostream* s) override;
  BaseActionClass* getPrintedAction() override;
  // The weighted choice; false when no member is enabled.
  virtual bool SelectAction();
  virtual void setGroupId(int id);

  void initialize(int count, const char* name);
  void appendGroup(BaseGroupClass* member);
  void appendMembers(BaseGroupClass* other);
  void enlargeArrays(int n);
  void setMember(BaseGroupClass* member, int index);
  void replaceMember(BaseActionClass* oldMember, BaseActionClass* newMember);
  // Fills WeightTable with the enabled members of the highest rank; returns
  // their total weight, or -1.0 when no member is enabled.
  double CalculateWeightDistribution();
  void Check() {}
  void PrintInfo();
  void printGroup();
  void printGroup(const char* prefix, int indent);

  int getNumMembers() const { return NumMembers; }
  BaseActionClass* getMember(int i) const { return Members[i]; }
  BaseActionClass* getSelectedAction() const { return SelectedAction; }

  std::unique_ptr<BaseActionClass*[]> Members;
  BaseActionClass* SelectedAction;
  std::unique_ptr<WeightTableEntry[]> WeightTable;
  int MaxRank;
  int NumMembers;
  int NumCandidates;
  int MemberCapacity;

 protected:
  // Both arrays to n entries (never fewer than the members), members kept.
  void resizeArrays(int n);
};

#endif
