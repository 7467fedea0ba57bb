// Distributions turns the uniform variates of its generator into samples of
// the delay distributions activities use. Each routine draws its variates as
// successive rnd() calls, in the order documented beside it; the number of
// variates drawn is part of the behaviour (it decides every later sample of
// the run).
//
// Ownership: the object owns its generator and deletes it on destruction or
// when another one is installed with setGenerator.
//
// No routine checks its parameters: a rate of 0, a probability outside
// (0, 1) or a negative variance give infinities or NaNs.
// Not thread-safe: used by the simulation thread only.
#ifndef DISTRIBUTIONS_H
#define DISTRIBUTIONS_H

#include "random/RandomNumberGenerator.h"

class Distributions {
 public:
  // Installs a new, unseeded LaggedFibonacci.
  Distributions();
  Distributions(const Distributions&) = delete;
  Distributions& operator=(const Distributions&) = delete;
  virtual ~Distributions();

  RandomNumberGenerator* getGenerator() { return generator; }
  // Deletes the current generator and takes ownership of the new one.
  void setGenerator(RandomNumberGenerator* replacement);

  // -ln(u) / rate.
  double Exponential(double rate);
  // value; draws nothing.
  double Deterministic(double value);
  // floor(ln(u) / ln(1 - p)).
  double Geometric(double p);
  // scale * (-ln u)^(1/shape).
  double Weibull(double shape, double scale);
  // The remaining life of a Weibull lifetime that has already lasted age.
  double ConditionalWeibull(double shape, double scale, double age);
  // Polar method, resampled until the result is not negative: a delay is
  // never negative. Draws pairs of variates.
  double Normal(double mean, double variance);
  // e^(mu + sigma z), z from one accepted polar pair.
  double Lognormal(double mu, double variance);
  // Sum of floor(stages) exponential stages with the given overall mean;
  // fewer than one stage draws nothing and gives -0.
  double Erlang(double stages, double mean);
  // Draws nothing when lower == upper.
  double Triangular(double lower, double upper, double mode);
  // Cheng's GB for shape > 1, one exponential for shape == 1, Ahrens and
  // Dieter's GS for shape < 1.
  double Gamma(double shape, double scale);
  // x / (x + y), x = Gamma(a, 1) drawn before y = Gamma(b, 1).
  double Beta(double a, double b);
  // lower + (upper - lower) u.
  double Uniform(double lower, double upper);
  // Draws exactly one variate per trial, whatever the outcome.
  double Binomial(double trials, double p);
  // Sum of count geometric samples.
  double NegativeBinomial(double count, double p);
  // pairs holds n (rate, weight) pairs; one variate picks the branch by
  // weight, a second samples its exponential. Weights need not sum to 1.
  double HyperExponential(int n, double* pairs);
  // Sum of n exponential stages with the given rates.
  double HypoExponential(int n, double* rates);
  // scale u^(-1/shape).
  double Pareto(double scale, double shape);

 protected:
  RandomNumberGenerator* generator;

 private:
  double Uniform01() { return generator->rnd(); }
  double GammaUnitScale(double shape);
  // One accepted polar pair: returns c1 * sqrt(-2 ln s / s).
  double PolarDeviate();
};

#endif
