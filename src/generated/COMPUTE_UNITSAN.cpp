#include "generated/COMPUTE_UNITSAN.h"

#include <cstdlib>

#include "generated/GPU_COMPOSED_STUDYSetStudy.h"

namespace {
// Instruction codes held in SCHEDULER.
enum InstructionCode : unsigned short {
  kReadTotalMemory = 0,
  kReadResultMemory = 1,
  kWriteResultMemory = 2,
  kWriteOutputMemory = 3,
  kAluInstruction = 4,
  kNoRequest = 5  // the firing variant of a code that requests nothing
};
}  // namespace

COMPUTE_UNITSAN::COMPUTE_UNITSAN()
    : SANModel(),
      READ_TOTAL_MEMORY("READ_TOTAL_MEMORY", 0),
      READ_RESULT_MEMORY("READ_RESULT_MEMORY", 0),
      INST_COUNTER("INST_COUNTER", -1),
      ALU_INSTRUCTION("ALU_INSTRUCTION", 0),
      WRITE_OUTPUT_MEMORY("WRITE_OUTPUT_MEMORY", 0),
      WRITE_RESULT_MEMORY("WRITE_RESULT_MEMORY", 0),
      OK_READ("OK_READ", 0),
      KO_READ("KO_READ", 0),
      RESULT_KO("RESULT_KO", 0),
      RESULT_OK("RESULT_OK", 0),
      INSTRUCTION_READY("INSTRUCTION_READY", 1),
      MEM_OP_COMPLETE("MEM_OP_COMPLETE", 0),
      SCHEDULER(size) {
  const Distribution d = INSTANTANEOUS;
  const ExecutionPolicyType e = DEFAULT_POLICY;
  DISPATCHER.ActivityInitialize("DISPATCHER", 0, d, e, 8, 2, false);
  COMPUTE_WITH_OK_DATA.ActivityInitialize("COMPUTE_WITH_OK_DATA", 1, d, e, 4, 2, false);
  COMPUTE_WITH_KO_DATA.ActivityInitialize("COMPUTE_WITH_KO_DATA", 2, d, e, 4, 2, false);
  Instantaneous_Activity1.ActivityInitialize("Instantaneous_Activity1", 3, d, e, 2, 1, false);

  BaseStateVariableClass* places[] = {&READ_TOTAL_MEMORY, &READ_RESULT_MEMORY, &INST_COUNTER,  &ALU_INSTRUCTION,
                                      &WRITE_OUTPUT_MEMORY, &WRITE_RESULT_MEMORY, &OK_READ,     &KO_READ,
                                      &RESULT_KO,          &RESULT_OK,          &INSTRUCTION_READY, &MEM_OP_COMPLETE,
                                      &SCHEDULER};
  Activity* activities[] = {&DISPATCHER, &COMPUTE_WITH_OK_DATA, &COMPUTE_WITH_KO_DATA, &Instantaneous_Activity1};
  BaseGroupClass* groups[] = {&DISPATCHER, &COMPUTE_WITH_OK_DATA, &COMPUTE_WITH_KO_DATA, &Instantaneous_Activity1};
  initializeSANModelNow("COMPUTE_UNIT", 13, places, 0, nullptr, 4, activities, 4, groups);

  AssignPlacesToActivities();
  AddArcs();
  DISPATCHER.LinkVariables();
  COMPUTE_WITH_OK_DATA.LinkVariables();
  COMPUTE_WITH_KO_DATA.LinkVariables();
  Instantaneous_Activity1.LinkVariables();
  CustomInitialization();
}

void COMPUTE_UNITSAN::AssignPlacesToActivities() {
  DISPATCHER.INST_COUNTER = &INST_COUNTER;
  DISPATCHER.INSTRUCTION_READY = &INSTRUCTION_READY;
  DISPATCHER.READ_TOTAL_MEMORY = &READ_TOTAL_MEMORY;
  DISPATCHER.READ_RESULT_MEMORY = &READ_RESULT_MEMORY;
  DISPATCHER.WRITE_RESULT_MEMORY = &WRITE_RESULT_MEMORY;
  DISPATCHER.WRITE_OUTPUT_MEMORY = &WRITE_OUTPUT_MEMORY;
  DISPATCHER.ALU_INSTRUCTION = &ALU_INSTRUCTION;
  DISPATCHER.SCHEDULER = &SCHEDULER;

  COMPUTE_WITH_OK_DATA.ALU_INSTRUCTION = &ALU_INSTRUCTION;
  COMPUTE_WITH_OK_DATA.OK_READ = &OK_READ;
  COMPUTE_WITH_OK_DATA.RESULT_OK = &RESULT_OK;
  COMPUTE_WITH_OK_DATA.INSTRUCTION_READY = &INSTRUCTION_READY;

  COMPUTE_WITH_KO_DATA.ALU_INSTRUCTION = &ALU_INSTRUCTION;
  COMPUTE_WITH_KO_DATA.KO_READ = &KO_READ;
  COMPUTE_WITH_KO_DATA.RESULT_KO = &RESULT_KO;
  COMPUTE_WITH_KO_DATA.INSTRUCTION_READY = &INSTRUCTION_READY;

  Instantaneous_Activity1.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity1.INSTRUCTION_READY = &INSTRUCTION_READY;
}

