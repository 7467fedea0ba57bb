#include "Cpp/BaseClasses/BaseGroupClass.h"

#include <cstdio>
#include <iostream>
#include <limits>
#include <string>

#include "Cpp/BaseClasses/ErrorFunctions.h"
#include "random/UserDistributions.h"

BaseGroupClass::BaseGroupClass()
    : SelectedAction(nullptr), MaxRank(0), NumMembers(0), NumCandidates(0), MemberCapacity(0) {
  AsGroup = this;
}

BaseGroupClass::BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                               int affectedCount, int enablingCount, bool reactivation)
    : BaseGroupClass() {
  BaseActionClassInitialize(name, groupId, dist, policy, affectedCount, enablingCount, reactivation);
}

BaseGroupClass::BaseGroupClass(const char* name, int groupId, Distribution dist, ExecutionPolicyType policy,
                               int affectedCount, int enablingCount, bool reactivation, int capacity)
    : BaseGroupClass() {
  resizeArrays(capacity);
  BaseActionClassInitialize(name, groupId, dist, policy, affectedCount, enablingCount, reactivation);
}

bool BaseGroupClass::Enabled() {
  bool any = false;
  for (int i = 0; i < NumMembers; i++)
    if (Members[i]->Enabled()) any = true;
  return any;
}

// A group asked before any choice was made answers as a plain action would.
double BaseGroupClass::Weight() { return SelectedAction ? SelectedAction->Weight() : BaseActionClass::Weight(); }

double BaseGroupClass::Rate() { return SelectedAction ? SelectedAction->Rate() : BaseActionClass::Rate(); }

bool BaseGroupClass::ReactivationPredicate() { return false; }

bool BaseGroupClass::ReactivationFunction() { return false; }

double BaseGroupClass::SampleDistribution() {
  return SelectedAction ? SelectedAction->SampleDistribution() : BaseActionClass::SampleDistribution();
}

BaseActionClass* BaseGroupClass::Fire() {
  BaseActionClass* member = SelectedAction;
  SelectedAction = nullptr;
  return member ? member->Fire() : nullptr;
}

int BaseGroupClass::Rank() { return SelectedAction ? SelectedAction->Rank() : BaseActionClass::Rank(); }

bool BaseGroupClass::EnablingChange() {
  bool any = false;
  for (int i = 0; i < NumMembers; i++)
    if (Members[i]->EnablingChange()) any = true;
  return any;
}

bool BaseGroupClass::IsAMember(BaseActionClass* a) {
  for (int i = 0; i < NumMembers; i++)
    if (Members[i] == a) return true;
  return false;
}

double BaseGroupClass::Probability(BaseActionClass* a) {
  int maxRank = 0;
  double totalWeight = 0.0;
  BaseActionClass* match = nullptr;
  for (int i = 0; i < NumMembers; i++) {
    BaseActionClass* m = Members[i];
    if (m->Enabled()) {
      int rank = m->Rank();
      if (rank > maxRank) {
        maxRank = rank;
        totalWeight = 0.0;
      }
      if (rank == maxRank) totalWeight += m->Weight();
    }
    if (m == a || m->IsAMember(a)) match = m;
  }
  if (match == nullptr) return 0.0;  // a is not in this group
  if (match->Rank() < maxRank) return 0.0;
  if (totalWeight == 0.0) {
    std::cout << "BaseGroupClass::Probability() TotalWeight is zero.\n";
    return std::numeric_limits<double>::quiet_NaN();
  }
  return match->Weight() / totalWeight * match->Probability(a);
}

void BaseGroupClass::printEnablingState(std::ostream* s) {
  if (NumMembers > 0)
    Members[0]->printEnablingState(s);
  else
    BaseActionClass::printEnablingState(s);
}

BaseActionClass* BaseGroupClass::getPrintedAction() { return NumMembers > 0 ? Members[0] : this; }

bool BaseGroupClass::SelectAction() {
  double u = TheDistribution->getGenerator()->rnd();
  double total = CalculateWeightDistribution();
  // Tested on the total, not on x: with u = 0, x would be -0.0 and pass.
  if (total < 0.0) return false;
  double x = total * u;
  int lo = 0, hi = NumCandidates - 1;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (x < WeightTable[mid].CumulativeWeight)
      hi = mid;
    else
      lo = mid + 1;
  }
  BaseActionClass* candidate = WeightTable[lo].Candidate;
  if (BaseGroupClass* group = candidate->AsGroup) {
    group->SelectAction();
    SelectedAction = group->SelectedAction;
  } else {
    SelectedAction = candidate;
  }
  return true;
}

