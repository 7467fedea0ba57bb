#include "interpret/InterpretedActivity.h"

#include <algorithm>
#include <cstdint>

#include "Cpp/BaseClasses/state/Place.h"
#include "codegen/ModelRuntime.h"

namespace saninterp {

using sanmodel::DistKind;

namespace {

bool Contains(const std::vector<int>& places, int p) { return std::find(places.begin(), places.end(), p) != places.end(); }

// Whether every place e names is one of places.
bool NamesOnly(const sanmodel::Expr& e, const std::vector<int>& places) {
  if ((e.op == sanmodel::Op::Place || e.op == sanmodel::Op::ArrayElement) && !Contains(places, e.index)) return false;
  for (const sanmodel::Expr& arg : e.args)
    if (!NamesOnly(arg, places)) return false;
  return true;
}

// The places (scalar, and arrays) the statements may assign.
struct Writes {
  std::vector<int> scalars;
  std::vector<int> arrays;
};

void CollectWrites(const std::vector<sanmodel::Stmt>& statements, Writes* out) {
  using sanmodel::StmtKind;
  using Kind = sanmodel::Target::Kind;
  for (const sanmodel::Stmt& s : statements) {
    if (s.kind == StmtKind::Block) CollectWrites(s.body, out);
    if (s.kind == StmtKind::If) {
      CollectWrites(s.body, out);
      CollectWrites(s.elseBody, out);
    }
    if (s.kind != StmtKind::Assign) continue;
    if (s.target.kind == Kind::Place) out->scalars.push_back(s.target.index);
    if (s.target.kind == Kind::ArrayElement) out->arrays.push_back(s.target.index);
  }
}

void AddCell(const short* cell, std::vector<const short*>* cells) {
  if (std::find(cells->begin(), cells->end(), cell) == cells->end()) cells->push_back(cell);
}

// The cells of the scalar places written; every element cell of an array
// written.
std::vector<const short*> CellsOf(const Writes& writes, const CompileScope& scope) {
  std::vector<const short*> cells;
  for (int p : writes.scalars) AddCell(scope.place(p), &cells);
  for (int p : writes.arrays)
    for (const short* cell : *scope.array(p)) AddCell(cell, &cells);
  return cells;
}

}  // namespace

InterpretedActivity::InterpretedActivity(const sanmodel::ActivityDecl& decl, int caseIndex)
    : Decl(decl), CaseIndex(caseIndex) {}

void InterpretedActivity::Compile(CompiledCode* code, const CompileScope& scope) {
  Code = code;
  if (Decl.hasEnabled) EnabledRoot = code->Expression(Decl.enabled, scope);
  PureEnabling = !Decl.hasEnabled || NamesOnly(Decl.enabled, Decl.reads);
  FireRoot = code->Statements(Decl.fire.statements, scope);
  std::size_t locals = Decl.fire.locals.size();
  if (CaseIndex >= 0) {
    const sanmodel::Case& c = Decl.cases.at(static_cast<std::size_t>(CaseIndex));
    CaseRoot = code->Statements(c.effect.statements, scope);
    if (c.hasWeight) WeightRoot = code->Expression(c.weight, scope);
    locals = std::max(locals, c.effect.locals.size());
  }
  RankRoot = code->Expression(Decl.rank, scope);
  if (Decl.hasReactivation) ReactivationRoot = code->Expression(Decl.reactivation, scope);
  if (Decl.hasReactivate) ReactivateRoot = code->Expression(Decl.reactivate, scope);
  for (const sanmodel::Expr& p : Decl.parameters) ParameterRoots.push_back(code->Expression(p, scope));
  Parameters.assign(ParameterRoots.size(), 0.0);
  Locals.assign(std::max<std::size_t>(locals, 1), Slot{0});
  TestsOnly = EnabledRoot >= 0 && code->MarkingTests(EnabledRoot, &Tests);
  StepsOnly = code->MarkingSteps(FireRoot, &Steps) && (CaseRoot < 0 || code->MarkingSteps(CaseRoot, &Steps));
  if (!StepsOnly) CompileChain(Decl.fire, scope);
  ConstantWeight = WeightRoot < 0 || (code->IsConstant(WeightRoot, &WeightValue) && modelrt::WeightIsValid(WeightValue));
}

bool InterpretedActivity::Enabled() {
  EnabledBefore = EnabledNow;
  if (TestsOnly) {
    EnabledNow = true;
    for (const MarkingTest& t : Tests) {
      if (!Holds(t)) {
        EnabledNow = false;
        break;
      }
    }
  } else {
    EnabledNow = EnabledRoot < 0 || Code->Truth(EnabledRoot, Locals.data());
  }
  return EnabledNow;
}

void InterpretedActivity::CompileChain(const sanmodel::Effect& effect, const CompileScope& scope) {
  using sanmodel::StmtKind;
  if (effect.statements.empty() || effect.statements.back().kind != StmtKind::If) return;
  const std::vector<sanmodel::Stmt> prefix(effect.statements.begin(), effect.statements.end() - 1);
  // What the firing may write outside the chain: the prefix, the case.
  Writes outside;
  CollectWrites(prefix, &outside);
  if (CaseIndex >= 0) CollectWrites(Decl.cases[static_cast<std::size_t>(CaseIndex)].effect.statements, &outside);
  const std::vector<const short*> outsideCells = CellsOf(outside, scope);

  if (!prefix.empty()) PrefixRoot = Code->Statements(prefix, scope);
  const sanmodel::Stmt* link = &effect.statements.back();
  const std::vector<sanmodel::Stmt>* rest = nullptr;
  while (link != nullptr) {
    ConditionRoots.push_back(Code->Expression(link->condition, scope));
    BranchRoots.push_back(Code->Statements(link->body, scope));
    Writes branch;
    CollectWrites(link->body, &branch);
    VariantCells.push_back(CellsOf(branch, scope));
    const bool elseIf = link->elseBody.size() == 1 && link->elseBody[0].kind == StmtKind::If;
    rest = elseIf ? nullptr : &link->elseBody;
    link = elseIf ? &link->elseBody[0] : nullptr;
  }
  Writes last;
  if (!rest->empty()) {
    ElseRoot = Code->Statements(*rest, scope);
    CollectWrites(*rest, &last);
  }
  VariantCells.push_back(CellsOf(last, scope));
  for (const std::vector<const short*>& cells : VariantCells)
    for (const short* cell : cells)
      if (std::find(outsideCells.begin(), outsideCells.end(), cell) == outsideCells.end()) AddCell(cell, &ChainOnlyCells);
}

void InterpretedActivity::RunChain() {
  if (PrefixRoot >= 0) Code->Run(PrefixRoot, Locals.data());
  const std::size_t branches = BranchRoots.size();
  for (std::size_t k = 0; k < branches; ++k) {
    if (Code->Truth(ConditionRoots[k], Locals.data())) {
      Code->Run(BranchRoots[k], Locals.data());
      FiredVariant = static_cast<int>(k);
      return;
    }
  }
  if (ElseRoot >= 0) Code->Run(ElseRoot, Locals.data());
  FiredVariant = static_cast<int>(branches);
}

// A variable whose cell only the chain's branches write is written by the
// branches that name it; any other (shared with the rest of the firing, an
// array element, not a place) may be written by every variant.
bool InterpretedActivity::VariantMayWrite(int variant, const BaseStateVariableClass* v) {
  const Place* place = dynamic_cast<const Place*>(v);
  if (place == nullptr) return true;
  const short* cell = place->Mark;
  if (std::find(ChainOnlyCells.begin(), ChainOnlyCells.end(), cell) == ChainOnlyCells.end()) return true;
  if (variant < 0 || variant >= static_cast<int>(VariantCells.size())) return true;
  const std::vector<const short*>& cells = VariantCells[static_cast<std::size_t>(variant)];
  return std::find(cells.begin(), cells.end(), cell) != cells.end();
}

BaseActionClass* InterpretedActivity::Fire() {
  if (StepsOnly) {
    for (const MarkingStep& step : Steps)
      *step.cell = static_cast<short>(static_cast<std::uint16_t>(*step.cell + step.delta));
    return this;
  }
  if (!VariantCells.empty()) {
    RunChain();
    if (CaseRoot >= 0) Code->Run(CaseRoot, Locals.data());
    return this;
  }
  Code->Run(FireRoot, Locals.data());
  if (CaseRoot >= 0) Code->Run(CaseRoot, Locals.data());
  return this;
}

double InterpretedActivity::Weight() {
  if (ConstantWeight) return WeightValue;
  const double w = Code->AsReal(WeightRoot, Locals.data());
  if (modelrt::WeightIsValid(w)) return w;
  Code->Fault(Decl.cases[static_cast<std::size_t>(CaseIndex)].weight.pos, modelrt::WeightFaultText(w));
  return 0.0;
}

double InterpretedActivity::Rate() {
  if (Decl.distribution != DistKind::Exponential || !EvaluateParameters()) return 0.0;
  return Parameters[0];
}

int InterpretedActivity::Rank() { return static_cast<int>(Code->Int(RankRoot, Locals.data())); }

bool InterpretedActivity::ReactivationPredicate() {
  return ReactivationRoot >= 0 && Code->Truth(ReactivationRoot, Locals.data());
}

bool InterpretedActivity::ReactivationFunction() {
  return ReactivateRoot >= 0 && Code->Truth(ReactivateRoot, Locals.data());
}

bool InterpretedActivity::TimingIsInstantaneous() {
  return Decl.distribution == DistKind::Instantaneous && !Decl.hasReactivation;
}

double* InterpretedActivity::ReturnDistributionParameters() {
  if (Parameters.empty()) return nullptr;
  EvaluateParameters();
  return Parameters.data();
}


bool InterpretedActivity::EvaluateParameters() {
  for (std::size_t k = 0; k < ParameterRoots.size(); ++k)
    Parameters[k] = Code->AsReal(ParameterRoots[k], Locals.data());
  const int code = static_cast<int>(Decl.distribution);
  const char* problem = modelrt::DomainProblem(code, Parameters.data(), Parameters.size());
  if (problem == nullptr) return true;
  Code->Fault(Decl.distributionPos, modelrt::DelayFaultText(Parameters.data(), Parameters.size(), problem));
  return false;
}

double InterpretedActivity::SampleDistribution() {
  if (Decl.distribution == DistKind::Instantaneous) return 0.0;
  if (!EvaluateParameters()) return 0.0;
  return modelrt::SampleDelay(static_cast<int>(Decl.distribution), Parameters.data(), Parameters.size());
}

}  // namespace saninterp
