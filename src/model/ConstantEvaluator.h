// ConstantEvaluator computes checked expressions made of constants and
// globals only: the values of globals in an experiment, array lengths and
// constant array indexes. Integer arithmetic wraps as the language says;
// a division by zero or a number that fits no integer is an error, never
// undefined behaviour.
//
// Pure functions; safe from any thread.
#ifndef MODEL_CONSTANTEVALUATOR_H
#define MODEL_CONSTANTEVALUATOR_H

#include <string>
#include <vector>

#include "model/CheckedModel.h"

namespace sanmodel {

struct Value {
  ValueType type = ValueType::Int;
  bool boolValue = false;
  long long intValue = 0;
  double doubleValue = 0.0;
};

// The values of the globals an expression may read; known[i] false for a
// global with no value (yet).
struct GlobalValues {
  std::vector<Value> values;
  std::vector<bool> known;
};

// False, with *error, when `expr` reads anything but constants and known
// globals or an operation fails (division by zero, integer out of range).
bool EvaluateConstant(const Expr& expr, const GlobalValues& globals,
                      const std::vector<Global>& declared, Value* out, std::string* error);

// True when `expr` reads no place and no local.
bool IsConstantExpr(const Expr& expr);

// True when `expr` reads a global.
bool ReadsGlobal(const Expr& expr);

// Converts `value` to a global of `type` as Experiment stores it (bools and
// integer types in *intValue, float and double in *doubleValue). False, with
// *error, when the value does not fit the type.
bool ConvertForGlobal(const Value& value, DeclType type, long long* intValue, double* doubleValue,
                      std::string* error);

// The value of a global, back from its stored form.
Value StoredGlobalValue(DeclType type, long long intValue, double doubleValue);

// The value as a user would write it: "true", "42", "0.25".
std::string FormatValue(const Value& value);

ValueType ValueTypeOf(DeclType type);
const char* DeclTypeName(DeclType type);

}  // namespace sanmodel

#endif
