// BaseStudyClass is the base of a generated study: the names and type names of
// the model's global variables, the number of experiments, the reward model the
// study made last, and the installation root recorded at generation time.
//
// The global variables themselves are ordinary program globals that only the
// generated study knows by name; it assigns them per experiment (SetGVs) and
// through OverrideGVValue, which overrideGVs drives from a user's override
// string of colon-separated type:name:value triples.
//
// Ownership: the study owns its name and type strings and DefaultRoot. It does
// not delete CurrentPVModel: the generated study owns the reward model it makes
// and destroys it when it makes the next one and in its destructor.
#ifndef REWARDS_BASESTUDYCLASS_H
#define REWARDS_BASESTUDYCLASS_H

#include <string>
#include <vector>

class PVModel;

class BaseStudyClass {
 public:
  BaseStudyClass();
  BaseStudyClass(const BaseStudyClass&) = delete;
  BaseStudyClass& operator=(const BaseStudyClass&) = delete;
  virtual ~BaseStudyClass();

  // The base returns the reward model made last (null until one is made).
  virtual PVModel* GetPVModel(bool expandTimePoints);
  virtual void SetGVs(int experiment);
  virtual void PrintGlobalValues(int experiment);
  // Address of the named global variable; the base knows none and returns null.
  virtual void* GetGVValue(const char* name);
  // Copies as many bytes from value as the named variable's own type needs.
  virtual void OverrideGVValue(const char* name, void* value);

  int GetNumGVs() const { return static_cast<int>(NumGVs); }
  // Null for a number the study has no variable for.
  const char* GetGVName(int i) const {
    return InRange(i) ? GVNames[static_cast<std::size_t>(i)].c_str() : nullptr;
  }
  const char* GetGVType(int i) const {
    return InRange(i) ? GVTypes[static_cast<std::size_t>(i)].c_str() : nullptr;
  }
  int GetNumExps() const { return static_cast<int>(NumExps); }

  // "Experiment <n>" for the 0-based experiment number; the text lives in one
  // static buffer that the next call overwrites.
  static char* GetExpName(int experiment);

  const char* GetDefaultQuelixRoot() const { return DefaultRoot.c_str(); }
  void SetDefaultQuelixRoot(const char* path);

  // Applies "type:name:value[:type:name:value]..." through OverrideGVValue.
  // Empty fields are skipped. Each triple must name a global variable of the
  // study by its declared type's letter (b bool, c char, d double, f float,
  // i int, l long, s short) with a value that converts to that type whole
  // and within its range; the value is read into that type. Integers may be
  // decimal, octal (leading 0) or hexadecimal (0x); a bool is 0 or 1; a char
  // is one character. The first triple that breaks a rule refuses the whole
  // string: nothing is changed, false is returned, and error (when given)
  // names the triple and the reason. A null string does nothing.
  bool overrideGVs(const char* overrideString, std::string* error = nullptr);

 protected:
  // Appends one global variable's name and type name and counts it.
  void AddGlobalVariable(const char* name, const char* typeName);

  std::vector<std::string> GVNames;
  std::vector<std::string> GVTypes;
  PVModel* CurrentPVModel;
  unsigned int NumGVs;
  unsigned int NumExps;
  std::string DefaultRoot;

 private:
  // One converted triple, held until the whole string has been checked.
  union Value {
    bool b;
    char c;
    double d;
    float f;
    int i;
    long l;
    short s;
  };
  struct PendingOverride {
    std::string name;
    Value value;
  };

  bool InRange(int i) const { return i >= 0 && static_cast<std::size_t>(i) < GVNames.size(); }
  // Checks one triple against the declared variables and converts its value
  // into the variable's type; false with the reason when it cannot.
  bool ConvertOne(const std::string& type, const std::string& name, const std::string& value,
                  PendingOverride* out, std::string* reason);
  static bool Refuse(std::string* error, const std::string& triple, const std::string& reason);
};

#endif
