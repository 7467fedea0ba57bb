// The event loop allocates nothing per event. This file replaces the global
// operator new of the test program with one that counts allocations while a
// flag is set, and compares whole loops of few and of many replications (or
// batches): set-up and reporting are the same in both, so any difference is
// allocation that grows with the number of events.
//
// AddressSanitizer brings its own operator new: the sanitizer build skips
// these tests.
#include "generated/GPU_COMPOSED_STUDYSetStudy.h"
#include "interpret/InterpretedStudy.h"
#include "rewards/BaseStudyClass.h"
#include "simulator/EngineTestModels.h"
#include "simulator/SimulatorClass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define GPUSIM_COUNTING_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GPUSIM_COUNTING_NEW 0
#endif
#endif
#ifndef GPUSIM_COUNTING_NEW
#define GPUSIM_COUNTING_NEW 1
#endif

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

#if GPUSIM_COUNTING_NEW
void* operator new(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  for (;;) {
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

using enginetest::EngineRewardModel;
using enginetest::HandSAN;
using enginetest::Harness;
using enginetest::SeededGenerator;
using enginetest::VariableSpec;

namespace {

// Allocations made by one whole loop with the given batch limit.
template <class MakeModel>
long AllocationsOfALoop(MakeModel makeModel, int isTerminating, int maxBatches, int* fired) {
  auto model = makeModel();
  Harness h;
  h.Sim.IsTerminating = isTerminating;
  h.Sim.MaxBatches = maxBatches;
  h.Sim.ReportSize = 100000;  // one report, whatever the limit
  h.Install(model.get());
  allocations = 0;
  counting = true;
  if (isTerminating) {
    h.Sim.TerminatingSimulation();
  } else {
    h.Sim.SteadyStateSimulation();
  }
  counting = false;
  *fired = h.Sim.ActionsFired;
  return allocations;
}

// The M/M/1 queue with a time-averaged length and a counted service.
std::unique_ptr<EngineRewardModel> QueueModel(int steadyState) {
  auto* san = new HandSAN("MM1");
  Place* q = san->AddPlace("Q", 0);
  san->AddActivity("ARRIVE", {}, {q})->Exponential(0.9);
  san->AddActivity("SERVE", {q}, {})->Exponential(1.0);
  san->Finish();
  VariableSpec length;
  length.Name = "length";
  length.RatePlace = "Q";
  length.Stop = 500.0;
  length.SteadyState = steadyState;
  VariableSpec served = length;
  served.Name = "served";
  served.RatePlace.clear();
  served.CountedActions = {"SERVE"};
  return std::make_unique<EngineRewardModel>(san, std::vector<VariableSpec>{length, served});
}

}  // namespace

TEST(NoAllocationTest, TerminatingReplicationsAllocateNothingPerEvent) {
  if (!GPUSIM_COUNTING_NEW) GTEST_SKIP() << "the sanitizer owns operator new";
  SeededGenerator seed(5);
  int fewFired = 0, manyFired = 0;
  const long few = AllocationsOfALoop([] { return QueueModel(0); }, 1, 2, &fewFired);
  const long many = AllocationsOfALoop([] { return QueueModel(0); }, 1, 200, &manyFired);
  EXPECT_GT(manyFired, 100000);
  EXPECT_GT(few, 0);  // the counter is live: the loop makes its packets
  EXPECT_EQ(many, few) << fewFired << " firings vs " << manyFired;
}

TEST(NoAllocationTest, SteadyStateBatchesAllocateNothingPerEvent) {
  if (!GPUSIM_COUNTING_NEW) GTEST_SKIP() << "the sanitizer owns operator new";
  SeededGenerator seed(6);
  int fewFired = 0, manyFired = 0;
  const long few = AllocationsOfALoop([] { return QueueModel(1); }, 0, 2, &fewFired);
  const long many = AllocationsOfALoop([] { return QueueModel(1); }, 0, 200, &manyFired);
  EXPECT_GT(manyFired, 100000);
  EXPECT_GT(few, 0);  // the counter is live: the loop makes its packets
  EXPECT_EQ(many, few) << fewFired << " firings vs " << manyFired;
}

TEST(NoAllocationTest, GpuModelReplicationsAllocateNothingPerEvent) {
  if (!GPUSIM_COUNTING_NEW) GTEST_SKIP() << "the sanitizer owns operator new";
  SeededGenerator seed(7);
  auto gpuModel = [] {
    // The study owns the reward model; the deleter hands both back.
    BaseStudyClass* study = GenerateStudy();
    study->SetGVs(0);
    auto release = [](PVModel*) { DestructStudy(); };
    return std::unique_ptr<PVModel, decltype(release)>(study->GetPVModel(true), release);
  };
  int fewFired = 0, manyFired = 0;
  const long few = AllocationsOfALoop(gpuModel, 1, 2, &fewFired);
  const long many = AllocationsOfALoop(gpuModel, 1, 2000, &manyFired);
  EXPECT_GT(manyFired, 50000);
  EXPECT_GT(few, 0);  // the counter is live: the loop makes its packets
  EXPECT_EQ(many, few) << fewFired << " firings vs " << manyFired;
}

TEST(NoAllocationTest, InterpretedModelsAllocateNothingPerEvent) {
  if (!GPUSIM_COUNTING_NEW) GTEST_SKIP() << "the sanitizer owns operator new";
  struct Case {
    const char* file;
    int isTerminating;
    int many;
  };
  // The example models add timed activities, reactivation, cases with
  // weights, array places, nested joins and steady-state batches.
  const Case cases[] = {{"gpu.san", 1, 2000},   {"mm1k.san", 0, 10},  {"repairman.san", 1, 2000},
                        {"multiproc.san", 0, 50}, {"tmr.san", 1, 10000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    SeededGenerator seed(8);
    const std::string path = std::string(GPUSIM_SOURCE_DIR) + "/models/" + c.file;
    auto interpreted = [&path] {
      // The study owns the reward model; the deleter hands both back.
      saninterp::InterpretedStudy* study = saninterp::LoadStudy(path, std::cerr).release();
      study->SetGVs(0);
      std::function<void(PVModel*)> release = [study](PVModel*) { delete study; };
      return std::unique_ptr<PVModel, std::function<void(PVModel*)>>(study->GetPVModel(true), release);
    };
    int fewFired = 0, manyFired = 0;
    const long few = AllocationsOfALoop(interpreted, c.isTerminating, 2, &fewFired);
    const long many = AllocationsOfALoop(interpreted, c.isTerminating, c.many, &manyFired);
    EXPECT_GT(manyFired, 20000);
    EXPECT_EQ(many, few) << fewFired << " firings vs " << manyFired;
  }
}
