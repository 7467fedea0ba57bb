#include "interpret/GlobalValues.h"

#include <cstring>
#include <sstream>

namespace saninterp {

using sanmodel::DeclType;

namespace {

std::size_t SizeOf(DeclType t) {
  switch (t) {
    case DeclType::Bool: return sizeof(bool);
    case DeclType::Char: return sizeof(char);
    case DeclType::Short: return sizeof(short);
    case DeclType::Int: return sizeof(int);
    case DeclType::Long: return sizeof(long);
    case DeclType::Float: return sizeof(float);
    default: return sizeof(double);
  }
}

}  // namespace

GlobalValues::GlobalValues(const std::vector<sanmodel::Global>& globals)
    : Globals(globals), Values(globals.size()) {
  for (Storage& v : Values) v.d = 0.0;
}

void GlobalValues::Apply(const sanmodel::Experiment& experiment) {
  for (std::size_t g = 0; g < Globals.size(); ++g) {
    Storage& v = Values[g];
    const long long i = g < experiment.intValues.size() ? experiment.intValues[g] : 0;
    const double d = g < experiment.doubleValues.size() ? experiment.doubleValues[g] : 0.0;
    switch (Globals[g].type) {
      case DeclType::Bool: v.b = i != 0; break;
      case DeclType::Char: v.c = static_cast<char>(i); break;
      case DeclType::Short: v.s = static_cast<short>(i); break;
      case DeclType::Int: v.i = static_cast<int>(i); break;
      case DeclType::Long: v.l = static_cast<long>(i); break;
      case DeclType::Float: v.f = static_cast<float>(d); break;
      case DeclType::Double: v.d = d; break;
    }
  }
}

int GlobalValues::IndexOf(const std::string& name) const {
  for (std::size_t g = 0; g < Globals.size(); ++g)
    if (Globals[g].name == name) return static_cast<int>(g);
  return -1;
}

void* GlobalValues::Address(const std::string& name) {
  const int g = IndexOf(name);
  return g < 0 ? nullptr : &Values[static_cast<std::size_t>(g)];
}

bool GlobalValues::Override(const std::string& name, const void* value) {
  const int g = IndexOf(name);
  if (g < 0) return false;
  std::memcpy(&Values[static_cast<std::size_t>(g)], value, SizeOf(Globals[static_cast<std::size_t>(g)].type));
  return true;
}

sanmodel::Expr GlobalValues::Constant(int g) const {
  const Storage& v = Values[static_cast<std::size_t>(g)];
  sanmodel::Expr e;
  e.pos = Globals[static_cast<std::size_t>(g)].pos;
  switch (Globals[static_cast<std::size_t>(g)].type) {
    case DeclType::Bool:
      e.op = sanmodel::Op::BoolConst;
      e.type = sanmodel::ValueType::Bool;
      e.boolValue = v.b;
      return e;
    case DeclType::Float:
    case DeclType::Double:
      e.op = sanmodel::Op::DoubleConst;
      e.type = sanmodel::ValueType::Double;
      e.doubleValue = Globals[static_cast<std::size_t>(g)].type == DeclType::Float ? v.f : v.d;
      return e;
    case DeclType::Char: e.intValue = v.c; break;
    case DeclType::Short: e.intValue = v.s; break;
    case DeclType::Int: e.intValue = v.i; break;
    default: e.intValue = v.l; break;
  }
  e.op = sanmodel::Op::IntConst;
  e.type = sanmodel::ValueType::Int;
  return e;
}

std::string GlobalValues::Text(int g) const {
  const sanmodel::Expr e = Constant(g);
  std::ostringstream out;
  if (e.op == sanmodel::Op::BoolConst) {
    out << (e.boolValue ? 1 : 0);
  } else if (e.op == sanmodel::Op::DoubleConst) {
    out << e.doubleValue;
  } else if (Globals[static_cast<std::size_t>(g)].type == DeclType::Char) {
    out << static_cast<char>(e.intValue);
  } else {
    out << e.intValue;
  }
  return out.str();
}

}  // namespace saninterp
