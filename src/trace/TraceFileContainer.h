// TraceFileContainer is the simulator's one trace: it holds the active trace
// files and passes every event on to each of them, in the order they were
// added. With no file added every event does nothing.
//
// Ownership: the container does not own the trace files it holds nor the
// reward model it is given; both must outlive it (the simulator owns them).
#ifndef TRACE_FILE_CONTAINER_H
#define TRACE_FILE_CONTAINER_H

#include "trace/TraceFile.h"

#include <vector>

class TraceFileContainer : public TraceFile {
 public:
  TraceFileContainer();

  void printHeader(PVModel* model) override;
  void printFooter() override;
  void printState(BaseModelClass* model) override;
  void printState(PVModel* model) override;
  void printFireAction(BaseActionClass* action, double time) override;
  void printPreFireAction(BaseActionClass* action) override;
  void printPostFireAction(BaseActionClass* group, BaseActionClass* fired) override;
  void newBatch() override;
  // Formats the message once (at most 999 characters) and hands it to every
  // file's printStr. Returns 0.
  int printf(int level, const char* format, ...) override
      __attribute__((format(printf, 3, 4)));
  void printStr(int level, const char* text) override;

  // Returns 0.
  int AddTraceFile(TraceFile* file);
  // Does nothing; returns 0.
  int RemoveTraceFile(TraceFile* file);
  void addPVModel(PVModel* model) { pvModel = model; }
  // The reward-model events, sent with the stored reward model.
  void printHeader();
  void printState();
  void printInitialState();
  int getNumTraceFiles() const { return static_cast<int>(Files.size()); }

 private:
  PVModel* pvModel;
  std::vector<TraceFile*> Files;
};

#endif
