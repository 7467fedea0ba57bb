#include "text/TextFormat.h"

#include <cmath>
#include <cstdio>

namespace {

bool NeedsBackslash(char c) { return c == '"' || c == '\\'; }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

}  // namespace

std::string NumberText(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string FiniteNumberText(double value, const char* missing) {
  return std::isfinite(value) ? NumberText(value) : missing;
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (NeedsBackslash(c)) {
      quoted += '\\';
      quoted += c;
    } else if (IsControl(c)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string QuotedWithoutControls(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (NeedsBackslash(c)) quoted += '\\';
    if (!IsControl(c)) quoted += c;
  }
  return quoted + "\"";
}
