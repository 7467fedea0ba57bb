// Checker turns the syntax tree of a whole model (imports read) into a
// CheckedModel: names resolved to indexes, expressions typed with explicit
// conversions, arcs derived, experiments expanded, the instance tree
// flattened and reward references resolved.
//
// Every error is collected as a Diagnostic (the caller sorts them into
// source order); checking goes on after an error so that one run reports
// them all. The model returned is complete only when no diagnostic was
// added. Checking covers every experiment, not only the one a run selects.
//
// A pure function; safe from any thread.
#ifndef MODEL_CHECKER_H
#define MODEL_CHECKER_H

#include <vector>

#include "model/CheckedModel.h"
#include "model/Diagnostic.h"
#include "model/Syntax.h"

namespace sanmodel {

// Limits on what a model file may ask for, each named in its message.
constexpr int kMaxElements = 100000;      // places, activities, cases, rewards, submodels
constexpr long long kMaxArrayLength = 100000;
constexpr long long kMaxExperiments = 100000;
constexpr long long kMaxExperimentValues = 10000000;  // experiments times globals

// Fills everything but Files and Sources.
CheckedModel Check(const syntax::Program& program, std::vector<Diagnostic>* diagnostics);

}  // namespace sanmodel

#endif
