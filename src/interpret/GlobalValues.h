// GlobalValues holds the current value of every global variable of a checked
// model, each in storage of its declared type, so that the study can hand out
// its address (GetGVValue) and override it byte for byte (OverrideGVValue)
// as the built-in study does with its program globals.
//
// Ownership: plain values. Not thread-safe: set up before the model is built.
#ifndef INTERPRET_GLOBALVALUES_H
#define INTERPRET_GLOBALVALUES_H

#include <string>
#include <vector>

#include "model/CheckedModel.h"

namespace saninterp {

class GlobalValues {
 public:
  explicit GlobalValues(const std::vector<sanmodel::Global>& globals);

  // Takes experiment's values.
  void Apply(const sanmodel::Experiment& experiment);
  // Address of the named global's storage, or null.
  void* Address(const std::string& name);
  // Copies as many bytes from value as the named global's type needs; false
  // for an unknown name.
  bool Override(const std::string& name, const void* value);
  // Global g as a constant leaf of its value type, for folding.
  sanmodel::Expr Constant(int g) const;
  // The value as written by PrintGlobalValues.
  std::string Text(int g) const;

 private:
  union Storage {
    bool b;
    char c;
    short s;
    int i;
    long l;
    float f;
    double d;
  };
  int IndexOf(const std::string& name) const;

  const std::vector<sanmodel::Global>& Globals;
  std::vector<Storage> Values;
};

}  // namespace saninterp

#endif
