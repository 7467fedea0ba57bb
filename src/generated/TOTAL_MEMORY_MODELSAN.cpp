#include "generated/TOTAL_MEMORY_MODELSAN.h"

TOTAL_MEMORY_MODELSAN::TOTAL_MEMORY_MODELSAN()
    : SANModel(),
      READ_TOTAL_MEMORY("READ_TOTAL_MEMORY", 0),
      MEMORY_OK("MEMORY_OK", 0),
      MEMORY_KO("MEMORY_KO", 0),
      MEM_OP_COMPLETE("MEM_OP_COMPLETE", 0),
      OK_READ("OK_READ", 0),
      KO_READ("KO_READ", 0) {
  const Distribution d = INSTANTANEOUS;
  const ExecutionPolicyType e = DEFAULT_POLICY;
  READ_FROM_case1.ActivityInitialize("READ_FROM_case1", 0, d, e, 2, 1, false);
  READ_FROM_case2.ActivityInitialize("READ_FROM_case2", 0, d, e, 2, 1, false);
  Instantaneous_Activity1.ActivityInitialize("Instantaneous_Activity1", 1, d, e, 3, 1, false);
  Instantaneous_Activity2.ActivityInitialize("Instantaneous_Activity2", 2, d, e, 3, 1, false);

  READ_FROMGroup.initialize("READ_FROMGroup", &READ_FROM_case1, &READ_FROM_case2);

  BaseStateVariableClass* places[] = {&READ_TOTAL_MEMORY, &MEMORY_OK, &MEMORY_KO,
                                      &MEM_OP_COMPLETE,   &OK_READ,   &KO_READ};
  Activity* activities[] = {&READ_FROM_case1, &READ_FROM_case2, &Instantaneous_Activity1, &Instantaneous_Activity2};
  BaseGroupClass* groups[] = {&READ_FROMGroup, &Instantaneous_Activity1, &Instantaneous_Activity2};
  initializeSANModelNow("TOTAL_MEMORY_MODEL", 6, places, 0, nullptr, 4, activities, 3, groups);

  AssignPlacesToActivities();
  AddArcs();
  READ_FROM_case1.LinkVariables();
  READ_FROM_case2.LinkVariables();
  Instantaneous_Activity1.LinkVariables();
  Instantaneous_Activity2.LinkVariables();
}

void TOTAL_MEMORY_MODELSAN::AssignPlacesToActivities() {
  READ_FROM_case1.READ_TOTAL_MEMORY = &READ_TOTAL_MEMORY;
  READ_FROM_case1.MEMORY_OK = &MEMORY_OK;
  READ_FROM_case2.READ_TOTAL_MEMORY = &READ_TOTAL_MEMORY;
  READ_FROM_case2.MEMORY_KO = &MEMORY_KO;
  Instantaneous_Activity1.MEMORY_OK = &MEMORY_OK;
  Instantaneous_Activity1.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity1.OK_READ = &OK_READ;
  Instantaneous_Activity2.MEMORY_KO = &MEMORY_KO;
  Instantaneous_Activity2.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity2.KO_READ = &KO_READ;
}

void TOTAL_MEMORY_MODELSAN::AddArcs() {
  AddAffectArc(&READ_TOTAL_MEMORY, &READ_FROM_case1);
  AddAffectArc(&MEMORY_OK, &READ_FROM_case1);
  AddAffectArc(&READ_TOTAL_MEMORY, &READ_FROM_case2);
  AddAffectArc(&MEMORY_KO, &READ_FROM_case2);
  AddAffectArc(&MEMORY_OK, &Instantaneous_Activity1);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity1);
  AddAffectArc(&OK_READ, &Instantaneous_Activity1);
  AddAffectArc(&MEMORY_KO, &Instantaneous_Activity2);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity2);
  AddAffectArc(&KO_READ, &Instantaneous_Activity2);

  AddEnableArc(&READ_TOTAL_MEMORY, &READ_FROM_case1);
  AddEnableArc(&READ_TOTAL_MEMORY, &READ_FROM_case2);
  AddEnableArc(&MEMORY_OK, &Instantaneous_Activity1);
  AddEnableArc(&MEMORY_KO, &Instantaneous_Activity2);
}

// READ_FROM_case1 ---------------------------------------------------------

bool TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case1::Enabled() { return Remember(*READ_TOTAL_MEMORY_Mark > 0); }
double TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case1::Weight() { return 0.5; }

BaseActionClass* TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case1::Fire() {
  (*READ_TOTAL_MEMORY_Mark)--;
  (*MEMORY_OK_Mark)++;
  return this;
}

void TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case1::LinkVariables() {
  Link(READ_TOTAL_MEMORY, &READ_TOTAL_MEMORY_Mark);
  Link(MEMORY_OK, &MEMORY_OK_Mark);
}

// READ_FROM_case2 ---------------------------------------------------------

bool TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case2::Enabled() { return Remember(*READ_TOTAL_MEMORY_Mark > 0); }
double TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case2::Weight() { return 0.5; }

BaseActionClass* TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case2::Fire() {
  (*READ_TOTAL_MEMORY_Mark)--;
  (*MEMORY_KO_Mark)++;
  return this;
}

void TOTAL_MEMORY_MODELSAN::READ_FROMActivity_case2::LinkVariables() {
  Link(READ_TOTAL_MEMORY, &READ_TOTAL_MEMORY_Mark);
  Link(MEMORY_KO, &MEMORY_KO_Mark);
}

// Instantaneous_Activity1 -------------------------------------------------

bool TOTAL_MEMORY_MODELSAN::Instantaneous_Activity1Activity::Enabled() { return Remember(*MEMORY_OK_Mark > 0); }

BaseActionClass* TOTAL_MEMORY_MODELSAN::Instantaneous_Activity1Activity::Fire() {
  (*MEMORY_OK_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  (*OK_READ_Mark)++;
  return this;
}

void TOTAL_MEMORY_MODELSAN::Instantaneous_Activity1Activity::LinkVariables() {
  Link(MEMORY_OK, &MEMORY_OK_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
  Link(OK_READ, &OK_READ_Mark);
}

// Instantaneous_Activity2 -------------------------------------------------

bool TOTAL_MEMORY_MODELSAN::Instantaneous_Activity2Activity::Enabled() { return Remember(*MEMORY_KO_Mark > 0); }

BaseActionClass* TOTAL_MEMORY_MODELSAN::Instantaneous_Activity2Activity::Fire() {
  (*MEMORY_KO_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  (*KO_READ_Mark)++;
  return this;
}

void TOTAL_MEMORY_MODELSAN::Instantaneous_Activity2Activity::LinkVariables() {
  Link(MEMORY_KO, &MEMORY_KO_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
  Link(KO_READ, &KO_READ_Mark);
}
