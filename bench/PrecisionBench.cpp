// The manager's fold of one entry of a block into moments (decoding the
// big-endian values included): processor time per value for the report
// sizes the scale benchmark uses, on values of a realistic spread.
#include <benchmark/benchmark.h>

#include <vector>

#include "manager/Precision.h"
#include "results/BigEndian.h"

namespace {

void BM_MomentsOfEncoded(benchmark::State& state) {
  const long count = state.range(0);
  std::vector<unsigned char> encoded(static_cast<std::size_t>(count) * 8);
  for (long j = 0; j < count; ++j) BigEndian::PutDouble(&encoded[j * 8], 1000.0 + 0.001 * ((j * 7919) % 8000));
  for (auto _ : state) {
    Moments m = MomentsOfEncoded(encoded.data(), count);
    benchmark::DoNotOptimize(m);
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["ns/value"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

BENCHMARK(BM_MomentsOfEncoded)->Arg(100)->Arg(1000);

}  // namespace
