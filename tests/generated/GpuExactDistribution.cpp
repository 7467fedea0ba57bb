#include "generated/GpuExactDistribution.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace gpu_reference {
namespace {

// The places of the composed model: the compute unit's own places, the nine
// places the four submodels share, then each memory's own places. SCHEDULER
// is not a place here: the program never changes, so it is kept aside.
enum PlaceIndex {
  kInstCounter,
  kAluInstruction,
  kInstructionReady,
  kKoRead,
  kMemOpComplete,
  kOkRead,
  kReadResultMemory,
  kReadTotalMemory,
  kResultKo,
  kResultOk,
  kWriteOutputMemory,
  kWriteResultMemory,
  kTotalMemoryOk,
  kTotalMemoryKo,
  kOutputOkContent,
  kOutputKoContent,
  kOutputResultOk,
  kOutputResultKo,
  kResultOkContent,
  kResultKoContent,
  kResultMemoryOk,
  kResultMemoryKo,
  kNumPlaces
};

using Marking = std::array<int, kNumPlaces>;

struct Program {
  int size;
  std::vector<short> elements;  // size entries
};

// One activity, or one case of an activity with cases.
struct Case {
  double weight;
  bool (*enabled)(const Marking&, const Program&);
  void (*fire)(Marking&, const Program&);
  RewardValues impulses;  // earned by each variable per firing
};

using Group = std::vector<Case>;

constexpr RewardValues kNoReward = {0, 0, 0, 0, 0, 0};

// Reward of one firing: scheduling, write_ok, write_ko, compute_ok,
// compute_ko, clock_steps.
constexpr RewardValues kDispatcherReward = {1, 0, 0, 0, 0, 1};
constexpr RewardValues kComputeOkReward = {0, 0, 0, 2, 0, 2};
constexpr RewardValues kComputeKoReward = {0, 0, 0, 0, 0, 2};
constexpr RewardValues kTotalReadReward = {0, 0, 0, 0, 0, 64};
constexpr RewardValues kResultReadReward = {0, 0, 0, 0, 0, 32};
constexpr RewardValues kWriteOkReward = {0, 1, 0, 0, 0, 32};
constexpr RewardValues kWriteKoReward = {0, 0, 1, 0, 0, 32};

void Dispatch(Marking& m, const Program& p) {
  m[kInstCounter] += 1;
  m[kInstructionReady] -= 1;
  int index = m[kInstCounter];
  if (index < 0 || index >= p.size) std::abort();  // the predicate rules this out
  switch (static_cast<unsigned short>(p.elements[index])) {
    case 0: m[kReadTotalMemory] += 1; break;
    case 1: m[kReadResultMemory] += 1; break;
    case 2: m[kWriteResultMemory] += 1; break;
    case 3: m[kWriteOutputMemory] += 1; break;
    case 4: m[kAluInstruction] += 1; break;
    default: break;
  }
}

std::vector<Group> ComposedModel() {
  std::vector<Group> groups;
  // Compute unit.
  groups.push_back({{1.0,
                     [](const Marking& m, const Program& p) {
                       return m[kInstCounter] < p.size - 1 && m[kInstructionReady] > 0;
                     },
                     Dispatch, kDispatcherReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kAluInstruction] > 0 && m[kOkRead] > 0; },
                     [](Marking& m, const Program&) {
                       m[kAluInstruction]--, m[kOkRead]--, m[kResultOk]++, m[kInstructionReady]++;
                     },
                     kComputeOkReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kAluInstruction] > 0 && m[kKoRead] > 0; },
                     [](Marking& m, const Program&) {
                       m[kAluInstruction]--, m[kKoRead]--, m[kResultKo]++, m[kInstructionReady]++;
                     },
                     kComputeKoReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kMemOpComplete] > 0; },
                     [](Marking& m, const Program&) { m[kMemOpComplete]--, m[kInstructionReady]++; }, kNoReward}});
  // Total memory: a read succeeds or fails with probability 0.5 each.
  groups.push_back({{0.5, [](const Marking& m, const Program&) { return m[kReadTotalMemory] > 0; },
                     [](Marking& m, const Program&) { m[kReadTotalMemory]--, m[kTotalMemoryOk]++; }, kTotalReadReward},
                    {0.5, [](const Marking& m, const Program&) { return m[kReadTotalMemory] > 0; },
                     [](Marking& m, const Program&) { m[kReadTotalMemory]--, m[kTotalMemoryKo]++; },
                     kTotalReadReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kTotalMemoryOk] > 0; },
                     [](Marking& m, const Program&) { m[kTotalMemoryOk]--, m[kMemOpComplete]++, m[kOkRead]++; },
                     kNoReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kTotalMemoryKo] > 0; },
                     [](Marking& m, const Program&) { m[kTotalMemoryKo]--, m[kMemOpComplete]++, m[kKoRead]++; },
                     kNoReward}});
  // Output memory: its result places are its own, so writes never complete.
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kOutputOkContent] > 0; },
                     [](Marking& m, const Program&) { m[kOutputOkContent]--, m[kMemOpComplete]++; }, kNoReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kOutputKoContent] > 0; },
                     [](Marking& m, const Program&) { m[kOutputKoContent]--, m[kMemOpComplete]++; }, kNoReward}});
  groups.push_back(
      {{1.0,
        [](const Marking& m, const Program&) { return m[kOutputResultOk] > 0 && m[kWriteOutputMemory] > 0; },
        [](Marking& m, const Program&) { m[kOutputResultOk]--, m[kWriteOutputMemory]--, m[kOutputOkContent]++; },
        kNoReward}});
  groups.push_back(
      {{1.0,
        [](const Marking& m, const Program&) { return m[kWriteOutputMemory] > 0 && m[kOutputResultKo] > 0; },
        [](Marking& m, const Program&) { m[kWriteOutputMemory]--, m[kOutputResultKo]--, m[kOutputKoContent]++; },
        kNoReward}});
  // Result memory.
  groups.push_back({{0.5, [](const Marking& m, const Program&) { return m[kReadResultMemory] > 0; },
                     [](Marking& m, const Program&) { m[kReadResultMemory]--, m[kResultMemoryOk]++; },
                     kResultReadReward},
                    {0.5, [](const Marking& m, const Program&) { return m[kReadResultMemory] > 0; },
                     [](Marking& m, const Program&) { m[kReadResultMemory]--, m[kResultMemoryKo]++; },
                     kResultReadReward}});
  groups.push_back(
      {{1.0, [](const Marking& m, const Program&) { return m[kWriteResultMemory] > 0 && m[kResultOk] > 0; },
        [](Marking& m, const Program&) { m[kWriteResultMemory]--, m[kResultOk]--, m[kResultOkContent]++; },
        kWriteOkReward}});
  groups.push_back(
      {{1.0, [](const Marking& m, const Program&) { return m[kWriteResultMemory] > 0 && m[kResultKo] > 0; },
        [](Marking& m, const Program&) { m[kWriteResultMemory]--, m[kResultKo]--, m[kResultKoContent]++; },
        kWriteKoReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kResultOkContent] > 0; },
                     [](Marking& m, const Program&) { m[kResultOkContent]--, m[kMemOpComplete]++; }, kNoReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kResultKoContent] > 0; },
                     [](Marking& m, const Program&) { m[kResultKoContent]--, m[kMemOpComplete]++; }, kNoReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kResultMemoryOk] > 0; },
                     [](Marking& m, const Program&) { m[kResultMemoryOk]--, m[kMemOpComplete]++, m[kOkRead]++; },
                     kNoReward}});
  groups.push_back({{1.0, [](const Marking& m, const Program&) { return m[kResultMemoryKo] > 0; },
                     [](Marking& m, const Program&) { m[kResultMemoryKo]--, m[kMemOpComplete]++, m[kKoRead]++; },
                     kNoReward}});
  return groups;
}

