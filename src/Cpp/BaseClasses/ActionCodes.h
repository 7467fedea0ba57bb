// The codes an action carries for its firing delay and its execution policy.
// They are stored, printed and passed on; no framework operation branches on
// them (each activity's own SampleDistribution yields its delay).
#ifndef ACTION_CODES_H
#define ACTION_CODES_H

#include <cstdint>

enum Distribution : int32_t {
  EXPONENTIAL = 1,  // the default of a no-argument action
  DETERMINISTIC = 2,
  GEOMETRIC = 3,
  WEIBULL = 4,
  CONDITIONAL_WEIBULL = 5,
  NORMAL = 6,
  LOGNORMAL = 7,
  ERLANG = 8,
  TRIANGULAR = 9,
  GAMMA = 10,
  BETA = 11,
  UNIFORM = 12,
  BINOMIAL = 13,
  NEGATIVE_BINOMIAL = 14,
  HYPER_EXPONENTIAL = 15,
  HYPO_EXPONENTIAL = 16,
  PARETO = 17,
  INSTANTANEOUS = 18  // fires with zero delay
};

enum ExecutionPolicyType : int32_t {
  DEFAULT_POLICY = 1  // the default, and the policy of every generated activity
};

#endif
