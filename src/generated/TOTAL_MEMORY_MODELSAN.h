// TOTAL_MEMORY_MODELSAN serves the compute unit's reads of the total memory.
// A read request (a token in READ_TOTAL_MEMORY) fires the case group
// READ_FROMGroup, which succeeds or fails with probability 0.5 each; the
// outcome is then reported as a token in OK_READ or KO_READ together with a
// completion token in MEM_OP_COMPLETE.
//
// Ownership: the model owns its activities, its case group and its places
// (members, built in that order). Every activity is instantaneous, of rank 1.
// The model must not move once built.
#ifndef GENERATED_TOTAL_MEMORY_MODELSAN_H
#define GENERATED_TOTAL_MEMORY_MODELSAN_H

#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "generated/InstantaneousActivity.h"
#include "Cpp/BaseClasses/TwoCaseGroup.h"

class TOTAL_MEMORY_MODELSAN : public SANModel {
 public:
  // The two cases of READ_FROM: the read moves the request into MEMORY_OK
  // (case 1) or MEMORY_KO (case 2).
  class READ_FROMActivity_case1 final : public InstantaneousActivity {
   public:
    Place* READ_TOTAL_MEMORY = nullptr;
    Place* MEMORY_OK = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return READ_TOTAL_MEMORY_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    double Weight() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* READ_TOTAL_MEMORY_Mark = nullptr;
    short* MEMORY_OK_Mark = nullptr;
  };

  class READ_FROMActivity_case2 final : public InstantaneousActivity {
   public:
    Place* READ_TOTAL_MEMORY = nullptr;
    Place* MEMORY_KO = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return READ_TOTAL_MEMORY_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    double Weight() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* READ_TOTAL_MEMORY_Mark = nullptr;
    short* MEMORY_KO_Mark = nullptr;
  };

  // Reports a successful read.
  class Instantaneous_Activity1Activity : public InstantaneousActivity {
   public:
    Place* MEMORY_OK = nullptr;
    Place* MEM_OP_COMPLETE = nullptr;
    Place* OK_READ = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return MEMORY_OK_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* MEMORY_OK_Mark = nullptr;
    short* MEM_OP_COMPLETE_Mark = nullptr;
    short* OK_READ_Mark = nullptr;
  };

  // Reports a failed read.
  class Instantaneous_Activity2Activity : public InstantaneousActivity {
   public:
    Place* MEMORY_KO = nullptr;
    Place* MEM_OP_COMPLETE = nullptr;
    Place* KO_READ = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return MEMORY_KO_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* MEMORY_KO_Mark = nullptr;
    short* MEM_OP_COMPLETE_Mark = nullptr;
    short* KO_READ_Mark = nullptr;
  };

  TOTAL_MEMORY_MODELSAN();
  TOTAL_MEMORY_MODELSAN(const TOTAL_MEMORY_MODELSAN&) = delete;
  TOTAL_MEMORY_MODELSAN& operator=(const TOTAL_MEMORY_MODELSAN&) = delete;

  // Activities, in the order of the model's action array.
  READ_FROMActivity_case1 READ_FROM_case1;
  READ_FROMActivity_case2 READ_FROM_case2;
  Instantaneous_Activity1Activity Instantaneous_Activity1;
  Instantaneous_Activity2Activity Instantaneous_Activity2;
  TwoCaseGroup<READ_FROMActivity_case1, READ_FROMActivity_case2> READ_FROMGroup;

  // Places, in the order of the model's place array.
  Place READ_TOTAL_MEMORY;
  Place MEMORY_OK;
  Place MEMORY_KO;
  Place MEM_OP_COMPLETE;
  Place OK_READ;
  Place KO_READ;

 private:
  void AssignPlacesToActivities();
  void AddArcs();
};

#endif
