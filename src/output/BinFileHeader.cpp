#include "output/BinFileHeader.h"

std::string BinFileHeader::Build(int fileVersion) const {
  std::string text = "QUELIX_SIM_BIN_FILE," + std::to_string(kSize) + ",QUELIX_VER=Version 2.5" +
                     ",FILE_VER=" + std::to_string(fileVersion) +
                     ",EXPERIMENTS=" + std::to_string(experiment);
  const std::string optionalFields[] = {
      ",SEED=" + std::to_string(seed == 0 ? 31415u : seed),
      ",RANDOMGEN=" + generatorName,
      ",BATCHES=" + std::to_string(batches) + ",",
  };
  for (const std::string& field : optionalFields) {
    if (text.size() + field.size() > kSize - 1) break;
    text += field;
  }
  text += ",";
  text.resize(kSize, '\0');
  return text;
}
