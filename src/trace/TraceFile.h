// TraceFile is the base of every trace kind: it fixes the set of trace events
// as virtual operations, all of which do nothing here, and holds the trace's
// level and stream. TraceLevel is the process-wide copy of the level most
// recently set on any trace file.
//
// Ownership: a trace built on a file name opens and owns that file, and
// closes it when destroyed; a trace given a stream only writes to it. Trace
// kinds flush every line they write, so nothing is lost at exit.
#ifndef TRACE_FILE_H
#define TRACE_FILE_H

#include <fstream>
#include <memory>
#include <ostream>

class BaseActionClass;
class BaseModelClass;
class PVModel;

extern int TraceLevel;

class TraceFile {
 public:
  // Level 1, no stream; also sets TraceLevel to 1.
  TraceFile();
  // Opens the named file for writing, discarding earlier content; level 0.
  explicit TraceFile(const char* name);
  // Writes to the given stream; level 0.
  explicit TraceFile(std::ostream* stream);
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // The trace events, in this order.
  virtual void printHeader(PVModel* model);
  virtual void printFooter();
  virtual void printInitialState(BaseModelClass* model);
  virtual void printState(BaseModelClass* model);
  // Prints the state of the reward model's top-level model.
  virtual void printState(PVModel* model);
  virtual void printFireAction(BaseActionClass* action, double time);
  virtual void printPreFireAction(BaseActionClass* action);
  virtual void printPostFireAction(BaseActionClass* group, BaseActionClass* fired);
  virtual void newBatch();
  // Returns 0.
  virtual int printf(int level, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  virtual void printStr(int level, const char* text);
  virtual ~TraceFile();

  void setTraceLevel(int level);
  int getTraceLevel() const { return Level; }
  std::ostream* getStream() const { return Stream; }

 protected:
  int Level;
  std::ostream* Stream;

 private:
  std::unique_ptr<std::ofstream> OwnedFile;
};

#endif
