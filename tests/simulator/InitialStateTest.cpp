// The state a terminating replication starts from: saved once, put back
// after each replication exactly as the model's own SetState would, cell by
// cell when the model lists its cells and through SetState otherwise.
#include "simulator/InitialState.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Cpp/BaseClasses/SANModel.h"
#include "Cpp/BaseClasses/state/BaseStructStateVariable.h"
#include "Cpp/BaseClasses/state/Place.h"
#include "generated/GPURJ.h"
#include "generated/GPU_COMPOSED_STUDYSetStudy.h"

namespace {

std::vector<char> StateOf(BaseModelClass* m) {
  std::vector<char> bytes(static_cast<size_t>(m->StateSize()));
  m->CurrentState(bytes.data());
  return bytes;
}

TEST(InitialStateTest, TheGpuModelIsRestoredCellByCellToItsSavedBytes) {
  size = 13;
  GPURJ join;
  InitialState initial(&join);
  EXPECT_TRUE(initial.RestoresByCell());
  EXPECT_EQ(initial.Bytes(), StateOf(&join));
  // A dispatch and a read change own places, shared places and the program.
  join.COMPUTE_UNIT->DISPATCHER.Fire();
  join.TOTAL_MEMORY->MEMORY_OK.setMark(3);
  join.RESULT_MEMORY->OK_READ.setMark(2);
  *join.COMPUTE_UNIT->SCHEDULER.index(4)->Value = 9;
  ASSERT_NE(StateOf(&join), initial.Bytes());
  initial.Restore();
  EXPECT_EQ(StateOf(&join), initial.Bytes());
}

// A struct's SetState is its own: such a model is restored through SetState.
struct PairStruct : BaseStructStateVariable {
  PairStruct() : BaseStructStateVariable("S", "", kTypes, 2), X("X", 1), Y("Y", 2) {
    fields[0].variable = &X;
    fields[1].variable = &Y;
  }
  static constexpr ArrayType kTypes[2] = {SHORT_ARRAY_TYPE, SHORT_ARRAY_TYPE};
  Place X, Y;
};

TEST(InitialStateTest, AModelWithoutPlainCellsIsRestoredThroughSetState) {
  Place p("P", 4);
  PairStruct s;
  BaseStateVariableClass* places[] = {&p, &s};
  SANModel san("SAN", 2, places, 0, nullptr, 0, nullptr, 0, nullptr);
  InitialState initial(&san);
  EXPECT_FALSE(initial.RestoresByCell());
  p.setMark(0);
  s.Y.setMark(7);
  initial.Restore();
  EXPECT_EQ(p.getMark(), 4);
  EXPECT_EQ(s.Y.getMark(), 2);
}

}  // namespace