// Affect arcs first, then enable arcs: the order fills the places' action
// lists and the activities' state-variable lists, and through them the
// simulator's affects relation.
void COMPUTE_UNITSAN::AddArcs() {
  AddAffectArc(&INST_COUNTER, &DISPATCHER);
  AddAffectArc(&INSTRUCTION_READY, &DISPATCHER);
  AddAffectArc(&READ_TOTAL_MEMORY, &DISPATCHER);
  AddAffectArc(&READ_RESULT_MEMORY, &DISPATCHER);
  AddAffectArc(&WRITE_RESULT_MEMORY, &DISPATCHER);
  AddAffectArc(&WRITE_OUTPUT_MEMORY, &DISPATCHER);
  AddAffectArc(&ALU_INSTRUCTION, &DISPATCHER);
  AddAffectArc(&SCHEDULER, &DISPATCHER);
  AddAffectArc(&ALU_INSTRUCTION, &COMPUTE_WITH_OK_DATA);
  AddAffectArc(&OK_READ, &COMPUTE_WITH_OK_DATA);
  AddAffectArc(&RESULT_OK, &COMPUTE_WITH_OK_DATA);
  AddAffectArc(&INSTRUCTION_READY, &COMPUTE_WITH_OK_DATA);
  AddAffectArc(&ALU_INSTRUCTION, &COMPUTE_WITH_KO_DATA);
  AddAffectArc(&KO_READ, &COMPUTE_WITH_KO_DATA);
  AddAffectArc(&RESULT_KO, &COMPUTE_WITH_KO_DATA);
  AddAffectArc(&INSTRUCTION_READY, &COMPUTE_WITH_KO_DATA);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity1);
  AddAffectArc(&INSTRUCTION_READY, &Instantaneous_Activity1);

  AddEnableArc(&INST_COUNTER, &DISPATCHER);
  AddEnableArc(&INSTRUCTION_READY, &DISPATCHER);
  AddEnableArc(&ALU_INSTRUCTION, &COMPUTE_WITH_OK_DATA);
  AddEnableArc(&OK_READ, &COMPUTE_WITH_OK_DATA);
  AddEnableArc(&ALU_INSTRUCTION, &COMPUTE_WITH_KO_DATA);
  AddEnableArc(&KO_READ, &COMPUTE_WITH_KO_DATA);
  AddEnableArc(&MEM_OP_COMPLETE, &Instantaneous_Activity1);
}

// The program. A SCHEDULER shorter than the program (a study parameter
// `size` below 13) makes the model impossible: the first index that does not
// fit is reported and the process ends with status 1 before anything runs.
void COMPUTE_UNITSAN::CustomInitialization() {
  static const short kProgram[] = {0, 0, 4, 2, 0, 1, 4, 2, 1, 0, 0, 4, 3};
  const int length = static_cast<int>(sizeof kProgram / sizeof kProgram[0]);
  if (SCHEDULER.getSize() < length) {
    SCHEDULER.ReportOutOfBounds(SCHEDULER.getSize());
    std::exit(1);
  }
  for (int i = 0; i < length; i++) *SCHEDULER.index(i)->Value = kProgram[i];
}

// DISPATCHER ------------------------------------------------------------

bool COMPUTE_UNITSAN::DISPATCHERActivity::Enabled() {
  return Remember(*INST_COUNTER_Mark < size - 1 && *INSTRUCTION_READY_Mark > 0);
}

BaseActionClass* COMPUTE_UNITSAN::DISPATCHERActivity::Fire() {
  (*INST_COUNTER_Mark)++;
  (*INSTRUCTION_READY_Mark)--;
  // The code is unsigned, so a negative one matches no instruction. A table
  // look-up rather than a switch: the codes follow the program, and an
  // indirect jump on them is mispredicted often.
  const unsigned short code = static_cast<unsigned short>(*SCHEDULER->index(*INST_COUNTER_Mark)->Value);
  if (code < kNoRequest) {
    (*RequestCells[code])++;
    FiredVariant = code;
  } else {
    FiredVariant = kNoRequest;
  }
  return this;
}

