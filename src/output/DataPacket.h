// DataPacket holds one report's observations: a row per performance variable,
// each row with room for MaxObservations values, of which Counts[i] are valid.
// Observation j of variable i is Values[i * MaxObservations + j].
//
// Counts are not reset when a packet is reused: the simulation loops set them
// before every hand-over. ClientId and Experiment are informational.
#ifndef DATA_PACKET_H
#define DATA_PACKET_H

#include <cstddef>
#include <cstdint>
#include <vector>

class DataPacket {
 public:
  // All counts and values start at zero.
  DataPacket(int clientId, int experiment, int numPVs, int maxObservations);
  DataPacket(const DataPacket&) = delete;
  DataPacket& operator=(const DataPacket&) = delete;

  double& Value(int pv, int observation) {
    return Values[static_cast<std::size_t>(pv) * MaxObservations + observation];
  }
  double Value(int pv, int observation) const {
    return Values[static_cast<std::size_t>(pv) * MaxObservations + observation];
  }

  int32_t ClientId;
  int32_t Experiment;
  int32_t NumPVs;
  int32_t MaxObservations;
  std::vector<int32_t> Counts;
  std::vector<double> Values;
};

#endif
