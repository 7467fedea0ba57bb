// A sweep: a study run at several points, each an experiment of the model
// file and/or a combination of global values, every point to the study's
// stopping rule.
//
// Axes come from the command line: --experiments all | N,M,... (the model's
// experiments, numbered from 0 as -e numbers them) and any number of
// --sweep NAME=v1,v2,... | NAME=FROM:TO:STEP (a global's values). The points
// are their cartesian product in odometer order: the experiment varies
// slowest, then the --sweep axes in the order given, the last fastest. A
// point's globals reach its simulators as one -O override string (after any
// -O the user gave, so the swept value wins), typed from the simulators'
// metadata (global=<name>,<type>,<value>); its experiment as -e.
//
// Plain data and functions; parsing never throws, never exits.
#ifndef MANAGER_SWEEP_H
#define MANAGER_SWEEP_H

#include <string>
#include <utility>
#include <vector>

#include "results/ResultsMetadata.h"

struct SweepAxis {
  std::string name;                 // a global's name, or "experiment"
  std::vector<std::string> values;  // as given, or as a range spells them
};

constexpr std::size_t kMaxSweepPoints = 10000;

// NAME=v1,v2,... or NAME=FROM:TO:STEP (STEP > 0, FROM <= TO, both ends
// included up to rounding). False with *error set on a malformed one.
bool ParseSweepAxis(const std::string& text, SweepAxis* axis, std::string* error);

struct SweepPoint {
  int number = 0;                                           // from 1
  std::vector<std::pair<std::string, std::string>> values;  // per axis: name, value
  std::vector<std::string> simulatorArguments;
};

// The points of a sweep over experiments ("" for none, "all", or a list of
// numbers) and axes, given the simulators' arguments and their metadata
// (for the globals' types and the number of experiments). False with
// *error set for an unknown global, an experiment the model does not have,
// -e given with --experiments, or too many points.
bool PlanSweep(const std::string& experiments, const std::vector<SweepAxis>& axes,
               const std::vector<std::string>& simulatorArguments, const ResultsMetadata& metadata,
               std::vector<SweepPoint>* points, std::string* error);

// "lambda=0.5, K=4": a point's values for a heading.
std::string DescribePoint(const SweepPoint& point);
// The value of the metadata key sweep=: the names of the axes, joined by ','.
std::string SweepKey(const std::vector<SweepPoint>& points);

#endif
