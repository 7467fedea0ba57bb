#include "interpret/InterpretedJoin.h"

#include <unordered_set>

namespace saninterp {

namespace {

std::vector<const char*> SharedNames(const sanmodel::JoinDecl& join) {
  std::vector<const char*> names;
  for (const sanmodel::SharedPlace& s : join.shared) names.push_back(s.name.c_str());
  return names;
}

std::unique_ptr<BaseModelClass> BuildChild(const sanmodel::CheckedModel& model, bool isJoin, int index,
                                           const GlobalValues& globals, std::vector<InterpretedSan*>* sans) {
  if (isJoin) return std::make_unique<InterpretedJoin>(model, index, globals, sans);
  auto san = std::make_unique<InterpretedSan>(model, index, globals);
  sans->push_back(san.get());
  return san;
}

}  // namespace

InterpretedJoin::InterpretedJoin(const sanmodel::CheckedModel& model, int join, const GlobalValues& globals,
                                 std::vector<InterpretedSan*>* sans)
    : Join(model.Joins.at(static_cast<std::size_t>(join)).name.c_str(),
           static_cast<int>(model.Joins[static_cast<std::size_t>(join)].children.size()),
           static_cast<int>(model.Joins[static_cast<std::size_t>(join)].shared.size()),
           SharedNames(model.Joins[static_cast<std::size_t>(join)]).data()),
      Decl(model.Joins[static_cast<std::size_t>(join)]) {
  for (std::size_t c = 0; c < Decl.children.size(); ++c) {
    const sanmodel::Submodel& child = Decl.children[c];
    Owned.push_back(BuildChild(model, child.isJoin, child.model, globals, sans));
    Children[c] = Owned.back().get();
    Owned.back()->DefineName(child.name.c_str());
  }
  SetupActions();
  if (AllChildrenEmpty()) {
    NumSharedStateVariables = 0;
  } else {
    ShareAll();
  }
  Setup();
}

InterpretedJoin::~InterpretedJoin() {
  Shared.clear();
  Owned.clear();
}

void InterpretedJoin::ShareAll() {
  for (const sanmodel::SharedPlace& s : Decl.shared) {
    Shared.push_back(std::make_unique<Place>(s.name.c_str()));
    Place* shared = Shared.back().get();
    addSharedPtr(shared, s.name.c_str());
    for (const sanmodel::ShareMember& m : s.members) {
      BaseModelClass* child = Owned[static_cast<std::size_t>(m.child)].get();
      if (child->getNumStateVariables() <= 0) continue;
      Place* member = MemberPlace(m);
      shared->ShareWith(member);
      addSharingInfo(member, shared, child);
    }
  }
}

Place* InterpretedJoin::MemberPlace(const sanmodel::ShareMember& m) const {
  const sanmodel::Submodel& child = Decl.children[static_cast<std::size_t>(m.child)];
  BaseModelClass* object = Owned[static_cast<std::size_t>(m.child)].get();
  if (child.isJoin) return static_cast<InterpretedJoin*>(object)->SharedPlace(m.place);
  return static_cast<InterpretedSan*>(object)->ScalarPlace(m.place);
}

void InterpretedJoin::PackMarking(const std::vector<InterpretedSan*>& sans) {
  std::vector<SharableSV<short>*> owners;
  for (const InterpretedSan* san : sans) san->ListCellOwners(&owners);
  std::unordered_set<const SharableSV<short>*> seen;
  std::vector<SharableSV<short>*> distinct;
  for (SharableSV<short>* owner : owners)
    if (seen.insert(owner).second) distinct.push_back(owner);
  Marking = std::make_unique<short[]>(distinct.size());
  for (std::size_t k = 0; k < distinct.size(); ++k) distinct[k]->MoveCellTo(&Marking[k]);
  for (InterpretedSan* san : sans) san->RefreshElementCells();
}

std::unique_ptr<BaseModelClass> BuildModelTree(const sanmodel::CheckedModel& model, const GlobalValues& globals,
                                               std::vector<InterpretedSan*>* sans) {
  std::unique_ptr<BaseModelClass> top = BuildChild(model, model.TopIsJoin, model.Top, globals, sans);
  if (model.TopIsJoin) static_cast<InterpretedJoin*>(top.get())->PackMarking(*sans);
  for (InterpretedSan* san : *sans) san->Compile();
  return top;
}

}  // namespace saninterp
