#include "generated/OUTPUT_MEMORY_MODELSAN.h"

OUTPUT_MEMORY_MODELSAN::OUTPUT_MEMORY_MODELSAN()
    : SANModel(),
      WRITE_OUTPUT_MEMORY("WRITE_OUTPUT_MEMORY", 0),
      OK_CONTENT("OK_CONTENT", 0),
      KO_CONTENT("KO_CONTENT", 0),
      MEM_OP_COMPLETE("MEM_OP_COMPLETE", 0),
      RESULT_OK("RESULT_OK", 0),
      RESULT_KO("RESULT_KO", 0) {
  const Distribution d = INSTANTANEOUS;
  const ExecutionPolicyType e = DEFAULT_POLICY;
  Instantaneous_Activity1.ActivityInitialize("Instantaneous_Activity1", 0, d, e, 2, 1, false);
  Instantaneous_Activity2.ActivityInitialize("Instantaneous_Activity2", 1, d, e, 2, 1, false);
  Instantaneous_Activity12.ActivityInitialize("Instantaneous_Activity12", 2, d, e, 3, 2, false);
  Instantaneous_Activity3.ActivityInitialize("Instantaneous_Activity3", 3, d, e, 3, 2, false);

  BaseStateVariableClass* places[] = {&WRITE_OUTPUT_MEMORY, &OK_CONTENT, &KO_CONTENT,
                                      &MEM_OP_COMPLETE,     &RESULT_OK,  &RESULT_KO};
  Activity* activities[] = {&Instantaneous_Activity1, &Instantaneous_Activity2, &Instantaneous_Activity12,
                            &Instantaneous_Activity3};
  BaseGroupClass* groups[] = {&Instantaneous_Activity1, &Instantaneous_Activity2, &Instantaneous_Activity12,
                              &Instantaneous_Activity3};
  initializeSANModelNow("OUTPUT_MEMORY_MODEL", 6, places, 0, nullptr, 4, activities, 4, groups);

  AssignPlacesToActivities();
  AddArcs();
  Instantaneous_Activity1.LinkVariables();
  Instantaneous_Activity2.LinkVariables();
  Instantaneous_Activity12.LinkVariables();
  Instantaneous_Activity3.LinkVariables();
}

void OUTPUT_MEMORY_MODELSAN::AssignPlacesToActivities() {
  Instantaneous_Activity1.OK_CONTENT = &OK_CONTENT;
  Instantaneous_Activity1.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity2.KO_CONTENT = &KO_CONTENT;
  Instantaneous_Activity2.MEM_OP_COMPLETE = &MEM_OP_COMPLETE;
  Instantaneous_Activity12.RESULT_OK = &RESULT_OK;
  Instantaneous_Activity12.WRITE_OUTPUT_MEMORY = &WRITE_OUTPUT_MEMORY;
  Instantaneous_Activity12.OK_CONTENT = &OK_CONTENT;
  Instantaneous_Activity3.WRITE_OUTPUT_MEMORY = &WRITE_OUTPUT_MEMORY;
  Instantaneous_Activity3.RESULT_KO = &RESULT_KO;
  Instantaneous_Activity3.KO_CONTENT = &KO_CONTENT;
}

void OUTPUT_MEMORY_MODELSAN::AddArcs() {
  AddAffectArc(&OK_CONTENT, &Instantaneous_Activity1);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity1);
  AddAffectArc(&KO_CONTENT, &Instantaneous_Activity2);
  AddAffectArc(&MEM_OP_COMPLETE, &Instantaneous_Activity2);
  AddAffectArc(&RESULT_OK, &Instantaneous_Activity12);
  AddAffectArc(&WRITE_OUTPUT_MEMORY, &Instantaneous_Activity12);
  AddAffectArc(&OK_CONTENT, &Instantaneous_Activity12);
  AddAffectArc(&WRITE_OUTPUT_MEMORY, &Instantaneous_Activity3);
  AddAffectArc(&RESULT_KO, &Instantaneous_Activity3);
  AddAffectArc(&KO_CONTENT, &Instantaneous_Activity3);

  AddEnableArc(&OK_CONTENT, &Instantaneous_Activity1);
  AddEnableArc(&KO_CONTENT, &Instantaneous_Activity2);
  AddEnableArc(&RESULT_OK, &Instantaneous_Activity12);
  AddEnableArc(&WRITE_OUTPUT_MEMORY, &Instantaneous_Activity12);
  AddEnableArc(&WRITE_OUTPUT_MEMORY, &Instantaneous_Activity3);
  AddEnableArc(&RESULT_KO, &Instantaneous_Activity3);
}

// Instantaneous_Activity1 -------------------------------------------------

bool OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity1Activity::Enabled() { return Remember(*OK_CONTENT_Mark > 0); }

BaseActionClass* OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity1Activity::Fire() {
  (*OK_CONTENT_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  return this;
}

void OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity1Activity::LinkVariables() {
  Link(OK_CONTENT, &OK_CONTENT_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
}

// Instantaneous_Activity2 -------------------------------------------------

bool OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity2Activity::Enabled() { return Remember(*KO_CONTENT_Mark > 0); }

BaseActionClass* OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity2Activity::Fire() {
  (*KO_CONTENT_Mark)--;
  (*MEM_OP_COMPLETE_Mark)++;
  return this;
}

void OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity2Activity::LinkVariables() {
  Link(KO_CONTENT, &KO_CONTENT_Mark);
  Link(MEM_OP_COMPLETE, &MEM_OP_COMPLETE_Mark);
}

// Instantaneous_Activity12 ------------------------------------------------

bool OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity12Activity::Enabled() {
  return Remember(*RESULT_OK_Mark > 0 && *WRITE_OUTPUT_MEMORY_Mark > 0);
}

BaseActionClass* OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity12Activity::Fire() {
  (*RESULT_OK_Mark)--;
  (*WRITE_OUTPUT_MEMORY_Mark)--;
  (*OK_CONTENT_Mark)++;
  return this;
}

void OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity12Activity::LinkVariables() {
  Link(RESULT_OK, &RESULT_OK_Mark);
  Link(WRITE_OUTPUT_MEMORY, &WRITE_OUTPUT_MEMORY_Mark);
  Link(OK_CONTENT, &OK_CONTENT_Mark);
}

// Instantaneous_Activity3 -------------------------------------------------

bool OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity3Activity::Enabled() {
  return Remember(*WRITE_OUTPUT_MEMORY_Mark > 0 && *RESULT_KO_Mark > 0);
}

BaseActionClass* OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity3Activity::Fire() {
  (*WRITE_OUTPUT_MEMORY_Mark)--;
  (*RESULT_KO_Mark)--;
  (*KO_CONTENT_Mark)++;
  return this;
}

void OUTPUT_MEMORY_MODELSAN::Instantaneous_Activity3Activity::LinkVariables() {
  Link(WRITE_OUTPUT_MEMORY, &WRITE_OUTPUT_MEMORY_Mark);
  Link(RESULT_KO, &RESULT_KO_Mark);
  Link(KO_CONTENT, &KO_CONTENT_Mark);
}
