#include "model/ConstantEvaluator.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <sstream>

namespace sanmodel {
namespace {

// Doubles in [-2^63, 2^63) convert to long long without undefined behaviour.
bool FitsLongLong(double value) {
  return value >= -9223372036854775808.0 && value < 9223372036854775808.0;
}

long long Wrap(unsigned long long value) { return static_cast<long long>(value); }

double AsDouble(const Value& value) {
  switch (value.type) {
    case ValueType::Bool: return value.boolValue ? 1.0 : 0.0;
    case ValueType::Int: return static_cast<double>(value.intValue);
    default: return value.doubleValue;
  }
}

Value MakeBool(bool b) { Value v; v.type = ValueType::Bool; v.boolValue = b; return v; }
Value MakeInt(long long i) { Value v; v.type = ValueType::Int; v.intValue = i; return v; }
Value MakeDouble(double d) { Value v; v.type = ValueType::Double; v.doubleValue = d; return v; }

class Evaluator {
 public:
  Evaluator(const GlobalValues& globals, const std::vector<Global>& declared, std::string* error)
      : globals_(globals), declared_(declared), error_(error) {}

  bool Eval(const Expr& e, Value* out) {
    switch (e.op) {
      case Op::BoolConst: *out = MakeBool(e.boolValue); return true;
      case Op::IntConst: *out = MakeInt(e.intValue); return true;
      case Op::DoubleConst: *out = MakeDouble(e.doubleValue); return true;
      case Op::Global: return EvalGlobal(e, out);
      case Op::And:
      case Op::Or: return EvalLogic(e, out);
      case Op::Conditional: {
        Value condition;
        if (!Eval(e.args[0], &condition)) return false;
        return Eval(e.args[condition.boolValue ? 1 : 2], out);
      }
      default: break;
    }
    if (e.args.empty()) return Fail("a place or local variable is not a constant");
    Value a, b;
    if (!Eval(e.args[0], &a)) return false;
    if (e.args.size() > 1 && !Eval(e.args[1], &b)) return false;
    return Apply(e, a, b, out);
  }

 private:
  bool Fail(const std::string& message) {
    *error_ = message;
    return false;
  }

  bool EvalGlobal(const Expr& e, Value* out) {
    const std::size_t index = static_cast<std::size_t>(e.index);
    if (index >= globals_.values.size() || !globals_.known[index]) {
      return Fail("global '" + (index < declared_.size() ? declared_[index].name : "?") +
                  "' has no value");
    }
    *out = globals_.values[index];
    return true;
  }

  bool EvalLogic(const Expr& e, Value* out) {
    Value left;
    if (!Eval(e.args[0], &left)) return false;
    const bool decided = e.op == Op::And ? !left.boolValue : left.boolValue;
    if (decided) {
      *out = MakeBool(left.boolValue);
      return true;
    }
    return Eval(e.args[1], out);
  }

