#include "output/DataPacket.h"

namespace {
int NonNegative(int n) { return n > 0 ? n : 0; }
}  // namespace

DataPacket::DataPacket(int clientId, int experiment, int numPVs, int maxObservations)
    : ClientId(clientId),
      Experiment(experiment),
      NumPVs(numPVs),
      MaxObservations(maxObservations),
      Counts(NonNegative(numPVs), 0),
      Values(static_cast<std::size_t>(NonNegative(numPVs)) * NonNegative(maxObservations), 0.0) {}
