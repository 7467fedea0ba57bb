// OUTPUT_MEMORY_MODELSAN receives the compute unit's write requests for the
// output memory (tokens in WRITE_OUTPUT_MEMORY) and completes a write, through
// MEM_OP_COMPLETE, when it holds a result token of its own (RESULT_OK or
// RESULT_KO). In the composed GPU model those two places are not shared and
// nothing fills them, so its writes never complete.
//
// Ownership: the model owns its activities and places (members, built in
// that order). Every activity is instantaneous, of rank 1 and weight 1, and
// is its own group. The model must not move once built.
#ifndef GENERATED_OUTPUT_MEMORY_MODELSAN_H
#define GENERATED_OUTPUT_MEMORY_MODELSAN_H

#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "generated/InstantaneousActivity.h"

class OUTPUT_MEMORY_MODELSAN : public SANModel {
 public:
  // Completes a write of an OK result.
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

  // Completes a write of a KO result.
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

  // Takes a write request and an OK result.
  class Instantaneous_Activity12Activity : public InstantaneousActivity {
   public:
    Place* RESULT_OK = nullptr;
    Place* WRITE_OUTPUT_MEMORY = nullptr;
    Place* OK_CONTENT = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return RESULT_OK_Mark; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* RESULT_OK_Mark = nullptr;
    short* WRITE_OUTPUT_MEMORY_Mark = nullptr;
    short* OK_CONTENT_Mark = nullptr;
  };

  // Takes a write request and a KO result.
  class Instantaneous_Activity3Activity : public InstantaneousActivity {
   public:
    Place* WRITE_OUTPUT_MEMORY = nullptr;
    Place* RESULT_KO = nullptr;
    Place* KO_CONTENT = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return RESULT_KO_Mark; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* WRITE_OUTPUT_MEMORY_Mark = nullptr;
    short* RESULT_KO_Mark = nullptr;
    short* KO_CONTENT_Mark = nullptr;
  };

  OUTPUT_MEMORY_MODELSAN();
  OUTPUT_MEMORY_MODELSAN(const OUTPUT_MEMORY_MODELSAN&) = delete;
  OUTPUT_MEMORY_MODELSAN& operator=(const OUTPUT_MEMORY_MODELSAN&) = delete;

  // Activities, in the order of the model's action and group arrays.
  Instantaneous_Activity1Activity Instantaneous_Activity1;
  Instantaneous_Activity2Activity Instantaneous_Activity2;
  Instantaneous_Activity12Activity Instantaneous_Activity12;
  Instantaneous_Activity3Activity Instantaneous_Activity3;

  // Places, in the order of the model's place array.
  Place WRITE_OUTPUT_MEMORY;
  Place OK_CONTENT;
  Place KO_CONTENT;
  Place MEM_OP_COMPLETE;
  Place RESULT_OK;
  Place RESULT_KO;

 private:
  void AssignPlacesToActivities();
  void AddArcs();
};

#endif
