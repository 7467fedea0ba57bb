// PLACEHOLDER until the front end lands.
#ifndef MODEL_DIAGNOSTIC_H
#define MODEL_DIAGNOSTIC_H
#include <string>
#include <vector>
#include "model/CheckedModel.h"
namespace sanmodel {
struct Diagnostic {
  SourcePos pos;
  std::string message;
};
std::string FormatDiagnostic(const Diagnostic& d, const std::vector<std::string>& files,
                             const std::vector<std::string>& sources);
}  // namespace sanmodel
#endif
