#include "generated/RESULT_MEMORY_MODELSAN.h"

RESULT_MEMORY_MODELSAN::RESULT_MEMORY_MODELSAN()
    : SANModel(),
      WRITE_RESULT_MEMORY("WRITE_RESULT_MEMORY", 0),
      OK_CONTENT("OK_CONTENT", 0),
      KO_CONTENT("KO_CONTENT", 0),
      READ_RESULT_MEMORY("READ_RESULT_MEMORY", 0),
      MEMORY_OK("MEMORY_OK", 0),
      MEMORY_KO("MEMORY_KO", 0),
      RESULT_OK("RESULT_OK", 0),
      RESULT_KO("RESULT_KO", 0),
      MEM_OP_COMPLETE("MEM_OP_COMPLETE", 0),
      OK_READ("OK_READ", 0),
      KO_READ("KO_READ", 0) {
  const Distribution d = INSTANTANEOUS;
  const ExecutionPolicyType e = DEFAULT_POLICY;
  READ_FROM_case1.ActivityInitialize("READ_FROM_case1", 0, d, e, 2, 1, false);
  READ_FROM_case2.ActivityInitialize("READ_FROM_case2", 0, d, e, 2, 1, false);
  WRITE_OK.ActivityInitialize("WRITE_OK", 1, d, e, 3, 2, false);
  WRITE_KO.ActivityInitialize("WRITE_KO", 2, d, e, 3, 2, false);
  Instantaneous_Activity1.ActivityInitialize("Instantaneous_Activity1", 3, d, e, 2, 1, false);
  Instantaneous_Activity2.ActivityInitialize("Instantaneous_Activity2", 4, d, e, 2, 1, false);
  Instantaneous_Activity3.ActivityInitialize("Instantaneous_Activity3", 5, d, e, 3, 1, false);
  Instantaneous_Activity4.ActivityInitialize("Instantaneous_Activity4", 6, d, e, 3, 1, false);

  READ_FROMGroup.initialize("READ_FROMGroup", &READ_FROM_case1, &READ_FROM_case2);

  BaseStateVariableClass* places[] = {&WRITE_RESULT_MEMORY, &OK_CONTENT, &KO_CONTENT, &READ_RESULT_MEMORY,
                                      &MEMORY_OK,           &MEMORY_KO,  &RESULT_OK,  &RESULT_KO,
                                      &MEM_OP_COMPLETE,     &OK_READ,    &KO_READ};
  Activity* activities[] = {&READ_FROM_case1,         &READ_FROM_case2,         &WRITE_OK,
                            &WRITE_KO,                &Instantaneous_Activity1, &Instantaneous_Activity2,
                            &Instantaneous_Activity3, &Instantaneous_Activity4};
  BaseGroupClass* groups[] = {&READ_FROMGroup,          &WRITE_OK,
                              &WRITE_KO,                &Instantaneous_Activity1,
                              &Instantaneous_Activity2, &Instantaneous_Activity3,
                              &Instantaneous_Activity4};
  initializeSANModelNow("RESULT_MEMORY_MODEL", 11, places, 0, nullptr, 8, activities, 7, groups);

  AssignPlacesToActivities();
  AddArcs();
  READ_FROM_case1.LinkVariables();
  READ_FROM_case2.LinkVariables();
  WRITE_OK.LinkVariables();
  WRITE_KO.LinkVariables();
  Instantaneous_Activity1.LinkVariables();
  Instantaneous_Activity2.LinkVariables();
  Instantaneous_Activity3.LinkVariables();
  Instantaneous_Activity4.LinkVariables();
}

