#include "interpret/InterpretedSan.h"

#include <algorithm>


namespace saninterp {

InterpretedSan::InterpretedSan(const sanmodel::CheckedModel& model, int san, const GlobalValues& globals)
    : Model(model), Decl(model.Sans.at(static_cast<std::size_t>(san))), Globals(globals), Code(model) {
  CreateActivities();
  CreateCaseGroups();
  CreatePlaces();
  HandOverToFramework();
  AddArcs();
}

InterpretedSan::~InterpretedSan() = default;

// Activities are constructed before anything else of the SAN: their
// construction numbers them, and the numbers order the simulator's tables.
void InterpretedSan::CreateActivities() {
  for (std::size_t a = 0; a < Decl.activities.size(); ++a) {
    const sanmodel::ActivityDecl& activity = Decl.activities[a];
    const int cases = activity.hasCases ? static_cast<int>(activity.cases.size()) : 0;
    for (int c = 0; c < std::max(cases, 1); ++c) {
      Activities.push_back(std::make_unique<InterpretedActivity>(activity, activity.hasCases ? c : -1));
      ActivityOfAction.push_back(static_cast<int>(a));
      CaseOfAction.push_back(activity.hasCases ? c : -1);
    }
  }
  for (std::size_t action = 0; action < Activities.size(); ++action) {
    const int a = ActivityOfAction[action];
    const int c = CaseOfAction[action];
    const sanmodel::ActivityDecl& activity = Decl.activities[static_cast<std::size_t>(a)];
    const std::string name = c < 0 ? activity.name : activity.name + "_case" + std::to_string(c + 1);
    Activities[action]->ActivityInitialize(
        name.c_str(), a, static_cast<Distribution>(static_cast<int>(activity.distribution)),
        static_cast<ExecutionPolicyType>(activity.policy), static_cast<int>(OutputArcs(action).size()),
        static_cast<int>(activity.reads.size()), false);
  }
}

const std::vector<int>& InterpretedSan::OutputArcs(std::size_t action) const {
  static const std::vector<int> kNone;
  const sanmodel::ActivityDecl& activity = Decl.activities[static_cast<std::size_t>(ActivityOfAction[action])];
  const std::size_t c = static_cast<std::size_t>(std::max(CaseOfAction[action], 0));
  return c < activity.cases.size() ? activity.cases[c].affects : kNone;
}

void InterpretedSan::CreateCaseGroups() {
  CaseGroups.resize(Decl.activities.size());
  for (std::size_t a = 0; a < Decl.activities.size(); ++a) {
    const sanmodel::ActivityDecl& activity = Decl.activities[a];
    if (!activity.hasCases) continue;
    auto group = std::make_unique<PostselectGroup>();
    group->initialize(static_cast<int>(activity.cases.size()), (activity.name + "Group").c_str());
    for (std::size_t action = 0; action < Activities.size(); ++action)
      if (ActivityOfAction[action] == static_cast<int>(a)) group->appendGroup(Activities[action].get());
    CaseGroups[a] = std::move(group);
  }
}

void InterpretedSan::CreatePlaces() {
  Places.resize(Decl.places.size());
  Arrays.resize(Decl.places.size());
  ElementCells.resize(Decl.places.size());
  for (std::size_t p = 0; p < Decl.places.size(); ++p) {
    const sanmodel::PlaceDecl& place = Decl.places[p];
    if (!place.isArray) {
      Places[p] = std::make_unique<Place>(place.name.c_str(), InitialMarking(place.initial, "initial marking"));
      continue;
    }
    std::string line;
    const long long length =
        modelrt::ArrayLength(Evaluate(place.length), CompiledCode::SiteOf(Model, place.length.pos, &line),
                             place.name.c_str());
    if (static_cast<long long>(place.elements.size()) > length) {
      BuildFault(place.pos, "array '" + place.name + "' has " + std::to_string(length) + " elements but " +
                                std::to_string(place.elements.size()) + " initial values");
    }
    Arrays[p] = std::make_unique<ArrayPlace>(place.name.c_str(), static_cast<int>(length));
    ElementCells[p] = Arrays[p]->Cells();
    for (std::size_t k = 0; k < place.elements.size(); ++k)
      *ElementCells[p][k] = InitialMarking(place.elements[k], "initial value");
  }
}

void InterpretedSan::HandOverToFramework() {
  std::vector<BaseStateVariableClass*> places;
  for (std::size_t p = 0; p < Decl.places.size(); ++p) places.push_back(StateVariable(static_cast<int>(p)));
  std::vector<Activity*> actions;
  for (auto& a : Activities) actions.push_back(a.get());
  std::vector<BaseGroupClass*> groups;
  for (std::size_t action = 0; action < Activities.size(); ++action) {
    const int a = ActivityOfAction[action];
    if (CaseGroups[static_cast<std::size_t>(a)] == nullptr) {
      groups.push_back(Activities[action].get());
    } else if (action == 0 || ActivityOfAction[action - 1] != a) {
      groups.push_back(CaseGroups[static_cast<std::size_t>(a)].get());
    }
  }
  initializeSANModelNow(Decl.name.c_str(), static_cast<int>(places.size()), places.data(), 0, nullptr,
                        static_cast<int>(actions.size()), actions.data(), static_cast<int>(groups.size()),
                        groups.data());
}

// Output arcs of every action first, then enabling arcs: the order fills
// the places' action lists, and through them the simulator's affects
// relation, as the built-in model's generated SANs do.
void InterpretedSan::AddArcs() {
  for (std::size_t action = 0; action < Activities.size(); ++action)
    for (int p : OutputArcs(action)) AddAffectArc(StateVariable(p), Activities[action].get());
  for (std::size_t action = 0; action < Activities.size(); ++action) {
    const sanmodel::ActivityDecl& activity = Decl.activities[static_cast<std::size_t>(ActivityOfAction[action])];
    for (int p : activity.reads) AddEnableArc(StateVariable(p), Activities[action].get());
  }
}

void InterpretedSan::ListCellOwners(std::vector<SharableSV<short>*>* out) const {
  for (std::size_t p = 0; p < Decl.places.size(); ++p) {
    if (Places[p]) {
      out->push_back(Places[p]->getMainSV());
      continue;
    }
    for (int k = 0; k < Arrays[p]->getSize(); ++k) out->push_back(Arrays[p]->index(k)->getMainSV());
  }
}

void InterpretedSan::RefreshElementCells() {
  for (std::size_t p = 0; p < Decl.places.size(); ++p)
    if (Arrays[p]) ElementCells[p] = Arrays[p]->Cells();
}

void InterpretedSan::Compile() {
  CompileScope scope;
  scope.global = [this](int g) { return Globals.Constant(g); };
  scope.place = [this](int p) { return Cell(p); };
  scope.array = [this](int p) { return Elements(p); };
  for (auto& a : Activities) a->Compile(&Code, scope);
}

BaseStateVariableClass* InterpretedSan::StateVariable(int p) const {
  const std::size_t k = static_cast<std::size_t>(p);
  if (Places[k]) return Places[k].get();
  return Arrays[k].get();
}

long long InterpretedSan::Evaluate(const sanmodel::Expr& e) const {
  CompiledCode scratch(Model);
  CompileScope scope;
  scope.global = [this](int g) { return Globals.Constant(g); };
  const int root = scratch.Expression(e, scope);
  Slot none{0};
  return scratch.Int(root, &none);
}

short InterpretedSan::InitialMarking(const sanmodel::Expr& e, const std::string& what) const {
  std::string line;
  return modelrt::InitialMarking(Evaluate(e), CompiledCode::SiteOf(Model, e.pos, &line), what.c_str());
}

void InterpretedSan::BuildFault(const sanmodel::SourcePos& pos, const std::string& what) const {
  std::string line;
  modelrt::BuildFault(CompiledCode::SiteOf(Model, pos, &line), what);
}

}  // namespace saninterp
