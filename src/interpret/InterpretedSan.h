// InterpretedSan is an atomic SAN of a model file, built through the
// framework's own classes in the order the built-in model's generated SANs
// use: the activities (one per case), the case groups, then the places; the
// SAN's arrays; the output arcs of every action, then its enabling arcs.
// Initial markings are evaluated with the study's current global values.
// The code of its activities is compiled afterwards (Compile), once every
// join above it has merged its shared places.
//
// A model the checker accepted can still be impossible with a given
// experiment or override (an array length below 1, more initial values than
// elements, a marking that does not fit a short): building then reports the
// fault and ends the process with status 1, before anything is simulated.
//
// Ownership: the SAN owns its places, arrays, activities and case groups.
// The checked model and the global values must outlive it.
#ifndef INTERPRET_INTERPRETEDSAN_H
#define INTERPRET_INTERPRETEDSAN_H

#include <memory>
#include <vector>

#include "Cpp/BaseClasses/PostselectGroup.h"
#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/ArrayPlace.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "interpret/CompiledCode.h"
#include "interpret/GlobalValues.h"
#include "interpret/InterpretedActivity.h"

namespace saninterp {

class InterpretedSan : public SANModel {
 public:
  InterpretedSan(const sanmodel::CheckedModel& model, int san, const GlobalValues& globals);
  InterpretedSan(const InterpretedSan&) = delete;
  InterpretedSan& operator=(const InterpretedSan&) = delete;
  ~InterpretedSan() override;

  // REQUIRES: every merge of the model tree is done.
  void Compile();

  // The place object of scalar place p (for joins), the cell it reads now,
  // and the element cells of array place p.
  Place* ScalarPlace(int p) const { return Places[static_cast<std::size_t>(p)].get(); }
  short* Cell(int p) const { return Places[static_cast<std::size_t>(p)]->Mark; }
  const std::vector<short*>* Elements(int p) const { return &ElementCells[static_cast<std::size_t>(p)]; }
  // Appends the owner of every marking cell the san reads (its places' and
  // elements' sharing groups), in place order.
  void ListCellOwners(std::vector<SharableSV<short>*>* out) const;
  // Takes the element cells again, after their owners moved them.
  void RefreshElementCells();

 private:
  void CreateActivities();
  void CreateCaseGroups();
  void CreatePlaces();
  void HandOverToFramework();
  void AddArcs();
  // The output arcs of action (a case, or an activity without cases).
  const std::vector<int>& OutputArcs(std::size_t action) const;
  BaseStateVariableClass* StateVariable(int p) const;
  short InitialMarking(const sanmodel::Expr& e, const std::string& what) const;
  long long Evaluate(const sanmodel::Expr& e) const;
  [[noreturn]] void BuildFault(const sanmodel::SourcePos& pos, const std::string& what) const;

  const sanmodel::CheckedModel& Model;
  const sanmodel::San& Decl;
  const GlobalValues& Globals;
  CompiledCode Code;
  std::vector<std::unique_ptr<InterpretedActivity> > Activities;  // cases expanded, in action order
  std::vector<int> ActivityOfAction;                              // declared activity of each action
  std::vector<int> CaseOfAction;                                  // its case, or -1
  std::vector<std::unique_ptr<PostselectGroup> > CaseGroups;      // by declared activity; null without cases
  std::vector<std::unique_ptr<Place> > Places;                    // by place; null for arrays
  std::vector<std::unique_ptr<ArrayPlace> > Arrays;               // by place; null for scalars
  std::vector<std::vector<short*> > ElementCells;                 // by place
};

}  // namespace saninterp

#endif
