// TraceFileQuelix is the human-readable trace: one line per event on its
// stream, each flushed at once so that nothing is lost if the process ends.
//
// Levels: below 1 only the header, the batch markers and the states are
// written; from 1 on, one line names each firing and one follows it; from 2
// on, the enabling state before and the affected state after each firing
// are listed as well. printf and printStr are inherited and print nothing.
//
// Ownership: as TraceFile (a trace built on a file name owns that file). The
// models and actions handed to the events are only read.
#ifndef TRACE_FILE_QUELIX_H
#define TRACE_FILE_QUELIX_H

#include <ostream>

#include "trace/TraceFile.h"

class BaseStateVariableClass;

// The stream of the plain trace most recently constructed on a file or a
// stream; standard output until then.
extern std::ostream* trout;

class TraceFileQuelix : public TraceFile {
 public:
  TraceFileQuelix();
  explicit TraceFileQuelix(const char* name);
  explicit TraceFileQuelix(std::ostream* stream);

  void printHeader(PVModel* model) override;
  void printFooter() override;
  void printInitialState(BaseModelClass* model) override;
  void printState(BaseModelClass* model) override;
  void printState(PVModel* model) override;
  void printFireAction(BaseActionClass* action, double time) override;
  void printPreFireAction(BaseActionClass* action) override;
  void printPostFireAction(BaseActionClass* group, BaseActionClass* fired) override;
  void newBatch() override;
  ~TraceFileQuelix() override;

 private:
  // Writes "<indent><printed name> = <value>" and ends the line.
  void printVariable(const char* indent, BaseStateVariableClass* v);
  // Ends the current line and flushes it.
  void endLine();
};

#endif
