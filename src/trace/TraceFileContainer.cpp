#include "trace/TraceFileContainer.h"

#include "rewards/PVModel.h"

#include <cstdarg>
#include <cstdio>

TraceFileContainer::TraceFileContainer() : pvModel(nullptr) {}

void TraceFileContainer::printHeader(PVModel*) {}
void TraceFileContainer::printState(BaseModelClass*) {}
void TraceFileContainer::printState(PVModel*) {}

void TraceFileContainer::printFooter() {
  for (TraceFile* f : Files) f->printFooter();
}

void TraceFileContainer::printFireAction(BaseActionClass* action, double time) {
  for (TraceFile* f : Files) f->printFireAction(action, time);
}

void TraceFileContainer::printPreFireAction(BaseActionClass* action) {
  for (TraceFile* f : Files) f->printPreFireAction(action);
}

void TraceFileContainer::printPostFireAction(BaseActionClass* group, BaseActionClass* fired) {
  for (TraceFile* f : Files) f->printPostFireAction(group, fired);
}

void TraceFileContainer::newBatch() {
  for (TraceFile* f : Files) f->newBatch();
}

int TraceFileContainer::printf(int level, const char* format, ...) {
  char text[1000];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  printStr(level, text);
  return 0;
}

void TraceFileContainer::printStr(int level, const char* text) {
  for (TraceFile* f : Files) f->printStr(level, text);
}

int TraceFileContainer::AddTraceFile(TraceFile* file) {
  Files.push_back(file);
  return 0;
}

int TraceFileContainer::RemoveTraceFile(TraceFile*) { return 0; }

void TraceFileContainer::printHeader() {
  for (TraceFile* f : Files) f->printHeader(pvModel);
}

void TraceFileContainer::printState() {
  for (TraceFile* f : Files) f->printState(pvModel);
}

void TraceFileContainer::printInitialState() {
  BaseModelClass* top = pvModel ? pvModel->ChildModel : nullptr;
  for (TraceFile* f : Files) f->printInitialState(top);
}
