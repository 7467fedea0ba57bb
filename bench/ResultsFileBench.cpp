// Cost of one report on the binary side: encoding a 6 x 1000 observation
// block into the results file, and reading blocks back for the summary.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "results/ResultsReader.h"
#include "results/ResultsSummary.h"
#include "protocol/WireFormat.h"
#include "simulator/SimulatorClass.h"

namespace {

constexpr int kPVs = 6;
constexpr int kReportSize = 1000;

void BM_WriteObservationBlockToBinaryFile(benchmark::State& state) {
  std::ostringstream out, err;
  SimulatorClass sim(out, err);
  char path[] = "/tmp/gpusim-bench-XXXXXX";
  const int fd = mkstemp(path);
  sim.BinaryFile = sim.CreateBinFile(path);
  std::vector<int32_t> counts(kPVs, kReportSize);
  std::vector<double> values(kPVs * kReportSize, 3.0);
  for (auto _ : state) {
    sim.WriteObservationBlock(counts.data(), values.data(), kPVs, kReportSize);
    sim.UpdateBinFileHeader(*sim.BinaryFile);
  }
  state.SetItemsProcessed(state.iterations() * kPVs * kReportSize);
  sim.BinaryFile.reset();
  ::close(fd);
  ::unlink(path);
}

void BM_ReadAndSummariseBinaryFile(benchmark::State& state) {
  std::ostringstream out, err;
  SimulatorClass sim(out, err);
  std::ostringstream file;
  file << sim.CreateBinFileHeader(1);
  std::vector<int32_t> counts(kPVs, kReportSize);
  std::vector<double> values(kPVs * kReportSize, 3.0);
  for (int report = 0; report < 20; ++report) {
    unsigned char head[9] = {0, 0, 0, 0, 0, 0, 0, 0, kPVs};
    const std::uint32_t length = 9 + 7 * kPVs + 8 * kPVs * kReportSize;
    for (int i = 0; i < 4; ++i) head[i] = static_cast<unsigned char>(length >> (24 - 8 * i));
    file.write(reinterpret_cast<const char*>(head), 9);
    for (int pv = 0; pv < kPVs; ++pv) {
      const unsigned char entry[7] = {0, static_cast<unsigned char>(pv), 1, 0, 0, kReportSize >> 8, kReportSize & 0xff};
      file.write(reinterpret_cast<const char*>(entry), 7);
      sim.Output(nullptr, &file, values.data() + pv * kReportSize, kReportSize);
    }
  }
  const std::string bytes = file.str();
  for (auto _ : state) {
    std::istringstream in(bytes);
    ResultsSummary summary;
    ResultsReader reader;
    reader.Read(in, [&summary](int pv, double v) { summary.Add(pv, v); });
    benchmark::DoNotOptimize(summary.Rows());
  }
  state.SetItemsProcessed(state.iterations() * 20 * kPVs * kReportSize);
}

}  // namespace

// Reading a file of 400 000 observations of six variables from disk, in
// reports of range(0) observations each: the time follows the file's size,
// not the number of reports (one-observation reports make a file twice as
// large, each value carrying its block and entry headers).
void BM_ReadResultsFileByReportSize(benchmark::State& state) {
  constexpr int kObservations = 400000;
  const int reportSize = static_cast<int>(state.range(0));
  char path[] = "/tmp/gpusim-bench-read-XXXXXX";
  const int fd = ::mkstemp(path);
  {
    std::ostringstream out, err;
    SimulatorClass sim(out, err);
    std::string bytes = sim.CreateBinFileHeader(1);
    std::vector<std::int32_t> counts(kPVs, reportSize);
    std::vector<double> values(static_cast<std::size_t>(kPVs) * reportSize, 2.0);
    for (int done = 0; done < kObservations; done += reportSize) {
      bytes += protocol::EncodeBlock(0, 0, counts.data(), values.data(), kPVs, reportSize);
    }
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) state.SkipWithError("write");
    state.counters["file_MB"] = bytes.size() / 1e6;
  }
  long observations = 0;
  for (auto _ : state) {
    ResultsSummary summary;
    ResultsReader reader;
    reader.ReadFile(path, [&summary](int pv, double v) { summary.Add(pv, v); });
    observations += reader.Observations();
    benchmark::DoNotOptimize(summary.Rows());
  }
  state.SetItemsProcessed(observations);
  ::close(fd);
  ::unlink(path);
}

BENCHMARK(BM_WriteObservationBlockToBinaryFile);
BENCHMARK(BM_ReadResultsFileByReportSize)->Arg(1)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndSummariseBinaryFile);
