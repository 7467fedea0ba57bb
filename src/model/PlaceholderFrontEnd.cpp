// PLACEHOLDER until the front end lands.
#include "model/ModelLoader.h"
namespace sanmodel {
std::string FormatDiagnostic(const Diagnostic& d, const std::vector<std::string>& files,
                             const std::vector<std::string>&) {
  return files.at(static_cast<std::size_t>(d.pos.file)) + ":" + std::to_string(d.pos.line) + ":" +
         std::to_string(d.pos.column) + ": error: " + d.message;
}
LoadResult LoadModel(const std::string& path) { return LoadModel(path, nullptr); }
LoadResult LoadModel(const std::string& path, const FileReader&) {
  LoadResult r;
  r.report = path + ": error: the front end is not built yet\n";
  return r;
}
}  // namespace sanmodel
