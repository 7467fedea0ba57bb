#include "rewards/BaseStudyClass.h"

#include <cerrno>
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

// Reads an integer the way the "%i" scan conversion does (decimal, octal with a
// leading 0, hexadecimal with 0x, trailing text ignored) and accepts it only
// when something was read and it fits between low and high.
bool ScanInteger(const char* text, long low, long high, long* out) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 0);
  if (end == text || errno == ERANGE || value < low || value > high) return false;
  *out = value;
  return true;
}

bool ScanDouble(const char* text, double* out) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text) return false;
  *out = value;
  return true;
}

bool ScanFloat(const char* text, float* out) {
  char* end = nullptr;
  float value = std::strtof(text, &end);
  if (end == text) return false;
  *out = value;
  return true;
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

void BaseStudyClass::overrideGVs(const char* overrideString) {
  if (overrideString == nullptr) return;
  const std::vector<std::string> fields = SplitFields(overrideString);
  std::size_t next = 0;
  while (next < fields.size()) {
    if (next + 2 >= fields.size()) {
      std::cout << "Not enough double override tokens" << std::flush;
      return;
    }
    const char type = fields[next][0];
    const std::string& name = fields[next + 1];
    const std::string& value = fields[next + 2];
    next += 3;
    OverrideOne(type, name.c_str(), value.c_str());
  }
}

bool BaseStudyClass::OverrideOne(char type, const char* name, const char* value) {
  bool converted = false;
  long integer = 0;
  switch (type) {
    case 'b':
      if ((converted = ScanInteger(value, std::numeric_limits<short>::min(),
                                   std::numeric_limits<short>::max(), &integer))) {
        bool flag = integer != 0;
        OverrideGVValue(name, &flag);
      }
      break;
    case 'c': {
      char character = value[0];
      converted = true;
      OverrideGVValue(name, &character);
      break;
    }
    case 'd': {
      double number = 0.0;
      if ((converted = ScanDouble(value, &number))) OverrideGVValue(name, &number);
      break;
    }
    case 'f': {
      float number = 0.0f;
      if ((converted = ScanFloat(value, &number))) OverrideGVValue(name, &number);
      break;
    }
    case 'i':
      if ((converted = ScanInteger(value, std::numeric_limits<int>::min(),
                                   std::numeric_limits<int>::max(), &integer))) {
        int number = static_cast<int>(integer);
        OverrideGVValue(name, &number);
      }
      break;
    case 'l':
      if ((converted = ScanInteger(value, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max(), &integer))) {
        std::int32_t number = static_cast<std::int32_t>(integer);
        OverrideGVValue(name, &number);
      }
      break;
    case 's':
      if ((converted = ScanInteger(value, std::numeric_limits<short>::min(),
                                   std::numeric_limits<short>::max(), &integer))) {
        short number = static_cast<short>(integer);
        OverrideGVValue(name, &number);
      }
      break;
    default:
      std::cout << "Type " << type << " not recognized\n" << std::flush;
      return false;
  }
  if (!converted) {
    // Passing a value the scan never wrote would set the variable to garbage.
    std::cout << "Value " << value << " of global variable " << name
              << " does not convert to type " << type << "; override skipped" << std::endl;
  }
  return converted;
}
