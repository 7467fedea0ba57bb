#include "manager/MergedRegions.h"

#include <algorithm>
#include <limits>

#include "protocol/WireFormat.h"

namespace {

long long BlockBytes(int variables, long observationsEach) {
  return static_cast<long long>(protocol::kBlockHeaderSize) +
         static_cast<long long>(variables) *
             (static_cast<long long>(protocol::kEntryHeaderSize) + protocol::kValueSize * observationsEach);
}

}  // namespace

long long ForetoldBlockBytes(long share, const ReportShape& shape) {
  if (share <= 0 || shape.variables <= 0 || shape.reportSize <= 0) return 0;
  // Report r carries observations [r * size, (r + 1) * size) of the run;
  // of them, those before the warm-up's end are not kept. The first report
  // kept is the one the warm-up ends in; whole reports and a part follow.
  const long size = shape.reportSize;
  const long total = share + shape.warmup;
  const long firstEnd = std::min<long>(total, (shape.warmup / size + 1) * size);
  const long rest = total - firstEnd;
  // A share near the largest -N would overflow: the count saturates.
  __int128 bytes = BlockBytes(shape.variables, firstEnd - shape.warmup);
  bytes += static_cast<__int128>(rest / size) * BlockBytes(shape.variables, size);
  if (rest % size > 0) bytes += BlockBytes(shape.variables, rest % size);
  return bytes > std::numeric_limits<long long>::max() ? std::numeric_limits<long long>::max()
                                                       : static_cast<long long>(bytes);
}

std::vector<long long> FinalStarts(const std::vector<RegionFill>& fills, long long first) {
  std::vector<long long> starts;
  starts.reserve(fills.size());
  for (const RegionFill& fill : fills) {
    starts.push_back(first);
    first += fill.held + fill.spilled;
  }
  return starts;
}

std::vector<RegionMove> PlanRegionMoves(const std::vector<RegionFill>& fills, long long first) {
  const std::vector<long long> finals = FinalStarts(fills, first);
  std::vector<RegionMove> moves;
  for (std::size_t k = 0; k < fills.size(); ++k) {
    if (fills[k].held > 0 && finals[k] < fills[k].start) moves.push_back({fills[k].start, finals[k], fills[k].held});
  }
  for (std::size_t k = fills.size(); k-- > 0;) {
    if (fills[k].held > 0 && finals[k] > fills[k].start) moves.push_back({fills[k].start, finals[k], fills[k].held});
  }
  return moves;
}
