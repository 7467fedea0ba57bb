// PLACEHOLDER until the front end lands.
#ifndef MODEL_MODELLOADER_H
#define MODEL_MODELLOADER_H
#include <functional>
#include <string>
#include <vector>
#include "model/CheckedModel.h"
#include "model/Diagnostic.h"
namespace sanmodel {
using FileReader = std::function<bool(const std::string& path, std::string* text, std::string* error)>;
struct LoadResult {
  bool ok = false;
  CheckedModel model;
  std::vector<Diagnostic> diagnostics;
  std::string report;
};
LoadResult LoadModel(const std::string& path);
LoadResult LoadModel(const std::string& path, const FileReader& read);
}  // namespace sanmodel
#endif
