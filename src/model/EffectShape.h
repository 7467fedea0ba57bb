// EffectShape answers what a checked activity's text tells the simulator it
// may rely on, for the interpreter and the C++ generator alike: whether its
// enabling predicate names only places among its enabling arcs (the
// language has no random numbers and expressions change nothing, so such a
// predicate is a function of those markings), which places statements may
// assign, and how an effect splits around a trailing if/else-if chain, one
// firing variant per branch and a last one for no branch taken.
//
// Pure functions over the checked model; the results point into it and live
// as long as it does. Safe from any thread.
#ifndef MODEL_EFFECTSHAPE_H
#define MODEL_EFFECTSHAPE_H

#include <vector>

#include "model/CheckedModel.h"

namespace sanmodel {

// Whether every place the predicate names is among the activity's reads (an
// activity without a predicate is always enabled: true).
bool EnablingNamesOnlyReads(const ActivityDecl& activity);

// The scalar place the predicate requires positive, or -1: the first
// conjunct, left to right through the predicate's top-level ands, that
// compares a place with an integer constant so that only a positive marking
// passes (P > c for c >= 0, P >= c for c >= 1, or the same written the
// other way round). An activity whose enabling names only its reads may
// declare it to the simulator (see BaseActionClass::RequiredMarking).
int RequiredPositivePlace(const ActivityDecl& activity);
// Whether the predicate is that place's test alone, passed by exactly the
// positive markings (P > 0, P >= 1, or the same written the other way
// round): the activity may then declare that its required marking decides
// its enabling (see BaseActionClass::EnablingIsRequiredMarking).
bool RequiredPositiveDecides(const ActivityDecl& activity);

// The places statements may assign: scalar places, and array places (any
// element).
struct PlaceWrites {
  std::vector<int> scalars;
  std::vector<int> arrays;
};
void CollectWrites(const std::vector<Stmt>& statements, PlaceWrites* out);

// An effect ending in an if/else-if chain: the statements before it, each
// link's condition and branch in order, and what runs when no condition
// holds (possibly nothing).
struct TrailingChain {
  std::vector<Stmt> prefix;
  std::vector<const Expr*> conditions;
  std::vector<const std::vector<Stmt>*> branches;
  const std::vector<Stmt>* otherwise = nullptr;
  // The number of firing variants: one per branch and one for none.
  int Variants() const { return static_cast<int>(branches.size()) + 1; }
};
// False when the effect's last statement is not an if.
bool SplitTrailingChain(const Effect& effect, TrailingChain* out);

}  // namespace sanmodel

#endif
