// The event list on its own: the hold operation of a running simulation
// (take the earliest event, remove it, schedule its group again at a later
// time), re-keying in place, and the weighted choice among tied events.
// Sizes from 16 to 65536 events: the heap's logarithmic cost up to 4096,
// the calendar's beyond.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "Cpp/BaseClasses/BaseActionClass.h"
#include "simulator/EventList.h"
#include "simulator/ScheduleEntry.h"

namespace {

class Unit : public BaseActionClass {
 public:
  Unit() { ScheduleRecord = &Entry; }
  int Rank() override { return 1; }
  double Weight() override { return 1.0; }
  ScheduleEntry Entry;
};

struct Population {
  explicit Population(int n) : List(n + 1), Rng(42) {
    for (int i = 0; i < n; ++i) Units.push_back(std::make_unique<Unit>());
    for (auto& u : Units) {
      Event e(Next(0.0), 0.0, u.get());
      List.Insert(&e);
    }
  }
  double Next(double now) { return now + Exp(Rng); }

  EventList List;
  std::vector<std::unique_ptr<Unit>> Units;
  std::mt19937_64 Rng;
  std::exponential_distribution<double> Exp{1.0};
};

void BM_HoldInsertRemoveEarliest(benchmark::State& state) {
  Population p(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Event* next = p.List.Earliest();
    Event e(p.Next(next->Time), next->Time, next->Action);
    p.List.Remove(next);
    p.List.Insert(&e);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HoldInsertRemoveEarliest)->RangeMultiplier(8)->Range(16, 65536);

void BM_ModifyKeyOfTheEarliest(benchmark::State& state) {
  Population p(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Event* next = p.List.Earliest();
    next->Time = p.Next(next->Time);
    p.List.ModifyKey(next);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ModifyKeyOfTheEarliest)->RangeMultiplier(8)->Range(16, 65536);

// Every event at the same time and rank: each call walks the tied region
// and makes one weighted draw.
void BM_EarliestAmongTies(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  EventList list(n + 1);
  std::vector<std::unique_ptr<Unit>> units;
  for (int i = 0; i < n; ++i) {
    units.push_back(std::make_unique<Unit>());
    Event e(0.0, 0.0, units.back().get());
    list.Insert(&e);
  }
  for (auto _ : state) benchmark::DoNotOptimize(list.Earliest());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EarliestAmongTies)->Arg(2)->Arg(3)->Arg(16);

}  // namespace
