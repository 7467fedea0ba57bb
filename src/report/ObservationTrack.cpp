#include "report/ObservationTrack.h"

#include <algorithm>
#include <cmath>

void ObservationTrack::Add(double value) {
  moments_.Add(value);
  const long n = moments_.n;
  if (n == nextCheckpoint_) {
    checkpoints_.push_back({n, moments_.mean, moments_.StandardDeviation()});
    nextCheckpoint_ = std::max(n + 1, static_cast<long>(std::ceil(static_cast<double>(n) * 1.01)));
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
  if (moments_.n > 0 && (points.empty() || points.back().observations != moments_.n)) {
    points.push_back({moments_.n, moments_.mean, moments_.StandardDeviation()});
  }
  return points;
}

void ObservationTrack::AddToBins(double value) {
  if (bins_.empty()) bins_.assign(kBins, 0);
  const double width = (moments_.max - moments_.min) / kBins;
  int bin = width > 0 ? static_cast<int>((value - moments_.min) / width) : 0;
  bins_[std::clamp(bin, 0, kBins - 1)]++;
}

std::vector<ObservationTrack::Bar> ObservationTrack::Histogram() const {
  std::vector<Bar> bars;
  if (!tooManyValues_) {
    for (const auto& [value, count] : valueCounts_) bars.push_back({value, count});
    return bars;
  }
  const double width = (moments_.max - moments_.min) / kBins;
  for (int i = 0; i < static_cast<int>(bins_.size()); ++i) bars.push_back({moments_.min + (i + 0.5) * width, bins_[i]});
  return bars;
}

double ObservationTrack::BarWidth() const {
  if (tooManyValues_) return (moments_.max - moments_.min) / kBins;
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