void RESULT_MEMORY_MODELSAN::AssignPlacesToActivities() {
  READ_FROM_case1.READ_RESULT_MEMORY = &READ_RESULT_MEMORY;
  READ_FROM_case1.MEMORY_OK = &MEMORY_OK;
  READ_FROM_case2.READ_RESULT_MEMORY = &READ_RESULT_MEMORY;
  READ_FROM_case2.MEMORY_KO = &MEMORY_KO;
  WRITE_OK.WRITE_RESULT_MEMORY = &WRITE_RESULT_MEMORY;
  WRITE_OK.RESULT_OK = &RESULT_OK;
  WRITE_OK.OK_CONTENT = &OK_CONTENT;
  WRITE_KO.WRITE_RESULT_MEMORY = &WRITE_RESULT_MEMORY;
  WRITE_KO.RESULT_KO = &RESULT_KO;
  WRITE_KO.KO_CONTENT = &KO_CONTENT;
  Instantaneous_Activity1.OK_CONTENT = &OK_CONTENT;
  Instantaneous_Activity1.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity2.KO_CONTENT = &KO_CONTENT;
  Instantaneous_Activity2.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity3.MEMORY_OK = &MEMORY_OK;
  Instantaneous_Activity3.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity3.OK_READ = &OK_READ;
  Instantaneous_Activity4.MEMORY_KO = &MEMORY_KO;
  Instantaneous_Activity4.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity4.KO_READ = &KO_READ;
}

void RESULT_MEMORY_MODELSAN::AddArcs() {
  AddAffectArc(&READ_RESULT_MEMORY, &READ_FROM_case1);
  AddAffectArc(&MEMORY_OK, &READ_FROM_case1);
  AddAffectArc(&READ_RESULT_MEMORY, &READ_FROM_case2);
  AddAffectArc(&MEMORY_KO, &READ_FROM_case2);
  AddAffectArc(&WRITE_RESULT_MEMORY, &WRITE_OK);
  AddAffectArc(&RESULT_OK, &WRITE_OK);
  AddAffectArc(&OK_CONTENT, &WRITE_OK);
  AddAffectArc(&WRITE_RESULT_MEMORY, &WRITE_KO);
  AddAffectArc(&RESULT_KO, &WRITE_KO);
  AddAffectArc(&KO_CONTENT, &WRITE_KO);
  AddAffectArc(&OK_CONTENT, &Instantaneous_Activity1);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity1);
  AddAffectArc(&KO_CONTENT, &Instantaneous_Activity2);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity2);
  AddAffectArc(&MEMORY_OK, &Instantaneous_Activity3);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity3);
  AddAffectArc(&OK_READ, &Instantaneous_Activity3);
  AddAffectArc(&MEMORY_KO, &Instantaneous_Activity4);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity4);
  AddAffectArc(&KO_READ, &Instantaneous_Activity4);

  AddEnableArc(&READ_RESULT_MEMORY, &READ_FROM_case1);
  AddEnableArc(&READ_RESULT_MEMORY, &READ_FROM_case2);
  AddEnableArc(&WRITE_RESULT_MEMORY, &WRITE_OK);
  AddEnableArc(&RESULT_OK, &WRITE_OK);
  AddEnableArc(&WRITE_RESULT_MEMORY, &WRITE_KO);
  AddEnableArc(&RESULT_KO, &WRITE_KO);
  AddEnableArc(&OK_CONTENT, &Instantaneous_Activity1);
  AddEnableArc(&KO_CONTENT, &Instantaneous_Activity2);
  AddEnableArc(&MEMORY_OK, &Instantaneous_Activity3);
  AddEnableArc(&MEMORY_KO, &Instantaneous_Activity4);
}

// READ_FROM_case1 ---------------------------------------------------------

bool RESULT_MEMORY_MODELSAN::READ_FROMActivity_case1::Enabled() { return Remember(*READ_RESULT_MEMORY_Mark > 0); }
double RESULT_MEMORY_MODELSAN::READ_FROMActivity_case1::Weight() { return 0.5; }

