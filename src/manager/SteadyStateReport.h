// The steady-state part of a study's summary: per variable the lag-1
// autocorrelation of its kept batch means (BatchSeries.h), and a warning for
// each variable whose value is above kHighLag1, saying how to lengthen the
// batches.
//
// Why 0.2: batch means that follow each other with autocorrelation r widen
// the true spread of their mean by about sqrt((1 + r) / (1 - r)), which the
// interval (built as if they were independent) does not show; at r = 0.2
// that is 22%, and a 95% interval covers the mean about 90% of the time.
//
// Not thread-safe; holds nothing beyond the call.
#ifndef MANAGER_STEADY_STATE_REPORT_H
#define MANAGER_STEADY_STATE_REPORT_H

#include <ostream>

#include "manager/Study.h"

constexpr double kHighLag1 = 0.2;

// Prints the section to out (a table) and the warnings to warnings, with
// the variables named as in settings. Prints nothing for a study that is
// not steady-state.
void PrintSteadyStateReport(const Study& study, const StudySettings& settings, std::ostream& out,
                            std::ostream& warnings);

#endif
