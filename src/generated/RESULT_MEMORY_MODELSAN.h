// RESULT_MEMORY_MODELSAN serves the compute unit's reads and writes of the
// result memory. A read request (READ_RESULT_MEMORY) fires the case group
// READ_FROMGroup, which succeeds or fails with probability 0.5 each and is
// reported through OK_READ or KO_READ plus a completion token in
// MEM_OP_COMPLETE. A write request (WRITE_RESULT_MEMORY) waits for the compute
// unit's result token (RESULT_OK or RESULT_KO); WRITE_OK or WRITE_KO stores
// it, and the write completes through MEM_OP_COMPLETE.
//
// Ownership: the model owns its activities, its case group and its places
// (members, built in that order). Every activity is instantaneous, of rank 1.
// The model must not move once built.
#ifndef GENERATED_RESULT_MEMORY_MODELSAN_H
#define GENERATED_RESULT_MEMORY_MODELSAN_H

#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "generated/InstantaneousActivity.h"
#include "Cpp/BaseClasses/TwoCaseGroup.h"

class RESULT_MEMORY_MODELSAN : public SANModel {
 public:
  // The two cases of READ_FROM: the read moves the request into MEMORY_OK
  // (case 1) or MEMORY_KO (case 2).
  class READ_FROMActivity_case1 final : public InstantaneousActivity {
   public:
    Place* READ_RESULT_MEMORY = nullptr;
    Place* MEMORY_OK = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return READ_RESULT_MEMORY_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    double Weight() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* READ_RESULT_MEMORY_Mark = nullptr;
    short* MEMORY_OK_Mark = nullptr;
  };

  class READ_FROMActivity_case2 final : public InstantaneousActivity {
   public:
    Place* READ_RESULT_MEMORY = nullptr;
    Place* MEMORY_KO = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return READ_RESULT_MEMORY_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    double Weight() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* READ_RESULT_MEMORY_Mark = nullptr;
    short* MEMORY_KO_Mark = nullptr;
  };

  // Stores an OK result.
  class WRITE_OKActivity : public InstantaneousActivity {
   public:
    Place* WRITE_RESULT_MEMORY = nullptr;
    Place* RESULT_OK = nullptr;
    Place* OK_CONTENT = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return RESULT_OK_Mark; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* WRITE_RESULT_MEMORY_Mark = nullptr;
    short* RESULT_OK_Mark = nullptr;
    short* OK_CONTENT_Mark = nullptr;
  };

  // Stores a KO result.
  class WRITE_KOActivity : public InstantaneousActivity {
   public:
    Place* WRITE_RESULT_MEMORY = nullptr;
    Place* RESULT_KO = nullptr;
    Place* KO_CONTENT = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return RESULT_KO_Mark; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* WRITE_RESULT_MEMORY_Mark = nullptr;
    short* RESULT_KO_Mark = nullptr;
    short* KO_CONTENT_Mark = nullptr;
  };

  // Completes the write of an OK result.
  class Instantaneous_Activity1Activity : public InstantaneousActivity {
   public:
    Place* OK_CONTENT = nullptr;
    Place* MEM_OP_COMPLETE = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return OK_CONTENT_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* OK_CONTENT_Mark = nullptr;
    short* MEM_OP_COMPLETE_Mark = nullptr;
  };

  // Completes the write of a KO result.
  class Instantaneous_Activity2Activity : public InstantaneousActivity {
   public:
    Place* KO_CONTENT = nullptr;
    Place* MEM_OP_COMPLETE = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return KO_CONTENT_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* KO_CONTENT_Mark = nullptr;
    short* MEM_OP_COMPLETE_Mark = nullptr;
  };

  // Reports a successful read.
  class Instantaneous_Activity3Activity : public InstantaneousActivity {
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
  class Instantaneous_Activity4Activity : public InstantaneousActivity {
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

  RESULT_MEMORY_MODELSAN();
  RESULT_MEMORY_MODELSAN(const RESULT_MEMORY_MODELSAN&) = delete;
  RESULT_MEMORY_MODELSAN& operator=(const RESULT_MEMORY_MODELSAN&) = delete;

  // Activities, in the order of the model's action array.
  READ_FROMActivity_case1 READ_FROM_case1;
  READ_FROMActivity_case2 READ_FROM_case2;
  WRITE_OKActivity WRITE_OK;
  WRITE_KOActivity WRITE_KO;
  Instantaneous_Activity1Activity Instantaneous_Activity1;
  Instantaneous_Activity2Activity Instantaneous_Activity2;
  Instantaneous_Activity3Activity Instantaneous_Activity3;
  Instantaneous_Activity4Activity Instantaneous_Activity4;
  TwoCaseGroup<READ_FROMActivity_case1, READ_FROMActivity_case2> READ_FROMGroup;

  // Places, in the order of the model's place array.
  Place WRITE_RESULT_MEMORY;
  Place OK_CONTENT;
  Place KO_CONTENT;
  Place READ_RESULT_MEMORY;
  Place MEMORY_OK;
  Place MEMORY_KO;
  Place RESULT_OK;
  Place RESULT_KO;
  Place MEM_OP_COMPLETE;
  Place OK_READ;
  Place KO_READ;

 private:
  void AssignPlacesToActivities();
  void AddArcs();
};

#endif
