// The precision side of a study: the running moments of one reward
// variable's observations and the verdict on whether they are precise
// enough. The confidence interval of the mean is Student's t with n - 1
// degrees of freedom at the study's confidence level.
//
// A variable meets the target when it has at least two observations and
//   - all its observations are equal (its interval has no width), or
//   - its half-width is at most relWidth times its absolute mean, or
//   - its half-width is at most absWidth,
// for whichever of relWidth and absWidth were given (0: not given).
// A relative target cannot be reached in any useful time by a variable
// whose interval still contains 0 (the half-width is then at least the
// absolute mean): such a variable, with varying values, no absWidth and at
// least minReplications observations, is judged unreachable.
#ifndef MANAGER_PRECISION_H
#define MANAGER_PRECISION_H

#include "stats/Moments.h"

struct PrecisionTarget {
  double relWidth = 0.0;
  double absWidth = 0.0;
  double confidence = 0.95;
  long minReplications = 1000;

  bool Given() const { return relWidth > 0.0 || absWidth > 0.0; }
};

struct Verdict {
  double halfWidth;     // NaN below two observations
  double relHalfWidth;  // halfWidth / |mean|; 0 when all values are equal; NaN when unknown
  bool met;             // the precision is reached (regardless of minReplications)
  bool unreachable;
};

// The moments of count big-endian doubles, in one pass over their bytes: a
// chunk at a time, the mean and then the squared deviations from it
// (accurate where a sum of squares would cancel), the chunks combined by the
// pairwise update. A block whose sum leaves the range of a double is folded
// value by value instead (Moments, which stays within range). When a value
// is NaN or infinite, *nonFinite (if given) is set to the index of the first
// such value, else to -1.
Moments MomentsOfEncoded(const unsigned char* values, long count, long* nonFinite = nullptr);

// StudentTQuantile is costly for moderate degrees of freedom, and a study
// asks for the same one for every variable; this remembers the last answer.
// Rounded kConservative, it answers for the largest power of two not above
// the degrees of freedom: a quantile at least the exact one, so a width
// judged met with it is met, and one computation serves a study that asks
// after every block.
class QuantileCache {
 public:
  enum class Rounding { kExact, kConservative };
  explicit QuantileCache(Rounding rounding = Rounding::kExact) : rounding_(rounding) {}
  double Get(double p, long degreesOfFreedom);

 private:
  Rounding rounding_;
  double p_ = -1.0;
  long degreesOfFreedom_ = -1;
  double value_ = 0.0;
};

Verdict Judge(const Moments& moments, const PrecisionTarget& target, QuantileCache* cache = nullptr);

#endif
