// MergedRegions: where each simulator's blocks go in the merged file when
// every simulator's byte count can be foretold, so that each writes its own
// region of the one file from the start and nothing is copied at the end.
//
// A study of a fixed length (-N, with no precision target and no time
// limit, whose whole result fits the disk) knows each simulator's share, and a simulator reports one
// observation of each of the run's variables per replication or batch, in
// blocks of the report size: its blocks' bytes follow (ForetoldBlockBytes).
// Each simulator's region then starts where the one before it ends.
//
// A foretelling may miss: a simulator lost early delivers less than its
// region, one that misbehaves more. What missed is mended at the end by
// moving regions within the file (PlanRegionMoves), and the part of a
// simulator's blocks that did not fit its region, kept in a spool of its
// own, is copied after it; the merged order (by simulator, then by arrival)
// is the same either way.
//
// Pure functions of their arguments; thread-safe.
#ifndef MANAGER_MERGED_REGIONS_H
#define MANAGER_MERGED_REGIONS_H

#include <vector>

// What the simulators' blocks look like: reportSize observations per report
// of each of variables variables; the first warmup of each are dropped
// (steady state) and not kept.
struct ReportShape {
  int reportSize = 1000;
  int variables = 0;
  long warmup = 0;
};

// The bytes of blocks kept of a simulator that delivers share observations
// of each variable after its warm-up (the warm-up's blocks, and the parts of
// blocks that are warm-up, left out as the study leaves them out); the
// largest long long when there are more.
long long ForetoldBlockBytes(long share, const ReportShape& shape);

// A move of length bytes within one file, from offset from to offset to.
struct RegionMove {
  long long from = 0;
  long long to = 0;
  long long length = 0;
};

// What each simulator's blocks occupy: held bytes at start in the file,
// then spilled bytes kept elsewhere.
struct RegionFill {
  long long start = 0;
  long long held = 0;
  long long spilled = 0;
};

// Where each simulator's held bytes must end up (its spilled bytes follow
// them) for the file to hold every simulator's blocks back to back from
// first on.
std::vector<long long> FinalStarts(const std::vector<RegionFill>& fills, long long first);

// The moves that take every region's held bytes to its final start, in an
// order in which none overwrites bytes still to be moved: first those that
// move towards the start of the file, in file order, then those that move
// towards its end, in reverse. A region that stays is not listed.
// REQUIRES: the regions' held bytes do not overlap and lie in file order.
std::vector<RegionMove> PlanRegionMoves(const std::vector<RegionFill>& fills, long long first);

#endif
