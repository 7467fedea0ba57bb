#include "results/ResultsMetadata.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Splits "number,name,kind,time"; the name may itself hold commas, so the
// kind and time are taken from the right.
bool ParseVariable(const std::string& value, ResultsMetadata::Variable* variable) {
  const std::size_t first = value.find(',');
  const std::size_t last = value.rfind(',');
  if (first == std::string::npos || last == first) return false;
  const std::size_t kind = value.rfind(',', last - 1);
  if (kind == first || kind == std::string::npos) return false;
  const std::string number = value.substr(0, first);
  char* end = nullptr;
  const long n = std::strtol(number.c_str(), &end, 10);
  if (number.empty() || *end != '\0' || n < 0 || n > 65535) return false;
  variable->number = static_cast<int>(n);
  variable->name = value.substr(first + 1, kind - first - 1);
  variable->kind = value.substr(kind + 1, last - kind - 1);
  variable->time = value.substr(last + 1);
  return true;
}

}  // namespace

std::string ResultsMetadata::PathFor(const std::string& resultsPath) {
  struct stat status {};
  const bool folder = ::stat(resultsPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
  return folder ? resultsPath + "/index.meta" : resultsPath + ".meta";
}

bool ResultsMetadata::ReadFile(const std::string& path, ResultsMetadata* metadata) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *metadata = Parse(text.str());
  return true;
}

ResultsMetadata ResultsMetadata::Parse(const std::string& text) {
  ResultsMetadata metadata;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    metadata.Add(line.substr(0, equals), line.substr(equals + 1));
  }
  return metadata;
}

std::string ResultsMetadata::Text() const {
  std::string text;
  for (const auto& [key, value] : fields) text += key + "=" + value + "\n";
  return text;
}

bool ResultsMetadata::WriteFile(const std::string& path, std::string* error) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << Text();
  out.flush();
  if (out.good()) return true;
  *error = "cannot write '" + path + "'";
  return false;
}

std::string ResultsMetadata::Get(const std::string& key) const {
  for (const auto& field : fields) {
    if (field.first == key) return field.second;
  }
  return std::string();
}

void ResultsMetadata::Remove(const std::string& key) {
  std::vector<std::pair<std::string, std::string>> kept;
  for (const auto& field : fields) {
    if (field.first != key) kept.push_back(field);
  }
  fields.swap(kept);
}

std::vector<ResultsMetadata::Variable> ResultsMetadata::Variables() const {
  std::vector<Variable> variables;
  for (const auto& [key, value] : fields) {
    Variable variable;
    if (key == "variable" && ParseVariable(value, &variable)) variables.push_back(variable);
  }
  return variables;
}

std::vector<std::string> ResultsMetadata::Names() const {
  std::vector<std::string> names;
  for (const Variable& v : Variables()) {
    if (static_cast<std::size_t>(v.number) >= names.size()) names.resize(static_cast<std::size_t>(v.number) + 1);
    names[static_cast<std::size_t>(v.number)] = v.name;
  }
  return names;
}

std::string ModelDigest(const std::string& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  char text[32];
  std::snprintf(text, sizeof text, "fnv1a64:%016llx", static_cast<unsigned long long>(hash));
  return text;
}