struct PathState {
  Marking marking;
  RewardValues rewards;
  bool operator<(const PathState& o) const {
    return std::tie(marking, rewards) < std::tie(o.marking, o.rewards);
  }
};

bool GroupEnabled(const Group& g, const Marking& m, const Program& p) {
  return std::any_of(g.begin(), g.end(), [&](const Case& c) { return c.enabled(m, p); });
}

// Every path has one more firing per layer, so the walk goes layer by layer
// and merges equal states within a layer.
constexpr int kMaxFirings = 100000;

}  // namespace

std::vector<short> DefaultProgram() { return {0, 0, 4, 2, 0, 1, 4, 2, 1, 0, 0, 4, 3}; }

GpuExactDistribution::GpuExactDistribution(int size, const std::vector<short>& program) {
  Program p{size, std::vector<short>(static_cast<size_t>(std::max(size, 0)), 0)};
  std::copy(program.begin(), program.end(), p.elements.begin());
  const std::vector<Group> groups = ComposedModel();

  PathState initial{};
  initial.marking[kInstCounter] = -1;
  initial.marking[kInstructionReady] = 1;
  std::map<PathState, double> layer = {{initial, 1.0}};
  min_firings_ = -1;
  for (int firings = 0; !layer.empty(); ++firings) {
    if (firings > kMaxFirings) std::abort();  // the model always stops
    std::map<PathState, double> next;
    for (const auto& [state, probability] : layer) {
      ++states_visited_;
      std::vector<const Group*> enabled;
      for (const Group& g : groups)
        if (GroupEnabled(g, state.marking, p)) enabled.push_back(&g);
      if (enabled.empty()) {
        joint_[state.rewards] += probability;
        if (min_firings_ < 0) min_firings_ = firings;
        max_firings_ = firings;
        continue;
      }
      for (const Group* g : enabled) {
        double total = 0;
        for (const Case& c : *g)
          if (c.enabled(state.marking, p)) total += c.weight;
        for (const Case& c : *g) {
          if (!c.enabled(state.marking, p)) continue;
          PathState after = state;
          c.fire(after.marking, p);
          for (int v = 0; v < kNumRewardVariables; ++v) after.rewards[v] += c.impulses[v];
          next[after] += probability / static_cast<double>(enabled.size()) * c.weight / total;
        }
      }
    }
    layer.swap(next);
  }
}

std::map<double, double> GpuExactDistribution::Marginal(int variable) const {
  std::map<double, double> marginal;
  for (const auto& [values, probability] : joint_) marginal[values[variable]] += probability;
  return marginal;
}

double GpuExactDistribution::Mean(int variable) const {
  double mean = 0;
  for (const auto& [values, probability] : joint_) mean += probability * values[variable];
  return mean;
}

double GpuExactDistribution::Variance(int variable) const {
  const double mean = Mean(variable);
  double variance = 0;
  for (const auto& [values, probability] : joint_)
    variance += probability * (values[variable] - mean) * (values[variable] - mean);
  return variance;
}

}  // namespace gpu_reference
