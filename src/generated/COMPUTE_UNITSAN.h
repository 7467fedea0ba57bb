// COMPUTE_UNITSAN is the compute unit of the GPU model: a SAN that dispatches
// the instruction program held in SCHEDULER one instruction at a time. The
// dispatcher puts a token into the place that requests the instruction's
// memory or arithmetic operation and waits for a token back in
// INSTRUCTION_READY (an arithmetic instruction completes through one of the
// two compute activities, a memory operation through MEM_OP_COMPLETE).
// SCHEDULER holds `size` elements; the program needs at least 13.
//
// Ownership: the model owns its activities and places (members, built in
// that order). Every activity is instantaneous, of rank 1 and weight 1, and
// is its own group. The model must not move once built: places and
// activities hold pointers into each other.
#ifndef GENERATED_COMPUTE_UNITSAN_H
#define GENERATED_COMPUTE_UNITSAN_H

#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "generated/InstantaneousActivity.h"
#include "generated/Instructions.h"

class COMPUTE_UNITSAN : public SANModel {
 public:
  class DISPATCHERActivity : public InstantaneousActivity {
   public:
    Place* INST_COUNTER = nullptr;
    Place* INSTRUCTION_READY = nullptr;
    Place* READ_TOTAL_MEMORY = nullptr;
    Place* READ_RESULT_MEMORY = nullptr;
    Place* WRITE_RESULT_MEMORY = nullptr;
    Place* WRITE_OUTPUT_MEMORY = nullptr;
    Place* ALU_INSTRUCTION = nullptr;
    Instructions* SCHEDULER = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return INSTRUCTION_READY_Mark; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;
    // One way per instruction code, and one for a code that requests
    // nothing: each writes the counter, INSTRUCTION_READY and at most one
    // request place.
    int FiringVariants() override;
    bool VariantMayWrite(int variant, const BaseStateVariableClass* v) override;

   private:
    short* INST_COUNTER_Mark = nullptr;
    short* INSTRUCTION_READY_Mark = nullptr;
    // The cell of each instruction code's request place, by code, each
    // registered with its place, so that a merge that redirects the place
    // redirects it: a firing reaches the cell in one load.
    short* RequestCells[5] = {};
  };

  class COMPUTE_WITH_OK_DATAActivity : public InstantaneousActivity {
   public:
    Place* ALU_INSTRUCTION = nullptr;
    Place* OK_READ = nullptr;
    Place* RESULT_OK = nullptr;
    Place* INSTRUCTION_READY = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return ALU_INSTRUCTION_Mark; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* ALU_INSTRUCTION_Mark = nullptr;
    short* OK_READ_Mark = nullptr;
    short* RESULT_OK_Mark = nullptr;
    short* INSTRUCTION_READY_Mark = nullptr;
  };

  class COMPUTE_WITH_KO_DATAActivity : public InstantaneousActivity {
   public:
    Place* ALU_INSTRUCTION = nullptr;
    Place* KO_READ = nullptr;
    Place* RESULT_KO = nullptr;
    Place* INSTRUCTION_READY = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return ALU_INSTRUCTION_Mark; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* ALU_INSTRUCTION_Mark = nullptr;
    short* KO_READ_Mark = nullptr;
    short* RESULT_KO_Mark = nullptr;
    short* INSTRUCTION_READY_Mark = nullptr;
  };

  class Instantaneous_Activity1Activity : public InstantaneousActivity {
   public:
    Place* MEM_OP_COMPLETE = nullptr;
    Place* INSTRUCTION_READY = nullptr;

    bool Enabled() override;
    const short* RequiredMarking() override { return MEM_OP_COMPLETE_Mark; }
    bool EnablingIsRequiredMarking() override { return true; }
    BaseActionClass* Fire() override;
    void LinkVariables() override;

   private:
    short* MEM_OP_COMPLETE_Mark = nullptr;
    short* INSTRUCTION_READY_Mark = nullptr;
  };

  COMPUTE_UNITSAN();
  COMPUTE_UNITSAN(const COMPUTE_UNITSAN&) = delete;
  COMPUTE_UNITSAN& operator=(const COMPUTE_UNITSAN&) = delete;

  // Activities, in the order of the model's action and group arrays.
  DISPATCHERActivity DISPATCHER;
  COMPUTE_WITH_OK_DATAActivity COMPUTE_WITH_OK_DATA;
  COMPUTE_WITH_KO_DATAActivity COMPUTE_WITH_KO_DATA;
  Instantaneous_Activity1Activity Instantaneous_Activity1;

  // Places, in the order of the model's place array (built after the
  // activities, as members declared after them).
  Place READ_TOTAL_MEMORY;
  Place READ_RESULT_MEMORY;
  Place INST_COUNTER;
  Place ALU_INSTRUCTION;
  Place WRITE_OUTPUT_MEMORY;
  Place WRITE_RESULT_MEMORY;
  Place OK_READ;
  Place KO_READ;
  Place RESULT_KO;
  Place RESULT_OK;
  Place INSTRUCTION_READY;
  Place MEM_OP_COMPLETE;
  Instructions SCHEDULER;

 private:
  void AssignPlacesToActivities();
  void AddArcs();
  void CustomInitialization();
};

#endif
