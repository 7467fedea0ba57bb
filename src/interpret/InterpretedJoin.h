// InterpretedJoin is a join of a model file: a Join whose children are built
// from the checked model (sans and nested joins) and whose shared places
// merge the children's places, in the set-up order the built-in model's
// generated join uses: the join itself, its children in order (each named
// after its submodel), SetupActions, then per shared place in declaration
// order a new place merged with each member in the order written (so the
// shared place takes the marking of the member merged last), then Setup.
//
// BuildModelTree builds the whole tree of a checked model; every san of it
// is listed in depth-first child order, the order of the checked model's
// Instances, and compiled once every merge is done and, under a join, the
// marking is packed.
//
// Ownership: a join owns its children and its shared places; the shared
// places are deleted before the children, whose merged places point at
// their cells. The top join also owns the packed marking, freed after
// every place.
#ifndef INTERPRET_INTERPRETEDJOIN_H
#define INTERPRET_INTERPRETEDJOIN_H

#include <memory>
#include <vector>

#include "Cpp/Composer/Join.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "interpret/GlobalValues.h"
#include "interpret/InterpretedSan.h"
#include "model/CheckedModel.h"

namespace saninterp {

class InterpretedJoin : public Join {
 public:
  // Appends the sans of the subtree to sans, in depth-first order.
  InterpretedJoin(const sanmodel::CheckedModel& model, int join, const GlobalValues& globals,
                  std::vector<InterpretedSan*>* sans);
  InterpretedJoin(const InterpretedJoin&) = delete;
  InterpretedJoin& operator=(const InterpretedJoin&) = delete;
  ~InterpretedJoin() override;

  Place* SharedPlace(int k) const { return Shared[static_cast<std::size_t>(k)].get(); }
  // Moves every marking cell of the sans (the tree below this join) side by
  // side into one store the join keeps, in the sans' order: a model of
  // thousands of small sans then reads and writes its marking within a few
  // cache lines, not one allocation per place. The sans' code must be
  // compiled afterwards (it keeps the cells' addresses).
  void PackMarking(const std::vector<InterpretedSan*>& sans);

 private:
  void ShareAll();
  // The place of child c that member m names.
  Place* MemberPlace(const sanmodel::ShareMember& m) const;

  const sanmodel::JoinDecl& Decl;
  std::unique_ptr<short[]> Marking;                      // the packed cells; outlives the children
  std::vector<std::unique_ptr<BaseModelClass> > Owned;  // the children, in order
  std::vector<std::unique_ptr<Place> > Shared;          // destroyed before the children
};

// The model tree of model (its top san or join), with every san's code
// compiled; sans receives the sans in Instances order. Ends the process with
// status 1 when the model cannot be built with the current global values.
std::unique_ptr<BaseModelClass> BuildModelTree(const sanmodel::CheckedModel& model, const GlobalValues& globals,
                                               std::vector<InterpretedSan*>* sans);

}  // namespace saninterp

#endif