  bool Apply(const Expr& e, const Value& a, const Value& b, Value* out) {
    switch (e.op) {
      case Op::Negate:
        *out = a.type == ValueType::Int ? MakeInt(Wrap(0ULL - static_cast<unsigned long long>(a.intValue)))
                                        : MakeDouble(-a.doubleValue);
        return true;
      case Op::Not: *out = MakeBool(!a.boolValue); return true;
      case Op::Add: case Op::Sub: case Op::Mul: case Op::Div: case Op::Mod:
        return Arithmetic(e.op, a, b, out);
      case Op::Less: *out = MakeBool(Compare(a, b) < 0); return true;
      case Op::LessEqual: *out = MakeBool(Compare(a, b) <= 0); return true;
      case Op::Greater: *out = MakeBool(Compare(a, b) > 0); return true;
      case Op::GreaterEqual: *out = MakeBool(Compare(a, b) >= 0); return true;
      case Op::Equal: *out = MakeBool(Equal(a, b)); return true;
      case Op::NotEqual: *out = MakeBool(!Equal(a, b)); return true;
      case Op::Convert: return Convert(a, e.type, out);
      case Op::Min: *out = Compare(b, a) < 0 ? b : a; return true;
      case Op::Max: *out = Compare(b, a) > 0 ? b : a; return true;
      case Op::Abs:
        *out = a.type == ValueType::Int
                   ? MakeInt(a.intValue < 0 ? Wrap(0ULL - static_cast<unsigned long long>(a.intValue)) : a.intValue)
                   : MakeDouble(std::fabs(a.doubleValue));
        return true;
      case Op::Floor: return ToInteger(std::floor(a.doubleValue), out);
      case Op::Ceil: return ToInteger(std::ceil(a.doubleValue), out);
      case Op::Round: return ToInteger(std::round(a.doubleValue), out);
      case Op::Sqrt: *out = MakeDouble(std::sqrt(a.doubleValue)); return true;
      case Op::Exp: *out = MakeDouble(std::exp(a.doubleValue)); return true;
      case Op::Log: *out = MakeDouble(std::log(a.doubleValue)); return true;
      case Op::Pow: *out = MakeDouble(std::pow(a.doubleValue, b.doubleValue)); return true;
      default: return Fail("a place or local variable is not a constant");
    }
  }

  bool Arithmetic(Op op, const Value& a, const Value& b, Value* out) {
    if (a.type == ValueType::Double) {
      const double x = a.doubleValue, y = b.doubleValue;
      switch (op) {
        case Op::Add: *out = MakeDouble(x + y); return true;
        case Op::Sub: *out = MakeDouble(x - y); return true;
        case Op::Mul: *out = MakeDouble(x * y); return true;
        case Op::Div:
          if (y == 0.0) return Fail("division by zero");
          *out = MakeDouble(x / y);
          return true;
        default: return Fail("'%' on a double");
      }
    }
    const unsigned long long x = static_cast<unsigned long long>(a.intValue);
    const unsigned long long y = static_cast<unsigned long long>(b.intValue);
    switch (op) {
      case Op::Add: *out = MakeInt(Wrap(x + y)); return true;
      case Op::Sub: *out = MakeInt(Wrap(x - y)); return true;
      case Op::Mul: *out = MakeInt(Wrap(x * y)); return true;
      default: break;
    }
    if (b.intValue == 0) return Fail(op == Op::Div ? "division by zero" : "remainder by zero");
    // LLONG_MIN / -1 overflows: it wraps to LLONG_MIN, with remainder 0.
    if (a.intValue == LLONG_MIN && b.intValue == -1) {
      *out = MakeInt(op == Op::Div ? LLONG_MIN : 0);
      return true;
    }
    *out = MakeInt(op == Op::Div ? a.intValue / b.intValue : a.intValue % b.intValue);
    return true;
  }

