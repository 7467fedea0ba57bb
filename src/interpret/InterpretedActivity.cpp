#include "interpret/InterpretedActivity.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "Cpp/BaseClasses/state/Place.h"
#include "codegen/ModelRuntime.h"
#include "model/EffectShape.h"

namespace saninterp {

using sanmodel::DistKind;

namespace {

// The longest tests, steps or constant parameters the fast paths take: what
// their 16-bit lengths hold.
constexpr std::size_t kMaxCount = std::numeric_limits<std::uint16_t>::max();

void AddCell(const short* cell, std::vector<const short*>* cells) {
  if (std::find(cells->begin(), cells->end(), cell) == cells->end()) cells->push_back(cell);
}

// The cells of the scalar places written; every element cell of an array
// written.
std::vector<const short*> CellsOf(const sanmodel::PlaceWrites& writes, const CompileScope& scope) {
  std::vector<const short*> cells;
  for (int p : writes.scalars) AddCell(scope.place(p), &cells);
  for (int p : writes.arrays)
    for (const short* cell : *scope.array(p)) AddCell(cell, &cells);
  return cells;
}

}  // namespace

InterpretedActivity::InterpretedActivity(const sanmodel::ActivityDecl& decl, int caseIndex)
    : Distribution(decl.distribution), Decl(decl), CaseIndex(caseIndex) {}

void InterpretedActivity::Compile(CompiledCode* code, const CompileScope& scope) {
  Code = code;
  if (Decl.hasEnabled) EnabledRoot = code->Expression(Decl.enabled, scope);
  PureEnabling = sanmodel::EnablingNamesOnlyReads(Decl);
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
  std::vector<int> roots;
  for (const sanmodel::Expr& p : Decl.parameters) roots.push_back(code->Expression(p, scope));
  ParameterRoots.assign(roots);
  Parameters.assign(std::vector<double>(roots.size(), 0.0), &FarParameters);
  Locals.assign(std::max<std::size_t>(locals, 1), Slot{0});
  CompileConstants();
  AsksReactivation = ReactivationRoot >= 0;
  std::vector<MarkingTest> tests;
  TestsOnly = (EnabledRoot < 0 || code->MarkingTests(EnabledRoot, &tests)) && tests.size() <= kMaxCount;
  if (TestsOnly) {
    Tests.assign(tests, &FarTests);
    TestCount = static_cast<std::uint16_t>(tests.size());
  }
  std::vector<MarkingStep> steps;
  StepsOnly = code->MarkingSteps(FireRoot, &steps) && (CaseRoot < 0 || code->MarkingSteps(CaseRoot, &steps)) &&
              steps.size() <= kMaxCount;
  if (StepsOnly) {
    Steps.assign(steps, &FarSteps);
    StepCount = static_cast<std::uint16_t>(steps.size());
  }
  if (!StepsOnly) CompileChain(Decl.fire, scope);
  ConstantWeight = WeightRoot < 0 || (code->IsConstant(WeightRoot, &WeightValue) && modelrt::WeightIsValid(WeightValue));
}

// Constant delay parameters and a constant rank are evaluated once, here,
// by the code that would evaluate them at every firing or tie: a model of
// many activities then reads no code of theirs per delay or tie. Parameters
// outside their domain are left to be faulted at the firing, as any other.
void InterpretedActivity::CompileConstants() {
  double ignored = 0.0;
  ConstantParameters = ParameterRoots.size() > 0 && ParameterRoots.size() <= kMaxCount;
  for (std::size_t k = 0; k < ParameterRoots.size() && ConstantParameters; ++k) {
    ConstantParameters = Code->IsConstant(ParameterRoots[k], &ignored);
  }
  if (ConstantParameters) {
    const std::size_t n = ParameterRoots.size();
    double* parameters = Parameters.data(n);
    for (std::size_t k = 0; k < n; ++k) parameters[k] = Code->AsReal(ParameterRoots[k], Locals.data());
    const int distribution = static_cast<int>(Decl.distribution);
    ConstantParameters = modelrt::DomainProblem(distribution, parameters, n) == nullptr;
    ConstantCount = static_cast<std::uint16_t>(n);
  }
  ConstantRank = Code->IsConstant(RankRoot, &ignored);
  if (ConstantRank) RankValue = static_cast<int>(Code->Int(RankRoot, Locals.data()));
}

const short* InterpretedActivity::RequiredMarking() {
  if (!TestsOnly) return nullptr;
  const MarkingTest* tests = Tests.data(TestCount);
  for (std::size_t k = 0; k < TestCount; ++k)
    if (!tests[k].outside && tests[k].low >= 1 && tests[k].low <= tests[k].high) return tests[k].cell;
  return nullptr;
}

bool InterpretedActivity::EnablingIsRequiredMarking() {
  if (!TestsOnly || TestCount != 1) return false;
  const MarkingTest& test = Tests.data(TestCount)[0];
  return !test.outside && test.low == 1 && test.high == std::numeric_limits<short>::max();
}

bool InterpretedActivity::Enabled() {
  EnabledBefore = EnabledNow;
  if (TestsOnly) {
    EnabledNow = true;
    const MarkingTest* tests = Tests.data(TestCount);
    for (std::size_t k = 0; k < TestCount; ++k) {
      if (!Holds(tests[k])) {
        EnabledNow = false;
        break;
      }
    }
  } else {
    EnabledNow = Code->Truth(EnabledRoot, Locals.data());
  }
  return EnabledNow;
}

void InterpretedActivity::CompileChain(const sanmodel::Effect& effect, const CompileScope& scope) {
  sanmodel::TrailingChain chain;
  if (!sanmodel::SplitTrailingChain(effect, &chain)) return;
  // What the firing may write outside the chain: the prefix, the case.
  sanmodel::PlaceWrites outside;
  sanmodel::CollectWrites(chain.prefix, &outside);
  if (CaseIndex >= 0) sanmodel::CollectWrites(Decl.cases[static_cast<std::size_t>(CaseIndex)].effect.statements, &outside);
  const std::vector<const short*> outsideCells = CellsOf(outside, scope);

  Variants = std::make_unique<Chain>();
  Chain& c = *Variants;
  if (!chain.prefix.empty()) c.Prefix = Code->Statements(chain.prefix, scope);
  for (std::size_t k = 0; k < chain.branches.size(); ++k) {
    c.Conditions.push_back(Code->Expression(*chain.conditions[k], scope));
    c.Branches.push_back(Code->Statements(*chain.branches[k], scope));
  }
  if (!chain.otherwise->empty()) c.Else = Code->Statements(*chain.otherwise, scope);
  for (int v = 0; v < chain.Variants(); ++v) {
    const std::size_t k = static_cast<std::size_t>(v);
    sanmodel::PlaceWrites writes;
    sanmodel::CollectWrites(k < chain.branches.size() ? *chain.branches[k] : *chain.otherwise, &writes);
    c.VariantCells.push_back(CellsOf(writes, scope));
  }
  for (const std::vector<const short*>& cells : c.VariantCells)
    for (const short* cell : cells)
      if (std::find(outsideCells.begin(), outsideCells.end(), cell) == outsideCells.end()) AddCell(cell, &c.ChainOnlyCells);
}

void InterpretedActivity::RunChain() {
  const Chain& c = *Variants;
  if (c.Prefix >= 0) Code->Run(c.Prefix, Locals.data());
  const std::size_t branches = c.Branches.size();
  for (std::size_t k = 0; k < branches; ++k) {
    if (Code->Truth(c.Conditions[k], Locals.data())) {
      Code->Run(c.Branches[k], Locals.data());
      FiredVariant = static_cast<int>(k);
      return;
    }
  }
  if (c.Else >= 0) Code->Run(c.Else, Locals.data());
  FiredVariant = static_cast<int>(branches);
}

// A variable whose cell only the chain's branches write is written by the
// branches that name it; any other (shared with the rest of the firing, an
// array element, not a place) may be written by every variant.
bool InterpretedActivity::VariantMayWrite(int variant, const BaseStateVariableClass* v) {
  const Place* place = dynamic_cast<const Place*>(v);
  if (place == nullptr || !Variants) return true;
  const Chain& c = *Variants;
  const short* cell = place->Mark;
  if (std::find(c.ChainOnlyCells.begin(), c.ChainOnlyCells.end(), cell) == c.ChainOnlyCells.end()) return true;
  if (variant < 0 || variant >= static_cast<int>(c.VariantCells.size())) return true;
  const std::vector<const short*>& cells = c.VariantCells[static_cast<std::size_t>(variant)];
  return std::find(cells.begin(), cells.end(), cell) != cells.end();
}

unsigned InterpretedActivity::HotLines() {
  const char* self = reinterpret_cast<const char*>(static_cast<BaseActionClass*>(this));
  const auto lineOf = [self](const void* byte) { return (static_cast<const char*>(byte) - self) / 64; };
  const auto first = lineOf(&EnabledNow);
  const auto last = lineOf(reinterpret_cast<const char*>(&Tests + 1) - 1);
  unsigned lines = 0;
  for (auto k = first; k <= last && k < 32; ++k) lines |= 1u << k;
  return lines;
}

BaseActionClass* InterpretedActivity::Fire() {
  if (StepsOnly) {
    const MarkingStep* steps = Steps.data(StepCount);
    for (std::size_t k = 0; k < StepCount; ++k)
      *steps[k].cell = static_cast<short>(static_cast<std::uint16_t>(*steps[k].cell + steps[k].delta));
    return this;
  }
  if (Variants) {
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
  if (Distribution != DistKind::Exponential || !EvaluateParameters()) return 0.0;
  return Parameters.data(ParameterRoots.size())[0];
}

int InterpretedActivity::Rank() {
  return ConstantRank ? RankValue : static_cast<int>(Code->Int(RankRoot, Locals.data()));
}

bool InterpretedActivity::ReactivationPredicate() {
  return AsksReactivation && Code->Truth(ReactivationRoot, Locals.data());
}

bool InterpretedActivity::ReactivationFunction() {
  return ReactivateRoot >= 0 && Code->Truth(ReactivateRoot, Locals.data());
}

bool InterpretedActivity::TimingIsInstantaneous() {
  return Decl.distribution == DistKind::Instantaneous && !Decl.hasReactivation;
}

double* InterpretedActivity::ReturnDistributionParameters() {
  if (ParameterRoots.empty()) return nullptr;
  EvaluateParameters();
  return Parameters.data(ParameterRoots.size());
}


bool InterpretedActivity::EvaluateParameters() {
  if (ConstantParameters) return true;
  const std::size_t n = ParameterRoots.size();
  double* parameters = Parameters.data(n);
  for (std::size_t k = 0; k < n; ++k) parameters[k] = Code->AsReal(ParameterRoots[k], Locals.data());
  const int code = static_cast<int>(Distribution);
  const char* problem = modelrt::DomainProblem(code, parameters, n);
  if (problem == nullptr) return true;
  Code->Fault(Decl.distributionPos, modelrt::DelayFaultText(parameters, n, problem));
  return false;
}

double InterpretedActivity::SampleDistribution() {
  if (Distribution == DistKind::Instantaneous) return 0.0;
  if (ConstantParameters) {
    return modelrt::SampleDelay(static_cast<int>(Distribution), Parameters.data(ConstantCount), ConstantCount);
  }
  if (!EvaluateParameters()) return 0.0;
  const std::size_t n = ParameterRoots.size();
  return modelrt::SampleDelay(static_cast<int>(Distribution), Parameters.data(n), n);
}

}  // namespace saninterp
