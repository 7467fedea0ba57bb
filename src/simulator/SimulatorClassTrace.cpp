// The simulator's side of tracing: attaching the requested trace files, and
// the traced firing the step uses while a trace is on.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "rewards/PVModel.h"
#include "simulator/SimulatorClass.h"
#include "trace/TraceFileQuelix.h"
#include "trace/TraceFileXML.h"

namespace {

// A trace that was asked for but cannot be written is a start-up error: the
// run would otherwise succeed without the trace the user wanted.
void ExitUnlessOpen(const TraceFile& trace, const std::string& name) {
  if (trace.getStream()->good()) return;
  std::cerr << "ERROR: Cannot open the trace file '" << name << "': " << std::strerror(errno) << std::endl;
  std::exit(1);
}

}  // namespace

// The plain trace is added first, so it receives every event before the XML
// trace.
void SimulatorClass::CreateTraces() {
  if (!QuelixTrace && !XMLTrace) return;
  Trace->setTraceLevel(RequestedTraceLevel);
  if (QuelixTrace) {
    if (!TraceFileName.empty()) {
      const std::string name = TraceFileName + ".txt";
      QuelixTraceFile.reset(new TraceFileQuelix(name.c_str()));
      ExitUnlessOpen(*QuelixTraceFile, name);
    } else {
      std::cout << "Adding cout: " << std::endl;
      QuelixTraceFile.reset(new TraceFileQuelix(&std::cout));
    }
    QuelixTraceFile->setTraceLevel(RequestedTraceLevel);
    Trace->AddTraceFile(QuelixTraceFile.get());
  }
  if (XMLTrace) {
    if (!TraceFileName.empty()) {
      const std::string name = TraceFileName + ".xml";
      XMLTraceFile.reset(new TraceFileXML(name.c_str()));
      ExitUnlessOpen(*XMLTraceFile, name);
    } else {
      XMLTraceFile.reset(new TraceFileXML(&std::cout));
    }
    XMLTraceFile->setTraceLevel(RequestedTraceLevel);
    Trace->AddTraceFile(XMLTraceFile.get());
  }
  TraceEnabled = true;
}

BaseActionClass* SimulatorClass::FireTraced() {
  Trace->printFireAction(CurrentGroup, Now);
  Trace->printPreFireAction(CurrentGroup);
  BaseActionClass* fired = RewardModel->FireAction(CurrentGroup, Now);
  Trace->printPostFireAction(CurrentGroup, fired);
  return fired;
}
