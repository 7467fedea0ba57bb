#include <benchmark/benchmark.h>
// Keeps the benchmark target non-empty until real benchmarks land.
static void BM_Nothing(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(0);
}
BENCHMARK(BM_Nothing);
