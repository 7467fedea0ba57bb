#include "manager/Precision.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "results/BigEndian.h"
#include "results/ResultsSummary.h"

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

// The values are taken a chunk at a time: decoded once into a buffer that
// stays in the first-level cache, then folded there in independent lanes
// (sum, minimum, maximum, a NaN detector) that the compiler turns into
// vector instructions, and the deviations from the chunk's mean in a second
// pass over that buffer. Chunks are combined by the pairwise update, so a
// block costs one pass over its bytes. Everything is taken about the
// block's first value, added back to the mean at the end: a small spread far
// from 0 (1e15 + 0.5 k) would otherwise be lost in the rounding of a sum of
// large values, and in the chunks' means when they are combined.
namespace {

constexpr long kChunk = 512;
constexpr int kLanes = 4;
constexpr int kBanks = 2;
typedef double Lanes __attribute__((vector_size(kLanes * sizeof(double))));

typedef unsigned char LaneBytes __attribute__((vector_size(kLanes * sizeof(double))));

// Four big-endian doubles at once: one load and one byte shuffle.
inline void DecodeLanes(const unsigned char* in, double* out) {
  static_assert(sizeof(LaneBytes) == sizeof(Lanes), "a lane's bytes are one double");
  LaneBytes bytes;
  std::memcpy(&bytes, in, sizeof bytes);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  bytes = __builtin_shufflevector(bytes, bytes, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 23, 22, 21, 20,
                                  19, 18, 17, 16, 31, 30, 29, 28, 27, 26, 25, 24);
#endif
  std::memcpy(out, &bytes, sizeof bytes);
}

struct ChunkFold {
  Moments moments;
  bool nonFinite = false;  // a NaN or an infinity among the values
  bool overflow = false;   // the sum left the range of a double
};

// The moments of the chunk less shift (its minimum and maximum as they are).
// Built twice where the processor may have wider vectors than the baseline
// (the byte swap of four values at once); the same operations in the same
// order either way, so the same result.
// REQUIRES: 0 < count <= kChunk.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
ChunkFold FoldChunk(const unsigned char* values, long count, double shift, double* decoded) {
  const double first = BigEndian::GetDouble(values);
  Lanes sum[kBanks] = {}, low[kBanks], high[kBanks];
  for (int b = 0; b < kBanks; ++b) low[b] = high[b] = Lanes{first, first, first, first};
  const Lanes shifts = {shift, shift, shift, shift};
  // Bank b, lane l takes every eighth value from 4 b + l (and a last
  // group of four, if any, goes to bank 0): the same sums as eight scalar
  // accumulators, written as vectors so that no compiler leaves them scalar
  // (the lanes' minimum and maximum defeat its own vectoriser), and two
  // banks so that each addition waits for the one before it only every
  // other step. Each value is decoded as it is folded. A NaN or an
  // infinity makes the sum so, which the chunk's end then looks into.
  constexpr long kStride = kLanes * kBanks;
  const long paired = count - count % kStride;
  const long whole = count - count % kLanes;
  auto take = [&](int b, long j) {
    Lanes value;
    DecodeLanes(values + 8 * j, decoded + j);
    std::memcpy(&value, decoded + j, sizeof value);
    sum[b] += value - shifts;
    low[b] = value < low[b] ? value : low[b];
    high[b] = value > high[b] ? value : high[b];
  };
  for (long j = 0; j < paired; j += kStride) {
    take(0, j);
    take(1, j + kLanes);
  }
  if (paired < whole) take(0, paired);
  for (long j = whole; j < count; ++j) {
    const double value = BigEndian::GetDouble(values + 8 * j);
    decoded[j] = value;
    sum[0][0] += value - shift;
    low[0][0] = value < low[0][0] ? value : low[0][0];
    high[0][0] = value > high[0][0] ? value : high[0][0];
  }
  const Lanes sums = sum[0] + sum[1];
  const Lanes lows = low[0] < low[1] ? low[0] : low[1], highs = high[0] > high[1] ? high[0] : high[1];
  ChunkFold fold;
  Moments& m = fold.moments;
  m.min = std::min({lows[0], lows[1], lows[2], lows[3]});
  m.max = std::max({highs[0], highs[1], highs[2], highs[3]});
  const double total = (sums[0] + sums[1]) + (sums[2] + sums[3]);
  if (!std::isfinite(total)) {
    // A value that is not finite, or finite values whose sum left the range.
    fold.nonFinite = std::any_of(decoded, decoded + count, [](double v) { return !std::isfinite(v); });
    fold.overflow = !fold.nonFinite;
    return fold;
  }
  m.n = count;
  const double shiftedMean = total / static_cast<double>(count);
  m.mean = shiftedMean;
  Lanes squares[kBanks] = {};
  const Lanes means = {shiftedMean, shiftedMean, shiftedMean, shiftedMean};
  auto square = [&](int b, long j) {
    Lanes value;
    std::memcpy(&value, decoded + j, sizeof value);
    const Lanes deviation = (value - shifts) - means;
    squares[b] += deviation * deviation;
  };
  for (long j = 0; j < paired; j += kStride) {
    square(0, j);
    square(1, j + kLanes);
  }
  if (paired < whole) square(0, paired);
  for (long j = whole; j < count; ++j) {
    const double deviation = (decoded[j] - shift) - shiftedMean;
    squares[0][0] += deviation * deviation;
  }
  const Lanes squareSums = squares[0] + squares[1];
  m.m2 = (squareSums[0] + squareSums[1]) + (squareSums[2] + squareSums[3]);
  return fold;
}

Moments FoldValueByValue(const unsigned char* values, long count) {
  Moments wide;
  for (long j = 0; j < count; ++j) wide.Add(BigEndian::GetDouble(values + 8 * j));
  return wide;
}

}  // namespace

