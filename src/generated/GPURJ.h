// GPURJ is the composed GPU model: a join of the compute unit and the three
// memories, which interact only through nine shared places. Its children are,
// in order, COMPUTE_UNIT, TOTAL_MEMORY, OUTPUT_MEMORY and RESULT_MEMORY; its
// action list is their 20 actions and its group list their 18 groups,
// renumbered 0 to 17 in that order. OUTPUT_MEMORY's RESULT_OK and RESULT_KO
// stay local to that memory.
//
// Ownership: the join owns its children and its shared places. The shared
// places own the cells the children's merged places point at; they are
// deleted first, then the children.
#ifndef GENERATED_GPURJ_H
#define GENERATED_GPURJ_H

#include <memory>

#include "Cpp/Composer/Join.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "generated/COMPUTE_UNITSAN.h"
#include "generated/OUTPUT_MEMORY_MODELSAN.h"
#include "generated/RESULT_MEMORY_MODELSAN.h"
#include "generated/TOTAL_MEMORY_MODELSAN.h"

// The names of the shared places, in declaration order.
extern const char* GPURJ__SharedNames[9];

class GPURJ : public Join {
 public:
  GPURJ();
  GPURJ(const GPURJ&) = delete;
  GPURJ& operator=(const GPURJ&) = delete;
  ~GPURJ() override;

  COMPUTE_UNITSAN* COMPUTE_UNIT;
  TOTAL_MEMORY_MODELSAN* TOTAL_MEMORY;
  OUTPUT_MEMORY_MODELSAN* OUTPUT_MEMORY;
  RESULT_MEMORY_MODELSAN* RESULT_MEMORY;

  // Shared places, in declaration order; null when no child has places.
  Place* KO_READ = nullptr;
  Place* MEM_OP_COMPLETE = nullptr;
  Place* OK_READ = nullptr;
  Place* READ_RESULT_MEMORY = nullptr;
  Place* READ_TOTAL_MEMORY = nullptr;
  Place* RESULT_KO = nullptr;
  Place* RESULT_OK = nullptr;
  Place* WRITE_OUTPUT_MEMORY = nullptr;
  Place* WRITE_RESULT_MEMORY = nullptr;

 private:
  void ShareAll();
  // Creates and registers the shared place of the given declared index.
  Place* NewSharedPlace(int index);
  // Merges a child's place into a shared place, for a child that has places.
  void Share(Place* shared, Place* childPlace, BaseModelClass* child);
};

#endif
