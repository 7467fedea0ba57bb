#include "trace/TraceFile.h"

#include "rewards/PVModel.h"

int TraceLevel = 0;

TraceFile::TraceFile() : Level(1), Stream(nullptr) { TraceLevel = 1; }

TraceFile::TraceFile(const char* name)
    : Level(0), Stream(nullptr), OwnedFile(new std::ofstream(name, std::ios::out | std::ios::trunc)) {
  Stream = OwnedFile.get();
}

TraceFile::TraceFile(std::ostream* stream) : Level(0), Stream(stream) {}

TraceFile::~TraceFile() = default;

void TraceFile::printHeader(PVModel*) {}
void TraceFile::printFooter() {}
void TraceFile::printInitialState(BaseModelClass*) {}
void TraceFile::printState(BaseModelClass*) {}
void TraceFile::printState(PVModel* model) { printState(model->ChildModel); }
void TraceFile::printFireAction(BaseActionClass*, double) {}
void TraceFile::printPreFireAction(BaseActionClass*) {}
void TraceFile::printPostFireAction(BaseActionClass*, BaseActionClass*) {}
void TraceFile::newBatch() {}
int TraceFile::printf(int, const char*, ...) { return 0; }
void TraceFile::printStr(int, const char*) {}

void TraceFile::setTraceLevel(int level) {
  Level = level;
  TraceLevel = level;
}
