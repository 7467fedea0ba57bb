#include "report/ObservationTrack.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

void ObservationTrack::Add(double value) {
  if (n_ == 0 || value < min_) min_ = value;
  if (n_ == 0 || value > max_) max_ = value;
  ++n_;
  const double delta = value - mean_;
  mean_ += delta / static_cast<double>(n_);
  m2_ += delta * (value - mean_);
  if (n_ == nextCheckpoint_) {
    checkpoints_.push_back({n_, mean_, n_ >= 2 ? std::sqrt(m2_ / static_cast<double>(n_ - 1)) : kNaN});
    nextCheckpoint_ = std::max(n_ + 1, static_cast<long>(std::ceil(static_cast<double>(n_) * 1.01)));
  }
  if (tooManyValues_) return;
  ++valueCounts_[value];
  if (static_cast<int>(valueCounts_.size()) > kMaxDistinctValues) {
    tooManyValues_ = true;
    valueCounts_.clear();
  }
}

std::vector<ObservationTrack::Point> ObservationTrack::Points() const {
  std::vector<Point> points = checkpoints_;
  if (n_ > 0 && (points.empty() || points.back().observations != n_)) {
    points.push_back({n_, mean_, n_ >= 2 ? std::sqrt(m2_ / static_cast<double>(n_ - 1)) : kNaN});
  }
  return points;
}

void ObservationTrack::AddToBins(double value) {
  if (bins_.empty()) bins_.assign(kBins, 0);
  const double width = (max_ - min_) / kBins;
  int bin = width > 0 ? static_cast<int>((value - min_) / width) : 0;
  bins_[std::clamp(bin, 0, kBins - 1)]++;
}

std::vector<ObservationTrack::Bar> ObservationTrack::Histogram() const {
  std::vector<Bar> bars;
  if (!tooManyValues_) {
    for (const auto& [value, count] : valueCounts_) bars.push_back({value, count});
    return bars;
  }
  const double width = (max_ - min_) / kBins;
  for (int i = 0; i < static_cast<int>(bins_.size()); ++i) bars.push_back({min_ + (i + 0.5) * width, bins_[i]});
  return bars;
}

double ObservationTrack::BarWidth() const {
  if (tooManyValues_) return (max_ - min_) / kBins;
  // Distinct values: the narrowest gap between neighbours, so no bars overlap.
  double gap = std::numeric_limits<double>::infinity();
  double previous = 0.0;
  bool first = true;
  for (const auto& entry : valueCounts_) {
    if (!first) gap = std::min(gap, entry.first - previous);
    previous = entry.first;
    first = false;
  }
  // One value alone: a unit-wide bar, as for the counts most rewards are.
  return std::isinf(gap) ? 1.0 : gap;
}