BaseActionClass* RESULT_MEMORY_MODELSAN::READ_FROMActivity_case1::Fire() {
  (*READ_RESULT_MEMORY_Mark)--;
  (*MEMORY_OK_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::READ_FROMActivity_case1::LinkVariables() {
  Link(READ_RESULT_MEMORY, &READ_RESULT_MEMORY_Mark);
  Link(MEMORY_OK, &MEMORY_OK_Mark);
}

// READ_FROM_case2 ---------------------------------------------------------

bool RESULT_MEMORY_MODELSAN::READ_FROMActivity_case2::Enabled() { return Remember(*READ_RESULT_MEMORY_Mark > 0); }
double RESULT_MEMORY_MODELSAN::READ_FROMActivity_case2::Weight() { return 0.5; }

BaseActionClass* RESULT_MEMORY_MODELSAN::READ_FROMActivity_case2::Fire() {
  (*READ_RESULT_MEMORY_Mark)--;
  (*MEMORY_KO_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::READ_FROMActivity_case2::LinkVariables() {
  Link(READ_RESULT_MEMORY, &READ_RESULT_MEMORY_Mark);
  Link(MEMORY_KO, &MEMORY_KO_Mark);
}

// WRITE_OK ----------------------------------------------------------------

bool RESULT_MEMORY_MODELSAN::WRITE_OKActivity::Enabled() {
  return Remember(*WRITE_RESULT_MEMORY_Mark > 0 && *RESULT_OK_Mark > 0);
}

BaseActionClass* RESULT_MEMORY_MODELSAN::WRITE_OKActivity::Fire() {
  (*WRITE_RESULT_MEMORY_Mark)--;
  (*RESULT_OK_Mark)--;
  (*OK_CONTENT_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::WRITE_OKActivity::LinkVariables() {
  Link(WRITE_RESULT_MEMORY, &WRITE_RESULT_MEMORY_Mark);
  Link(RESULT_OK, &RESULT_OK_Mark);
  Link(OK_CONTENT, &OK_CONTENT_Mark);
}

// WRITE_KO ----------------------------------------------------------------

bool RESULT_MEMORY_MODELSAN::WRITE_KOActivity::Enabled() {
  return Remember(*WRITE_RESULT_MEMORY_Mark > 0 && *RESULT_KO_Mark > 0);
}

BaseActionClass* RESULT_MEMORY_MODELSAN::WRITE_KOActivity::Fire() {
  (*WRITE_RESULT_MEMORY_Mark)--;
  (*RESULT_KO_Mark)--;
  (*KO_CONTENT_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::WRITE_KOActivity::LinkVariables() {
  Link(WRITE_RESULT_MEMORY, &WRITE_RESULT_MEMORY_Mark);
  Link(RESULT_KO, &RESULT_KO_Mark);
  Link(KO_CONTENT, &KO_CONTENT_Mark);
}

// Instantaneous_Activity1 -------------------------------------------------

bool RESULT_MEMORY_MODELSAN::Instantaneous_Activity1Activity::Enabled() { return Remember(*OK_CONTENT_Mark > 0); }

BaseActionClass* RESULT_MEMORY_MODELSAN::Instantaneous_Activity1Activity::Fire() {
  (*OK_CONTENT_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::Instantaneous_Activity1Activity::LinkVariables() {
  Link(OK_CONTENT, &OK_CONTENT_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
}

// Instantaneous_Activity2 -------------------------------------------------

bool RESULT_MEMORY_MODELSAN::Instantaneous_Activity2Activity::Enabled() { return Remember(*KO_CONTENT_Mark > 0); }

BaseActionClass* RESULT_MEMORY_MODELSAN::Instantaneous_Activity2Activity::Fire() {
  (*KO_CONTENT_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::Instantaneous_Activity2Activity::LinkVariables() {
  Link(KO_CONTENT, &KO_CONTENT_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
}

// Instantaneous_Activity3 -------------------------------------------------

bool RESULT_MEMORY_MODELSAN::Instantaneous_Activity3Activity::Enabled() { return Remember(*MEMORY_OK_Mark > 0); }

BaseActionClass* RESULT_MEMORY_MODELSAN::Instantaneous_Activity3Activity::Fire() {
  (*MEMORY_OK_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  (*OK_READ_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::Instantaneous_Activity3Activity::LinkVariables() {
  Link(MEMORY_OK, &MEMORY_OK_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
  Link(OK_READ, &OK_READ_Mark);
}

// Instantaneous_Activity4 -------------------------------------------------

bool RESULT_MEMORY_MODELSAN::Instantaneous_Activity4Activity::Enabled() { return Remember(*MEMORY_KO_Mark > 0); }

BaseActionClass* RESULT_MEMORY_MODELSAN::Instantaneous_Activity4Activity::Fire() {
  (*MEMORY_KO_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  (*KO_READ_Mark)++;
  return this;
}

void RESULT_MEMORY_MODELSAN::Instantaneous_Activity4Activity::LinkVariables() {
  Link(MEMORY_KO, &MEMORY_KO_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
  Link(KO_READ, &KO_READ_Mark);
}
