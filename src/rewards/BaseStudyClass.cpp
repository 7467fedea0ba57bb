#include "rewards/BaseStudyClass.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>

namespace {

// Splits at ':' and drops empty fields, so "s::size:20" and ":s:size:20:" both
// give s, size, 20.
std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> fields;
  std::string::size_type begin = 0;
  while (begin <= text.size()) {
    std::string::size_type end = text.find(':', begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) fields.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return fields;
}

// Reads a whole integer (decimal, octal with a leading 0, hexadecimal with
// 0x) that fills the text and lies between low and high.
bool ScanInteger(const std::string& text, long long low, long long high, long long* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 0);
  if (*end != '\0' || errno == ERANGE || value < low || value > high) return false;
  *out = value;
  return true;
}

// Reads a finite floating-point number that fills the text and that the
// type T holds without overflow.
template <class T>
bool ScanReal(const std::string& text, T* out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const long double value = std::strtold(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !std::isfinite(value)) return false;
  if (std::fabs(value) > static_cast<long double>(std::numeric_limits<T>::max())) return false;
  *out = static_cast<T>(value);
  return true;
}

template <class T>
bool ScanIntegerAs(const std::string& text, T* out) {
  long long value = 0;
  if (!ScanInteger(text, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), &value)) return false;
  *out = static_cast<T>(value);
  return true;
}

// The declared type name each type letter stands for.
const char* TypeNameOfLetter(char letter) {
  switch (letter) {
    case 'b':
      return "bool";
    case 'c':
      return "char";
    case 'd':
      return "double";
    case 'f':
      return "float";
    case 'i':
      return "int";
    case 'l':
      return "long";
    case 's':
      return "short";
    default:
      return nullptr;
  }
}

// How a value of the type of a letter is written, for the refusal message.
std::string ExpectedForm(char letter) {
  switch (letter) {
    case 'b':
      return " (0 or 1)";
    case 'c':
      return " (one character)";
    case 'd':
    case 'f':
      return " (a finite number in its range)";
    case 'i':
      return " (a whole number from " + std::to_string(std::numeric_limits<int>::min()) + " to " +
             std::to_string(std::numeric_limits<int>::max()) + ")";
    case 'l':
      return " (a whole number from " + std::to_string(std::numeric_limits<long>::min()) + " to " +
             std::to_string(std::numeric_limits<long>::max()) + ")";
    default:
      return " (a whole number from -32768 to 32767)";
  }
}

}  // namespace

BaseStudyClass::BaseStudyClass() : CurrentPVModel(nullptr), NumGVs(0), NumExps(0) {}

BaseStudyClass::~BaseStudyClass() = default;

PVModel* BaseStudyClass::GetPVModel(bool) { return CurrentPVModel; }

void BaseStudyClass::SetGVs(int) { std::cout << "basestudyclass::SetGVs" << std::endl; }

void BaseStudyClass::PrintGlobalValues(int) {}

void* BaseStudyClass::GetGVValue(const char*) { return nullptr; }

void BaseStudyClass::OverrideGVValue(const char*, void*) {}

char* BaseStudyClass::GetExpName(int experiment) {
  static char str[64];
  std::snprintf(str, sizeof str, "Experiment %d", experiment + 1);
  return str;
}

void BaseStudyClass::SetDefaultQuelixRoot(const char* path) { DefaultRoot = path ? path : ""; }

void BaseStudyClass::AddGlobalVariable(const char* name, const char* typeName) {
  GVNames.emplace_back(name);
  GVTypes.emplace_back(typeName);
  NumGVs = static_cast<unsigned int>(GVNames.size());
}

bool BaseStudyClass::overrideGVs(const char* overrideString, std::string* error) {
  if (overrideString == nullptr) return true;
  const std::vector<std::string> fields = SplitFields(overrideString);
  // Every triple is checked and converted before any variable changes, so a
  // refused string leaves the study as it was.
  std::vector<PendingOverride> pending;
  for (std::size_t next = 0; next < fields.size(); next += 3) {
    std::string triple = fields[next];
    for (std::size_t k = next + 1; k < next + 3 && k < fields.size(); ++k) triple += ":" + fields[k];
    if (next + 2 >= fields.size()) {
      return Refuse(error, triple, "a triple needs a type letter, a name and a value");
    }
    PendingOverride one;
    std::string reason;
    if (!ConvertOne(fields[next], fields[next + 1], fields[next + 2], &one, &reason)) {
      return Refuse(error, triple, reason);
    }
    pending.push_back(one);
  }
  for (PendingOverride& one : pending) OverrideGVValue(one.name.c_str(), &one.value);
  return true;
}

bool BaseStudyClass::Refuse(std::string* error, const std::string& triple, const std::string& reason) {
  if (error != nullptr) *error = "override '" + triple + "': " + reason;
  return false;
}

bool BaseStudyClass::ConvertOne(const std::string& type, const std::string& name, const std::string& value,
                                PendingOverride* out, std::string* reason) {
  const char* typeName = type.size() == 1 ? TypeNameOfLetter(type[0]) : nullptr;
  if (typeName == nullptr) {
    *reason = "type '" + type + "' is not one of b, c, d, f, i, l, s";
    return false;
  }
  int index = -1;
  for (std::size_t i = 0; i < GVNames.size(); ++i) {
    if (GVNames[i] == name) index = static_cast<int>(i);
  }
  if (index < 0) {
    *reason = "the study has no global variable '" + name + "'";
    return false;
  }
  const std::string& declared = GVTypes[static_cast<std::size_t>(index)];
  if (declared != typeName) {
    *reason = "'" + name + "' is declared " + declared + ", not " + typeName;
    return false;
  }
  out->name = name;
  bool converted = false;
  Value& v = out->value;
  switch (type[0]) {
    case 'b':
      converted = value == "0" || value == "1";
      v.b = value == "1";
      break;
    case 'c':
      converted = value.size() == 1;
      v.c = value[0];
      break;
    case 'd':
      converted = ScanReal(value, &v.d);
      break;
    case 'f':
      converted = ScanReal(value, &v.f);
      break;
    case 'i':
      converted = ScanIntegerAs(value, &v.i);
      break;
    case 'l':
      converted = ScanIntegerAs(value, &v.l);
      break;
    default:
      converted = ScanIntegerAs(value, &v.s);
      break;
  }
  if (!converted) *reason = "value '" + value + "' is not a valid " + declared + ExpectedForm(type[0]);
  return converted;
}
