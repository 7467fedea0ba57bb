// The override string of -O, against a study with a global variable of every
// type a triple can name. A refused string must change nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "rewards/BaseStudyClass.h"

namespace {

class EveryTypeStudy : public BaseStudyClass {
 public:
  EveryTypeStudy() {
    AddGlobalVariable("b", "bool");
    AddGlobalVariable("c", "char");
    AddGlobalVariable("d", "double");
    AddGlobalVariable("f", "float");
    AddGlobalVariable("i", "int");
    AddGlobalVariable("l", "long");
    AddGlobalVariable("size", "short");
  }

  void OverrideGVValue(const char* name, void* value) override {
    ++calls;
    // The value is read as the variable's own type: a bool must be 0 or 1.
    if (std::strcmp(name, "b") == 0) {
      unsigned char byte;
      std::memcpy(&byte, value, 1);
      if (byte > 1) __builtin_trap();
    }
  }

  int calls = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  EveryTypeStudy study;
  std::string error;
  const bool applied = study.overrideGVs(text.c_str(), &error);
  if (!applied && (study.calls != 0 || error.empty())) __builtin_trap();
  return 0;
}
