// ModelFault lets a model stop the run when it meets a fault that only shows
// while it runs (a division by zero in a gate, an array index out of range,
// a delay parameter outside its distribution's domain). The model reports
// the fault once, answers the question it was asked with a harmless value,
// and the simulator ends the run at the next step: the replication or batch
// in progress is dropped, everything observed before it reaches the files,
// and the process ends with status 1.
//
// Process-wide, like the run's generator; used by the simulation thread only.
#ifndef SIMULATOR_MODELFAULT_H
#define SIMULATOR_MODELFAULT_H

#include <string>

class ModelFault {
 public:
  // Writes message (and a line ending) to the error stream the first time;
  // later faults of the same run are not reported again.
  static void Raise(const std::string& message);
  static bool Raised() { return RaisedFlag; }
  // Forgets a fault, for a fresh run in the same process (tests).
  static void Clear() { RaisedFlag = false; }

 private:
  static bool RaisedFlag;
};

#endif
