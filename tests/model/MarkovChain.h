// MarkovChain is a small continuous-time Markov chain on the states 0..n-1,
// given by its transition rates, for the exact values the example models are
// checked against: the steady-state distribution (balance equations solved
// by Gaussian elimination), and from a start distribution the state
// distribution at t and its integral over [0, t] (uniformisation).
//
// Dense and meant for a few dozen states. A plain value; not thread-safe.
#ifndef TESTS_MODEL_MARKOVCHAIN_H
#define TESTS_MODEL_MARKOVCHAIN_H

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>
#include <vector>

class MarkovChain {
 public:
  explicit MarkovChain(int states) : n_(states), rate_(states, std::vector<double>(states, 0.0)) {}

  // Rates to the same pair add up; a rate from a state to itself is ignored.
  void AddRate(int from, int to, double rate) {
    if (from != to && rate > 0) rate_[from][to] += rate;
  }

  // REQUIRES: the chain is irreducible (else the solution is not unique).
  std::vector<double> SteadyState() const {
    // pi Q = 0 is Q^T pi^T = 0; its last equation is replaced by sum(pi) = 1.
    std::vector<std::vector<double>> a(n_, std::vector<double>(n_ + 1, 0.0));
    for (int i = 0; i < n_; i++)
      for (int j = 0; j < n_; j++) a[j][i] = i == j ? -ExitRate(i) : rate_[i][j];
    for (int i = 0; i < n_; i++) a[n_ - 1][i] = 1.0;
    a[n_ - 1][n_] = 1.0;
    return Solve(std::move(a));
  }

  // The distribution at t of the chain started from `initial`.
  std::vector<double> Transient(const std::vector<double>& initial, double t) const {
    return Uniformise(initial, t, false);
  }

  // The integral over [0, t] of the distribution at s: entry i is the
  // expected time spent in state i during [0, t].
  std::vector<double> Accumulated(const std::vector<double>& initial, double t) const {
    return Uniformise(initial, t, true);
  }

 private:
  double ExitRate(int i) const {
    double sum = 0;
    for (double r : rate_[i]) sum += r;
    return sum;
  }

  // Gaussian elimination with partial pivoting on the augmented matrix.
  std::vector<double> Solve(std::vector<std::vector<double>> a) const {
    for (int col = 0; col < n_; col++) {
      int pivot = col;
      for (int r = col + 1; r < n_; r++)
        if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
      std::swap(a[col], a[pivot]);
      assert(a[col][col] != 0.0);
      for (int r = 0; r < n_; r++) {
        if (r == col || a[r][col] == 0.0) continue;
        const double f = a[r][col] / a[col][col];
        for (int c = col; c <= n_; c++) a[r][c] -= f * a[col][c];
      }
    }
    std::vector<double> x(n_);
    for (int i = 0; i < n_; i++) x[i] = a[i][n_] / a[i][i];
    return x;
  }

  // With q at least every exit rate and P = I + Q/q, the distribution at t
  // is sum_k v_k Poisson(k; qt) with v_k = initial P^k. Integrating the
  // Poisson weights over [0, t] gives P(Poisson(qt) > k) / q instead.
  // The sum stops once the Poisson mass left is below 1e-13 of the whole.
  // REQUIRES: qt below about 700, where e^(-qt) is still a normal double.
  std::vector<double> Uniformise(const std::vector<double>& initial, double t, bool accumulate) const {
    double q = 0;
    for (int i = 0; i < n_; i++) q = std::max(q, ExitRate(i));
    q = q * 1.02 + 1e-12;
    const double qt = q * t;
    assert(qt < 700);
    std::vector<double> v = initial, next(n_), sum(n_, 0.0);
    double weight = std::exp(-qt);  // Poisson(k; qt)
    double cdf = weight;            // P(Poisson(qt) <= k)
    for (int k = 0;; k++) {
      const double w = accumulate ? (1.0 - cdf) / q : weight;
      for (int i = 0; i < n_; i++) sum[i] += w * v[i];
      if (1.0 - cdf < 1e-13 && k > qt) break;
      for (int j = 0; j < n_; j++) {
        next[j] = v[j] * (1.0 - ExitRate(j) / q);
        for (int i = 0; i < n_; i++) next[j] += v[i] * rate_[i][j] / q;
      }
      v.swap(next);
      weight *= qt / (k + 1);
      cdf += weight;
    }
    return sum;
  }

  int n_;
  std::vector<std::vector<double>> rate_;
};

#endif
