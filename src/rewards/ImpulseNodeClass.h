// ImpulseNodeClass is one impulse reward of a variable: a reward earned each
// time a given action fires. The object a generated variable embeds is the
// impulse's prototype; CreateImpulseWorkerList makes the workers, one per
// binding of model instances, and only the workers accumulate. Each worker
// watches the action of one model instance (Model) and keeps one model-pointer
// member per model dependency, registered in ModelPointerSlots in order.
//
// Ownership: the slots point into the object itself. A generated prototype owns
// the workers it created and deletes them in its destructor; the variable node
// only refers to them.
#ifndef REWARDS_IMPULSENODECLASS_H
#define REWARDS_IMPULSENODECLASS_H

#include <string>
#include <vector>

class BaseModelClass;

class ImpulseNodeClass {
 public:
  ImpulseNodeClass();
  ImpulseNodeClass(const ImpulseNodeClass&) = delete;
  ImpulseNodeClass& operator=(const ImpulseNodeClass&) = delete;
  virtual ~ImpulseNodeClass();

  // Closes the observation at time t (the end of a run).
  virtual void completeAccumulation(double t);
  // The reward earned by one firing at time t.
  virtual double Impulse_Function(double t) = 0;
  // Credits the firing at lastT, if it counts, when the next event arrives at t.
  virtual void Accumulate(double t, double lastT);
  virtual double CurrentImpulse();
  virtual void Reset() = 0;
  // Whether completeAccumulation does nothing and Reset only sets Value to
  // 0: the variable then skips the one call and does the other itself on
  // every replication. Asked once, when the variable lists its workers; only
  // a class that knows both its own and its bases' definitions may say yes.
  virtual bool HasPlainEnds() const { return false; }
  // True only when every firing earns the same impulse for as long as the
  // model exists and Accumulate(t, lastT) is exactly: when StartTime <=
  // lastT <= StopTime, add that impulse (stored in *impulse) to Value. The
  // reward model asks once, when it lists what each action's firing feeds,
  // and then credits such a worker itself, without the call.
  virtual bool CreditsConstant(double* impulse) const {
    (void)impulse;
    return false;
  }
  // Makes n new workers of the generated class; the prototype keeps them.
  virtual ImpulseNodeClass** CreateImpulseWorkerList(int n) = 0;

  void DefineName(const char* name, int impulseIndex, int workerIndex);
  // Registers the address of one model-pointer member (next dependency).
  void AddModelPointerSlot(BaseModelClass** slot);

  static double min(double a, double b) { return a < b ? a : b; }
  static double max(double a, double b) { return a > b ? a : b; }

  std::vector<BaseModelClass**> ModelPointerSlots;
  BaseModelClass* Model;
  std::string Name;
  int WorkerIndex;
  int ImpulseIndex;
  int NumModelPointers;
  int PVID;
  double Value;
  double SquaredValue;
  double StartTime;
  double StopTime;
};

#endif
