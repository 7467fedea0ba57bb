#include "generated/GPURJ.h"

const char* GPURJ__SharedNames[9] = {"KO_READ",           "MEM_OP_COMPLETE", "OK_READ",
                                     "READ_RESULT_MEMORY", "READ_TOTAL_MEMORY", "RESULT_KO",
                                     "RESULT_OK",          "WRITE_OUTPUT_MEMORY", "WRITE_RESULT_MEMORY"};

GPURJ::GPURJ() : Join("Join", 4, 9, GPURJ__SharedNames) {
  COMPUTE_UNIT = new COMPUTE_UNITSAN();
  Children[0] = COMPUTE_UNIT;
  COMPUTE_UNIT->DefineName("COMPUTE_UNIT");
  TOTAL_MEMORY = new TOTAL_MEMORY_MODELSAN();
  Children[1] = TOTAL_MEMORY;
  TOTAL_MEMORY->DefineName("TOTAL_MEMORY");
  OUTPUT_MEMORY = new OUTPUT_MEMORY_MODELSAN();
  Children[2] = OUTPUT_MEMORY;
  OUTPUT_MEMORY->DefineName("OUTPUT_MEMORY");
  RESULT_MEMORY = new RESULT_MEMORY_MODELSAN();
  Children[3] = RESULT_MEMORY;
  RESULT_MEMORY->DefineName("RESULT_MEMORY");

  SetupActions();
  if (AllChildrenEmpty()) {
    NumSharedStateVariables = 0;
  } else {
    ShareAll();
  }
  Setup();
}

// Declaration order, and within each shared place child order: each merge
// lets the shared place take the marking of the child place merged last.
void GPURJ::ShareAll() {
  KO_READ = NewSharedPlace(0);
  Share(KO_READ, &COMPUTE_UNIT->KO_READ, COMPUTE_UNIT);
  Share(KO_READ, &TOTAL_MEMORY->KO_READ, TOTAL_MEMORY);
  Share(KO_READ, &RESULT_MEMORY->KO_READ, RESULT_MEMORY);

  MEM_OP_COMPLETE = NewSharedPlace(1);
  Share(MEM_OP_COMPLETE, &COMPUTE_UNIT->MEM_OP_COMPLETE, COMPUTE_UNIT);
  Share(MEM_OP_COMPLETE, &TOTAL_MEMORY->MEM_OP_COMPLETE, TOTAL_MEMORY);
  Share(MEM_OP_COMPLETE, &OUTPUT_MEMORY->MEM_OP_COMPLETE, OUTPUT_MEMORY);
  Share(MEM_OP_COMPLETE, &RESULT_MEMORY->MEM_OP_COMPLETE, RESULT_MEMORY);

  OK_READ = NewSharedPlace(2);
  Share(OK_READ, &COMPUTE_UNIT->OK_READ, COMPUTE_UNIT);
  Share(OK_READ, &TOTAL_MEMORY->OK_READ, TOTAL_MEMORY);
  Share(OK_READ, &RESULT_MEMORY->OK_READ, RESULT_MEMORY);

  READ_RESULT_MEMORY = NewSharedPlace(3);
  Share(READ_RESULT_MEMORY, &COMPUTE_UNIT->READ_RESULT_MEMORY, COMPUTE_UNIT);
  Share(READ_RESULT_MEMORY, &RESULT_MEMORY->READ_RESULT_MEMORY, RESULT_MEMORY);

  READ_TOTAL_MEMORY = NewSharedPlace(4);
  Share(READ_TOTAL_MEMORY, &COMPUTE_UNIT->READ_TOTAL_MEMORY, COMPUTE_UNIT);
  Share(READ_TOTAL_MEMORY, &TOTAL_MEMORY->READ_TOTAL_MEMORY, TOTAL_MEMORY);

  RESULT_KO = NewSharedPlace(5);
  Share(RESULT_KO, &COMPUTE_UNIT->RESULT_KO, COMPUTE_UNIT);
  Share(RESULT_KO, &RESULT_MEMORY->RESULT_KO, RESULT_MEMORY);

  RESULT_OK = NewSharedPlace(6);
  Share(RESULT_OK, &COMPUTE_UNIT->RESULT_OK, COMPUTE_UNIT);
  Share(RESULT_OK, &RESULT_MEMORY->RESULT_OK, RESULT_MEMORY);

  WRITE_OUTPUT_MEMORY = NewSharedPlace(7);
  Share(WRITE_OUTPUT_MEMORY, &COMPUTE_UNIT->WRITE_OUTPUT_MEMORY, COMPUTE_UNIT);
  Share(WRITE_OUTPUT_MEMORY, &OUTPUT_MEMORY->WRITE_OUTPUT_MEMORY, OUTPUT_MEMORY);

  WRITE_RESULT_MEMORY = NewSharedPlace(8);
  Share(WRITE_RESULT_MEMORY, &COMPUTE_UNIT->WRITE_RESULT_MEMORY, COMPUTE_UNIT);
  Share(WRITE_RESULT_MEMORY, &RESULT_MEMORY->WRITE_RESULT_MEMORY, RESULT_MEMORY);
}

Place* GPURJ::NewSharedPlace(int index) {
  Place* place = new Place(GPURJ__SharedNames[index]);
  addSharedPtr(place, GPURJ__SharedNames[index]);
  return place;
}

void GPURJ::Share(Place* shared, Place* childPlace, BaseModelClass* child) {
  if (child->getNumStateVariables() <= 0) return;
  shared->ShareWith(childPlace);
  addSharingInfo(childPlace, shared, child);
}

GPURJ::~GPURJ() {
  if (!AllChildrenEmpty()) {
    for (Place* shared : {KO_READ, MEM_OP_COMPLETE, OK_READ, READ_RESULT_MEMORY, READ_TOTAL_MEMORY, RESULT_KO,
                          RESULT_OK, WRITE_OUTPUT_MEMORY, WRITE_RESULT_MEMORY})
      delete shared;
  }
  delete COMPUTE_UNIT;
  delete TOTAL_MEMORY;
  delete OUTPUT_MEMORY;
  delete RESULT_MEMORY;
}