int COMPUTE_UNITSAN::DISPATCHERActivity::FiringVariants() { return kNoRequest + 1; }

// Places are told apart by their cells, as merges leave them: a place that
// shares its cell with one the variant writes is written too.
bool COMPUTE_UNITSAN::DISPATCHERActivity::VariantMayWrite(int variant, const BaseStateVariableClass* v) {
  const Place* place = dynamic_cast<const Place*>(v);
  if (place == nullptr) return true;
  const short* cell = place->Mark;
  if (cell == INST_COUNTER_Mark || cell == INSTRUCTION_READY_Mark) return true;
  if (variant >= 0 && variant < kNoRequest && cell == RequestCells[variant]) return true;
  for (const short* request : RequestCells)
    if (cell == request) return false;
  return true;
}

void COMPUTE_UNITSAN::DISPATCHERActivity::LinkVariables() {
  Link(INST_COUNTER, &INST_COUNTER_Mark);
  Link(INSTRUCTION_READY, &INSTRUCTION_READY_Mark);
  Link(READ_TOTAL_MEMORY, &RequestCells[kReadTotalMemory]);
  Link(READ_RESULT_MEMORY, &RequestCells[kReadResultMemory]);
  Link(WRITE_RESULT_MEMORY, &RequestCells[kWriteResultMemory]);
  Link(WRITE_OUTPUT_MEMORY, &RequestCells[kWriteOutputMemory]);
  Link(ALU_INSTRUCTION, &RequestCells[kAluInstruction]);
}

// COMPUTE_WITH_OK_DATA ----------------------------------------------------

bool COMPUTE_UNITSAN::COMPUTE_WITH_OK_DATAActivity::Enabled() {
  return Remember(*ALU_INSTRUCTION_Mark > 0 && *OK_READ_Mark > 0);
}

BaseActionClass* COMPUTE_UNITSAN::COMPUTE_WITH_OK_DATAActivity::Fire() {
  (*ALU_INSTRUCTION_Mark)--;
  (*OK_READ_Mark)--;
  (*RESULT_OK_Mark)++;
  (*INSTRUCTION_READY_Mark)++;
  return this;
}

void COMPUTE_UNITSAN::COMPUTE_WITH_OK_DATAActivity::LinkVariables() {
  Link(ALU_INSTRUCTION, &ALU_INSTRUCTION_Mark);
  Link(OK_READ, &OK_READ_Mark);
  Link(RESULT_OK, &RESULT_OK_Mark);
  Link(INSTRUCTION_READY, &INSTRUCTION_READY_Mark);
}

// COMPUTE_WITH_KO_DATA ----------------------------------------------------

bool COMPUTE_UNITSAN::COMPUTE_WITH_KO_DATAActivity::Enabled() {
  return Remember(*ALU_INSTRUCTION_Mark > 0 && *KO_READ_Mark > 0);
}

BaseActionClass* COMPUTE_UNITSAN::COMPUTE_WITH_KO_DATAActivity::Fire() {
  (*ALU_INSTRUCTION_Mark)--;
  (*KO_READ_Mark)--;
  (*RESULT_KO_Mark)++;
  (*INSTRUCTION_READY_Mark)++;
  return this;
}

void COMPUTE_UNITSAN::COMPUTE_WITH_KO_DATAActivity::LinkVariables() {
  Link(ALU_INSTRUCTION, &ALU_INSTRUCTION_Mark);
  Link(KO_READ, &KO_READ_Mark);
  Link(RESULT_KO, &RESULT_KO_Mark);
  Link(INSTRUCTION_READY, &INSTRUCTION_READY_Mark);
}

// Instantaneous_Activity1 -------------------------------------------------

bool COMPUTE_UNITSAN::Instantaneous_Activity1Activity::Enabled() { return Remember(*MEM_OP_COMPLETE_Mark > 0); }

BaseActionClass* COMPUTE_UNITSAN::Instantaneous_Activity1Activity::Fire() {
  (*MEM_OP_COMPLETE_Mark)--;
  (*INSTRUCTION_READY_Mark)++;
  return this;
}

void COMPUTE_UNITSAN::Instantaneous_Activity1Activity::LinkVariables() {
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
  Link(INSTRUCTION_READY, &INSTRUCTION_READY_Mark);
}
