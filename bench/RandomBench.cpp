#include <benchmark/benchmark.h>

#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"

namespace {

template <class Generator>
void BM_Rnd(benchmark::State& state) {
  Generator g;
  g.srnd(31415);
  RandomNumberGenerator& base = g;  // called through the interface, as in a run
  for (auto _ : state) benchmark::DoNotOptimize(base.rnd());
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Rnd, LaggedFibonacci);
BENCHMARK_TEMPLATE(BM_Rnd, Tausworthe);
BENCHMARK_TEMPLATE(BM_Rnd, MersenneTwister);
