#include "codegen/ModelRuntime.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "Cpp/BaseClasses/ActionCodes.h"
#include "model/Diagnostic.h"
#include "random/UserDistributions.h"
#include "simulator/ModelFault.h"

namespace modelrt {

std::string Describe(const Site& site, const std::string& what) {
  // The diagnostic formatter quotes line `line` of the source: give it the
  // one line it needs at that position.
  const std::vector<std::string> files = {site.file};
  const std::vector<std::string> sources = {std::string(static_cast<std::size_t>(site.line - 1), '\n') + site.text};
  sanmodel::SourcePos pos;
  pos.file = 0;
  pos.line = site.line;
  pos.column = site.column;
  pos.length = site.length;
  return sanmodel::FormatDiagnostic(sanmodel::Diagnostic{pos, what}, files, sources);
}

void Fault(const Site& site, const std::string& what) {
  if (ModelFault::Raised()) return;
  ModelFault::Raise(Describe(site, what));
}

void BuildFault(const Site& site, const std::string& what) {
  std::cout << std::flush;
  std::cerr << Describe(site, what) << std::endl;
  std::exit(1);
}

short InitialMarking(long long v, const Site& site, const char* what) {
  if (v < -32768 || v > 32767)
    BuildFault(site, std::string(what) + " " + std::to_string(v) + " does not fit a marking (-32768 to 32767)");
  return static_cast<short>(v);
}

int ArrayLength(long long v, const Site& site, const char* name) {
  if (v < 1 || v > 100000)
    BuildFault(site, "array '" + std::string(name) + "' has length " + std::to_string(v) +
                         "; it must be from 1 to 100000");
  return static_cast<int>(v);
}

long long DivisionFault(const Site& site, bool division) {
  Fault(site, division ? "division by zero" : "remainder by zero");
  return 0;
}

short& IndexFault(const Site& site, long long k, std::size_t size) {
  static short scratch = 0;
  Fault(site, "index " + std::to_string(k) + " is outside the array (0 to " + std::to_string(size - 1) + ")");
  scratch = 0;
  return scratch;
}

namespace {

long long Whole(double r, const Site& site) {
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) {
    Fault(site, "the value does not fit a whole number");
    return 0;
  }
  return static_cast<long long>(r);
}

double InDomain(double r, bool outside, const Site& site) {
  if (std::isnan(r) || outside) {
    Fault(site, "argument outside the function's domain");
    return 0.0;
  }
  return r;
}

}  // namespace

long long Floor(double x, const Site& site) { return Whole(std::floor(x), site); }
long long Ceil(double x, const Site& site) { return Whole(std::ceil(x), site); }
long long Round(double x, const Site& site) { return Whole(std::round(x), site); }
double Sqrt(double x, const Site& site) { return InDomain(std::sqrt(x), false, site); }
double Log(double x, const Site& site) { return InDomain(std::log(x), x == 0.0, site); }
double Pow(double x, double y, const Site& site) { return InDomain(std::pow(x, y), false, site); }

const char* DomainProblem(int distribution, const double* p, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k)
    if (!std::isfinite(p[k])) return "is not a finite number";
  switch (distribution) {
    case EXPONENTIAL:
      return p[0] > 0 ? nullptr : "rate must be above 0";
    case DETERMINISTIC:
      return p[0] >= 0 ? nullptr : "value must be at least 0";
    case UNIFORM:
      return 0 <= p[0] && p[0] <= p[1] ? nullptr : "needs 0 <= lower <= upper";
    case ERLANG:
      return p[0] >= 1 && p[1] > 0 ? nullptr : "needs stages >= 1 and mean > 0";
    case HYPO_EXPONENTIAL:
      for (std::size_t k = 0; k < n; ++k)
        if (!(p[k] > 0)) return "every rate must be above 0";
      return nullptr;
    case HYPER_EXPONENTIAL: {
      double total = 0;
      for (std::size_t k = 0; k + 1 < n; k += 2) {
        if (!(p[k] > 0) || !(p[k + 1] >= 0)) return "needs rates above 0 and weights at least 0";
        total += p[k + 1];
      }
      return total > 0 ? nullptr : "the weights must not all be 0";
    }
    case WEIBULL:
    case GAMMA:
    case BETA:
    case PARETO:
      return p[0] > 0 && p[1] > 0 ? nullptr : "both parameters must be above 0";
    case NORMAL:
    case LOGNORMAL:
      return p[1] >= 0 ? nullptr : "variance must be at least 0";
    case TRIANGULAR:
      return 0 <= p[0] && p[0] <= p[2] && p[2] <= p[1] ? nullptr : "needs 0 <= lower <= mode <= upper";
    case GEOMETRIC:
      return p[0] > 0 && p[0] <= 1 ? nullptr : "p must be in (0, 1]";
    case BINOMIAL:
      return p[0] >= 0 && p[1] >= 0 && p[1] <= 1 ? nullptr : "needs trials >= 0 and 0 <= p <= 1";
    case NEGATIVE_BINOMIAL:
      return p[0] >= 1 && p[1] > 0 && p[1] <= 1 ? nullptr : "needs count >= 1 and 0 < p <= 1";
    default:
      return nullptr;
  }
}

std::string DelayFaultText(const double* p, std::size_t n, const char* problem) {
  std::ostringstream what;
  what << "delay parameters (";
  for (std::size_t k = 0; k < n; ++k) what << (k ? ", " : "") << p[k];
  what << ") outside the distribution's domain: " << problem;
  return what.str();
}

bool CheckDelayParameters(int distribution, const double* p, std::size_t n, const Site& site) {
  const char* problem = DomainProblem(distribution, p, n);
  if (problem == nullptr) return true;
  Fault(site, DelayFaultText(p, n, problem));
  return false;
}

double SampleDelay(int distribution, double* p, std::size_t n) {
  Distributions* d = TheDistribution;
  switch (distribution) {
    case EXPONENTIAL: return d->Exponential(p[0]);
    case DETERMINISTIC: return d->Deterministic(p[0]);
    case UNIFORM: return d->Uniform(p[0], p[1]);
    case ERLANG: return d->Erlang(p[0], p[1]);
    case HYPO_EXPONENTIAL: return d->HypoExponential(static_cast<int>(n), p);
    case HYPER_EXPONENTIAL: return d->HyperExponential(static_cast<int>(n / 2), p);
    case WEIBULL: return d->Weibull(p[0], p[1]);
    case NORMAL: return d->Normal(p[0], p[1]);
    case LOGNORMAL: return d->Lognormal(p[0], p[1]);
    case GAMMA: return d->Gamma(p[0], p[1]);
    case BETA: return d->Beta(p[0], p[1]);
    case TRIANGULAR: return d->Triangular(p[0], p[1], p[2]);
    case PARETO: return d->Pareto(p[0], p[1]);
    case GEOMETRIC: return d->Geometric(p[0]);
    case BINOMIAL: return d->Binomial(p[0], p[1]);
    case NEGATIVE_BINOMIAL: return d->NegativeBinomial(p[0], p[1]);
    default: return 0.0;
  }
}

std::string WeightFaultText(double w) {
  std::ostringstream what;
  what << "case weight " << w << " is not a finite number at least 0";
  return what.str();
}

}  // namespace modelrt
