// Diagnostic is an error found in a model file, with the position it is
// about. Every phase reports errors as Diagnostic values; FormatDiagnostic is
// the one place that turns them into text, in the convention editors read:
//
//   models/mm1k.san:14:21: error: unknown place 'QUEU'; did you mean 'QUEUE'?
//       enabled QUEU < K;
//               ^~~~
//
// Pure functions; safe from any thread.
#ifndef MODEL_DIAGNOSTIC_H
#define MODEL_DIAGNOSTIC_H

#include <string>
#include <vector>

#include "model/CheckedModel.h"

namespace sanmodel {

struct Diagnostic {
  SourcePos pos;
  std::string message;
};

// `files` and `sources` are indexed by pos.file (CheckedModel::Files and
// ::Sources fit). The result ends with a newline. A position outside the
// files or lines gives the first line alone.
std::string FormatDiagnostic(const Diagnostic& diagnostic, const std::vector<std::string>& files,
                             const std::vector<std::string>& sources);

// The candidate closest to `name` by edit distance, if within
// max(1, length / 3) edits or equal but for case; "" when none is.
std::string SuggestName(const std::string& name, const std::vector<std::string>& candidates);

// Sorts by file, line and column, keeping the order of equal positions.
void SortDiagnostics(std::vector<Diagnostic>* diagnostics);

}  // namespace sanmodel

#endif
