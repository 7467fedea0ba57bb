#include "interpret/InterpretedActivity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>

#include "random/UserDistributions.h"

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
  ConstantWeight = WeightRoot < 0 || (code->IsConstant(WeightRoot, &WeightValue) && WeightValue >= 0.0 &&
                                      WeightValue < std::numeric_limits<double>::infinity());
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
  if (!(w >= 0.0) || std::isinf(w)) {
    std::ostringstream what;
    what << "case weight " << w << " is not a finite number at least 0";
    Code->Fault(Decl.cases[static_cast<std::size_t>(CaseIndex)].weight.pos, what.str());
    return 0.0;
  }
  return w;
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

namespace {

// The domain each distribution's parameters must lie in; an empty text when
// they do. p holds n parameters.
std::string DomainProblem(DistKind kind, const double* p, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k)
    if (!std::isfinite(p[k])) return "is not a finite number";
  switch (kind) {
    case DistKind::Exponential:
      return p[0] > 0 ? "" : "rate must be above 0";
    case DistKind::Deterministic:
      return p[0] >= 0 ? "" : "value must be at least 0";
    case DistKind::Uniform:
      return 0 <= p[0] && p[0] <= p[1] ? "" : "needs 0 <= lower <= upper";
    case DistKind::Erlang:
      return p[0] >= 1 && p[1] > 0 ? "" : "needs stages >= 1 and mean > 0";
    case DistKind::HypoExponential:
      for (std::size_t k = 0; k < n; ++k)
        if (!(p[k] > 0)) return "every rate must be above 0";
      return "";
    case DistKind::HyperExponential: {
      double total = 0;
      for (std::size_t k = 0; k + 1 < n; k += 2) {
        if (!(p[k] > 0) || !(p[k + 1] >= 0)) return "needs rates above 0 and weights at least 0";
        total += p[k + 1];
      }
      return total > 0 ? "" : "the weights must not all be 0";
    }
    case DistKind::Weibull:
    case DistKind::Gamma:
    case DistKind::Beta:
    case DistKind::Pareto:
      return p[0] > 0 && p[1] > 0 ? "" : "both parameters must be above 0";
    case DistKind::Normal:
    case DistKind::Lognormal:
      return p[1] >= 0 ? "" : "variance must be at least 0";
    case DistKind::Triangular:
      return 0 <= p[0] && p[0] <= p[2] && p[2] <= p[1] ? "" : "needs 0 <= lower <= mode <= upper";
    case DistKind::Geometric:
      return p[0] > 0 && p[0] <= 1 ? "" : "p must be in (0, 1]";
    case DistKind::Binomial:
      return p[0] >= 0 && p[1] >= 0 && p[1] <= 1 ? "" : "needs trials >= 0 and 0 <= p <= 1";
    case DistKind::NegativeBinomial:
      return p[0] >= 1 && p[1] > 0 && p[1] <= 1 ? "" : "needs count >= 1 and 0 < p <= 1";
    default:
      return "";
  }
}

}  // namespace

bool InterpretedActivity::EvaluateParameters() {
  for (std::size_t k = 0; k < ParameterRoots.size(); ++k)
    Parameters[k] = Code->AsReal(ParameterRoots[k], Locals.data());
  const std::string problem = DomainProblem(Decl.distribution, Parameters.data(), Parameters.size());
  if (problem.empty()) return true;
  std::ostringstream what;
  what << "delay parameters (";
  for (std::size_t k = 0; k < Parameters.size(); ++k) what << (k ? ", " : "") << Parameters[k];
  what << ") outside the distribution's domain: " << problem;
  Code->Fault(Decl.distributionPos, what.str());
  return false;
}

double InterpretedActivity::SampleDistribution() {
  if (Decl.distribution == DistKind::Instantaneous) return 0.0;
  if (!EvaluateParameters()) return 0.0;
  Distributions* d = TheDistribution;
  const double* p = Parameters.data();
  switch (Decl.distribution) {
    case DistKind::Exponential: return d->Exponential(p[0]);
    case DistKind::Deterministic: return d->Deterministic(p[0]);
    case DistKind::Uniform: return d->Uniform(p[0], p[1]);
    case DistKind::Erlang: return d->Erlang(p[0], p[1]);
    case DistKind::HypoExponential: return d->HypoExponential(static_cast<int>(Parameters.size()), Parameters.data());
    case DistKind::HyperExponential:
      return d->HyperExponential(static_cast<int>(Parameters.size() / 2), Parameters.data());
    case DistKind::Weibull: return d->Weibull(p[0], p[1]);
    case DistKind::Normal: return d->Normal(p[0], p[1]);
    case DistKind::Lognormal: return d->Lognormal(p[0], p[1]);
    case DistKind::Gamma: return d->Gamma(p[0], p[1]);
    case DistKind::Beta: return d->Beta(p[0], p[1]);
    case DistKind::Triangular: return d->Triangular(p[0], p[1], p[2]);
    case DistKind::Pareto: return d->Pareto(p[0], p[1]);
    case DistKind::Geometric: return d->Geometric(p[0]);
    case DistKind::Binomial: return d->Binomial(p[0], p[1]);
    case DistKind::NegativeBinomial: return d->NegativeBinomial(p[0], p[1]);
    default: return 0.0;
  }
}

}  // namespace saninterp