void BaseGroupClass::setGroupId(int id) {
  for (int i = 0; i < NumMembers; i++)
    if (BaseGroupClass* group = dynamic_cast<BaseGroupClass*>(Members[i])) group->setGroupId(id);
}

void BaseGroupClass::resizeArrays(int n) {
  if (n < NumMembers) n = NumMembers;
  std::unique_ptr<BaseActionClass*[]> members(new BaseActionClass*[n > 0 ? n : 1]());
  for (int i = 0; i < NumMembers; i++) members[i] = Members[i];
  Members = std::move(members);
  WeightTable.reset(new WeightTableEntry[n > 0 ? n : 1]());
  MemberCapacity = n;
}

void BaseGroupClass::initialize(int count, const char* name) {
  NumMembers = 0;
  resizeArrays(count);
  defineName(name);
  SelectedAction = nullptr;
  MaxRank = 0;
  NumCandidates = 0;
}

void BaseGroupClass::appendGroup(BaseGroupClass* member) {
  if (NumMembers == MemberCapacity) resizeArrays(MemberCapacity + 1);
  Members[NumMembers++] = member;
}

void BaseGroupClass::appendMembers(BaseGroupClass* other) {
  int total = NumMembers + other->NumMembers;
  if (total > MemberCapacity) resizeArrays(total);
  int n = other->NumMembers;  // other may be this group
  for (int i = 0; i < n; i++) Members[NumMembers++] = other->Members[i];
}

void BaseGroupClass::enlargeArrays(int n) { resizeArrays(n); }

void BaseGroupClass::setMember(BaseGroupClass* member, int index) {
  if (index < 0 || index >= NumMembers) {
    ArrayOutOfBoundsError("Array out of bounds (BaseGroupClass::setMember()");
    return;
  }
  Members[index] = member;
}

void BaseGroupClass::replaceMember(BaseActionClass* oldMember, BaseActionClass* newMember) {
  if (SelectedAction == oldMember) SelectedAction = newMember;
  for (int i = 0; i < NumMembers; i++) {
    if (Members[i] == oldMember) {
      Members[i] = newMember;
      return;
    }
  }
}

double BaseGroupClass::CalculateWeightDistribution() {
  NumCandidates = 0;
  for (int i = 0; i < NumMembers; i++) {
    BaseActionClass* m = Members[i];
    if (!m->Enabled()) {
      m->Disabled = true;
      continue;
    }
    int rank = m->Rank();
    if (NumCandidates == 0 || rank > MaxRank) {
      // The first enabled member, or one of a higher rank: the table restarts.
      // Members already entered keep their flags.
      MaxRank = rank;
      m->Disabled = false;
      WeightTable[0] = {m->Weight(), m};
      NumCandidates = 1;
    } else if (rank == MaxRank) {
      m->Disabled = false;
      WeightTable[NumCandidates] = {WeightTable[NumCandidates - 1].CumulativeWeight + m->Weight(), m};
      NumCandidates++;
    } else {
      m->Disabled = true;
    }
  }
  if (NumCandidates == 0) return -1.0;
  return WeightTable[NumCandidates - 1].CumulativeWeight;
}

void BaseGroupClass::PrintInfo() {
  std::cout << "************ Group: " << Name << " ****************" << std::endl;
  std::cout << "Contains the following actions:" << std::endl;
  for (int i = 0; i < NumMembers; i++) std::cout << "  " << Members[i]->Name << std::endl;
  std::cout << "Selected Action = " << (SelectedAction ? SelectedAction->Name : std::string()) << std::endl;
}

void BaseGroupClass::printGroup() {
  std::cout << "** Members of Group " << Name << std::endl;
  printGroup("", 0);
}

void BaseGroupClass::printGroup(const char* prefix, int indent) {
  for (int i = 0; i < NumMembers; i++) {
    std::cout << std::string(indent, ' ') << "[" << prefix << i << "] " << Members[i]->Name << std::endl;
    BaseGroupClass* nested = dynamic_cast<BaseGroupClass*>(Members[i]);
    if (nested != nullptr && nested->NumMembers > 1) {
      char extended[512];
      std::snprintf(extended, sizeof extended, "%s%d.", prefix, i);
      nested->printGroup(extended, indent + 2);
    }
  }
}
