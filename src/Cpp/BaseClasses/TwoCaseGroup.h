// TwoCaseGroup is the case group of a generated activity with two cases: a
// PostselectGroup whose two members are known by type when the model is
// compiled. Its enabling test, its enabling change and its weighted choice
// call the cases' own functions directly instead of through the member array,
// and give exactly what the general group gives: the same calls in the same
// order (every case's Enabled() included), the same Disabled flags, the same
// weight table and one uniform draw before the weights.
//
// The cases must be activity classes that keep Activity's
// EnablingChange and SelectAction. Should the member array ever stop holding
// exactly the two cases (a member replaced or added), every answer comes from
// the general group again.
//
// Ownership: the group points at the two cases; their model owns them.
#ifndef TWO_CASE_GROUP_H
#define TWO_CASE_GROUP_H

#include "Cpp/BaseClasses/PostselectGroup.h"
#include "random/UserDistributions.h"

template <class Case1, class Case2>
class TwoCaseGroup final : public PostselectGroup {
 public:
  // Names the group and makes the two cases its members, in this order.
  void initialize(const char* name, Case1* first, Case2* second) {
    BaseGroupClass::initialize(2, name);
    appendGroup(first);
    appendGroup(second);
    First = first;
    Second = second;
  }

  bool Enabled() override {
    if (!HoldsTheCases()) return PostselectGroup::Enabled();
    const bool first = First->Case1::Enabled();
    const bool second = Second->Case2::Enabled();
    return first || second;
  }

  // Pure when both cases are and the members are still exactly the cases.
  bool EnablingIsPure() override {
    return HoldsTheCases() && First->Case1::EnablingIsPure() && Second->Case2::EnablingIsPure();
  }

  // The marking both cases require, when they require the same one.
  const short* RequiredMarking() override {
    if (!HoldsTheCases()) return PostselectGroup::RequiredMarking();
    const short* first = First->Case1::RequiredMarking();
    return first == Second->Case2::RequiredMarking() ? first : nullptr;
  }
  // Decided by that marking when each case is: the group is enabled when
  // either case is.
  bool EnablingIsRequiredMarking() override {
    return RequiredMarking() != nullptr && First->Case1::EnablingIsRequiredMarking() &&
           Second->Case2::EnablingIsRequiredMarking();
  }
  bool EnablingChange() override {
    if (!HoldsTheCases()) return PostselectGroup::EnablingChange();
    const bool first = ChangeOf(First);
    const bool second = ChangeOf(Second);
    return first || second;
  }

  bool SelectAction() override {
    if (!HoldsTheCases()) return PostselectGroup::SelectAction();
    const double u = TheDistribution->getGenerator()->rnd();
    NumCandidates = 0;
    Consider(First);
    Consider(Second);
    const double total = NumCandidates == 0 ? -1.0 : WeightTable[NumCandidates - 1].CumulativeWeight;
    if (total < 0.0) return false;
    const double x = total * u;
    // Two candidates at most: the general group's search reduces to one test.
    const int chosen = NumCandidates == 2 && !(x < WeightTable[0].CumulativeWeight) ? 1 : 0;
    BaseActionClass* candidate = WeightTable[chosen].Candidate;
    if (candidate == First) {
      First->Case1::Enabled();
      SelectedAction = First->SelectedAction;
    } else {
      Second->Case2::Enabled();
      SelectedAction = Second->SelectedAction;
    }
    return true;
  }

  BaseActionClass* Fire() override {
    SelectAction();
    BaseActionClass* member = SelectedAction;
    SelectedAction = nullptr;
    return member ? member->Fire() : nullptr;
  }

 private:
  bool HoldsTheCases() const { return NumMembers == 2 && Members[0] == First && Members[1] == Second; }

  template <class Case>
  static bool ChangeOf(Case* c) {
    c->Case::Enabled();
    return c->EnabledNow != c->EnabledBefore;
  }

  // One member's step of the weight table, as the general group takes it.
  template <class Case>
  void Consider(Case* m) {
    if (!m->Case::Enabled()) {
      m->Disabled = true;
      return;
    }
    const int rank = m->Case::Rank();
    if (NumCandidates == 0 || rank > MaxRank) {
      MaxRank = rank;
      m->Disabled = false;
      WeightTable[0] = {m->Case::Weight(), m};
      NumCandidates = 1;
    } else if (rank == MaxRank) {
      m->Disabled = false;
      WeightTable[NumCandidates] = {WeightTable[NumCandidates - 1].CumulativeWeight + m->Case::Weight(), m};
      NumCandidates++;
    } else {
      m->Disabled = true;
    }
  }

  Case1* First = nullptr;
  Case2* Second = nullptr;
};

#endif
