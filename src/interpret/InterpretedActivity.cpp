#include "interpret/InterpretedActivity.h"

#include <algorithm>
#include <cstdint>

#include "codegen/ModelRuntime.h"

namespace saninterp {

using sanmodel::DistKind;

InterpretedActivity::InterpretedActivity(const sanmodel::ActivityDecl& decl, int caseIndex)
    : Decl(decl), CaseIndex(caseIndex) {}

void InterpretedActivity::Compile(CompiledCode* code, const CompileScope& scope) {
  Code = code;
  if (Decl.hasEnabled) EnabledRoot = code->Expression(Decl.enabled, scope);
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

BaseActionClass* InterpretedActivity::Fire() {
  if (StepsOnly) {
    for (const MarkingStep& step : Steps)
      *step.cell = static_cast<short>(static_cast<std::uint16_t>(*step.cell + step.delta));
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
