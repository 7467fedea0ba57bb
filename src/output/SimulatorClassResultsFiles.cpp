// The binary results file of SimulatorClass: a 256-byte text header, rewritten
// with the current batch count after every output step, followed by the
// observation blocks exactly as they go to the simulation manager.
#include <cerrno>

#include "output/BinFileHeader.h"
#include "simulator/SimulatorClass.h"

std::string SimulatorClass::CreateBinFileHeader(int fileVersion) {
  BinFileHeader header;
  header.experiment = Experiment;
  header.seed = Seed;
  header.generatorName = to_string(static_cast<RandomNumberGeneratorType>(RNGType));
  header.batches = Batches - BinaryFileBatchBase;
  return header.Build(fileVersion);
}

std::unique_ptr<std::ofstream> SimulatorClass::CreateBinFile(const std::string& name) {
  auto stream = std::make_unique<std::ofstream>(name, std::ios::out | std::ios::binary | std::ios::trunc);
  const std::string header = CreateBinFileHeader(1);
  stream->write(header.data(), static_cast<std::streamsize>(header.size()));
  stream->flush();
  return stream;
}

void SimulatorClass::UpdateBinFileHeader(std::ofstream& stream) {
  const std::string header = CreateBinFileHeader(1);
  errno = 0;
  stream.seekp(0, std::ios::beg);
  stream.write(header.data(), static_cast<std::streamsize>(header.size()));
  stream.seekp(0, std::ios::end);
  // Readers may look at the file while the run goes on.
  stream.flush();
  if (!stream.good() && BinaryFile.get() == &stream) {
    ReportResultsFileFailure(BinaryFile, "binary", BinaryFileName);
  }
}

void SimulatorClass::CloseBinFile(std::ofstream& stream) {
  const bool isBinaryFile = BinaryFile.get() == &stream;
  UpdateBinFileHeader(stream);
  // A failed rewrite of BinaryFile has already closed and released it.
  if (isBinaryFile && !BinaryFile) return;
  stream.close();
}