  static int Compare(const Value& a, const Value& b) {
    if (a.type == ValueType::Int && b.type == ValueType::Int) {
      return a.intValue < b.intValue ? -1 : (a.intValue > b.intValue ? 1 : 0);
    }
    const double x = AsDouble(a), y = AsDouble(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }

  static bool Equal(const Value& a, const Value& b) {
    if (a.type == ValueType::Int && b.type == ValueType::Int) return a.intValue == b.intValue;
    return AsDouble(a) == AsDouble(b);
  }

  bool Convert(const Value& a, ValueType to, Value* out) {
    switch (to) {
      case ValueType::Bool: *out = MakeBool(AsDouble(a) != 0.0 || (a.type == ValueType::Int && a.intValue != 0)); return true;
      case ValueType::Double: *out = MakeDouble(AsDouble(a)); return true;
      default:
        if (a.type == ValueType::Double) return ToInteger(std::trunc(a.doubleValue), out);
        *out = MakeInt(a.type == ValueType::Bool ? (a.boolValue ? 1 : 0) : a.intValue);
        return true;
    }
  }

  bool ToInteger(double value, Value* out) {
    if (!FitsLongLong(value)) return Fail("the value does not fit a 64-bit integer");
    *out = MakeInt(static_cast<long long>(value));
    return true;
  }

  const GlobalValues& globals_;
  const std::vector<Global>& declared_;
  std::string* error_;
};

bool AnyNode(const Expr& expr, bool (*predicate)(const Expr&)) {
  if (predicate(expr)) return true;
  for (const Expr& arg : expr.args) {
    if (AnyNode(arg, predicate)) return true;
  }
  return false;
}

}  // namespace

bool EvaluateConstant(const Expr& expr, const GlobalValues& globals,
                      const std::vector<Global>& declared, Value* out, std::string* error) {
  return Evaluator(globals, declared, error).Eval(expr, out);
}

bool IsConstantExpr(const Expr& expr) {
  return !AnyNode(expr, [](const Expr& e) {
    return e.op == Op::Place || e.op == Op::ArrayElement || e.op == Op::Local ||
           e.op == Op::InstancePlace || e.op == Op::InstanceArrayElement;
  });
}

bool ReadsGlobal(const Expr& expr) {
  return AnyNode(expr, [](const Expr& e) { return e.op == Op::Global; });
}

ValueType ValueTypeOf(DeclType type) {
  switch (type) {
    case DeclType::Bool: return ValueType::Bool;
    case DeclType::Float:
    case DeclType::Double: return ValueType::Double;
    default: return ValueType::Int;
  }
}

const char* DeclTypeName(DeclType type) {
  switch (type) {
    case DeclType::Bool: return "bool";
    case DeclType::Char: return "char";
    case DeclType::Short: return "short";
    case DeclType::Int: return "int";
    case DeclType::Long: return "long";
    case DeclType::Float: return "float";
    default: return "double";
  }
}

bool ConvertForGlobal(const Value& value, DeclType type, long long* intValue, double* doubleValue,
                      std::string* error) {
  *intValue = 0;
  *doubleValue = 0.0;
  const std::string shown = FormatValue(value);
  if (type == DeclType::Float || type == DeclType::Double) {
    const double d = AsDouble(value);
    if (type == DeclType::Float && std::isfinite(d) && std::fabs(d) > FLT_MAX) {
      *error = "value " + shown + " does not fit a float";
      return false;
    }
    *doubleValue = type == DeclType::Float ? static_cast<double>(static_cast<float>(d)) : d;
    return true;
  }
  long long whole = 0;
  if (value.type == ValueType::Double) {
    const double d = value.doubleValue;
    if (!FitsLongLong(d) || std::trunc(d) != d) {
      *error = "value " + shown + " is not a whole number, as a " + DeclTypeName(type) + " needs";
      return false;
    }
    whole = static_cast<long long>(d);
  } else {
    whole = value.type == ValueType::Bool ? (value.boolValue ? 1 : 0) : value.intValue;
  }
  long long low = LLONG_MIN, high = LLONG_MAX;
  switch (type) {
    case DeclType::Bool: low = 0; high = 1; break;
    case DeclType::Char: low = -128; high = 127; break;
    case DeclType::Short: low = -32768; high = 32767; break;
    case DeclType::Int: low = INT_MIN; high = INT_MAX; break;
    default: break;
  }
  if (whole < low || whole > high) {
    *error = "value " + shown + " does not fit a " + DeclTypeName(type) + " (" +
             std::to_string(low) + " to " + std::to_string(high) + ")";
    return false;
  }
  *intValue = whole;
  return true;
}

Value StoredGlobalValue(DeclType type, long long intValue, double doubleValue) {
  switch (ValueTypeOf(type)) {
    case ValueType::Bool: return MakeBool(intValue != 0);
    case ValueType::Int: return MakeInt(intValue);
    default: return MakeDouble(doubleValue);
  }
}

std::string FormatValue(const Value& value) {
  switch (value.type) {
    case ValueType::Bool: return value.boolValue ? "true" : "false";
    case ValueType::Int: return std::to_string(value.intValue);
    default: {
      std::ostringstream out;
      out.precision(12);
      out << value.doubleValue;
      return out.str();
    }
  }
}

}  // namespace sanmodel