Moments MomentsOfEncoded(const unsigned char* values, long count, long* nonFinite) {
  if (nonFinite != nullptr) *nonFinite = -1;
  Moments m;
  if (count <= 0) return m;
  const double shift = BigEndian::GetDouble(values);
  double decoded[kChunk];
  for (long start = 0; start < count; start += kChunk) {
    const long size = std::min(kChunk, count - start);
    const ChunkFold fold = FoldChunk(values + 8 * start, size, shift, decoded);
    if (fold.nonFinite) {
      for (long j = 0; nonFinite != nullptr && j < size; ++j) {
        if (!std::isfinite(decoded[j])) {
          *nonFinite = start + j;
          break;
        }
      }
      return m;
    }
    // Values so large that a chunk's sum overflows: Moments keeps the mean
    // within range where a sum cannot.
    if (fold.overflow) return FoldValueByValue(values, count);
    m.Merge(fold.moments);
  }
  m.mean += shift;
  return m;
}

double QuantileCache::Get(double p, long degreesOfFreedom) {
  if (rounding_ == Rounding::kConservative) {
    long rounded = 1;
    while (rounded <= degreesOfFreedom / 2) rounded *= 2;
    degreesOfFreedom = rounded;
  }
  if (p != p_ || degreesOfFreedom != degreesOfFreedom_) {
    p_ = p;
    degreesOfFreedom_ = degreesOfFreedom;
    value_ = StudentTQuantile(p, degreesOfFreedom);
  }
  return value_;
}

Verdict Judge(const Moments& moments, const PrecisionTarget& target, QuantileCache* cache) {
  Verdict verdict{kNaN, kNaN, false, false};
  if (moments.n < 2) return verdict;
  if (moments.AllEqual()) {
    verdict.halfWidth = 0.0;
    verdict.relHalfWidth = 0.0;
    verdict.met = true;
    return verdict;
  }
  const double p = 0.5 + target.confidence / 2.0;
  const double quantile = cache != nullptr ? cache->Get(p, moments.n - 1) : StudentTQuantile(p, moments.n - 1);
  verdict.halfWidth = quantile * moments.StandardDeviation() / std::sqrt(static_cast<double>(moments.n));
  const double scale = std::fabs(moments.mean);
  verdict.relHalfWidth = scale > 0.0 ? verdict.halfWidth / scale : std::numeric_limits<double>::infinity();
  verdict.met = (target.relWidth > 0.0 && verdict.halfWidth <= target.relWidth * scale) ||
                (target.absWidth > 0.0 && verdict.halfWidth <= target.absWidth);
  verdict.unreachable = target.relWidth > 0.0 && target.absWidth <= 0.0 && !verdict.met &&
                        moments.n >= target.minReplications && verdict.halfWidth >= scale;
  return verdict;
}
