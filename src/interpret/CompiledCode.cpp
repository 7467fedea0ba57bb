#include "interpret/CompiledCode.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "codegen/ModelRuntime.h"
#include "simulator/ModelFault.h"

namespace saninterp {

using sanmodel::AssignOp;
using sanmodel::DeclType;
using sanmodel::Expr;
using sanmodel::Op;
using sanmodel::Stmt;
using sanmodel::StmtKind;
using sanmodel::ValueType;

enum class CompiledCode::Code : std::uint8_t {
  ConstI, ConstD, ConstB,
  Cell, Element, LocalI, LocalD, LocalB,
  NegI, NegD, Not,
  AddI, SubI, MulI, DivI, ModI, AddD, SubD, MulD, DivD,
  LtI, LeI, GtI, GeI, EqI, NeI, LtD, LeD, GtD, GeD, EqD, NeD, EqB, NeB,
  And, Or, CondI, CondD, CondB,
  IntToD, BoolToI, BoolToD, IntToB, DToB,
  MinI, MaxI, AbsI, MinD, MaxD, AbsD, Floor, Ceil, Round, Sqrt, Exp, Log, Pow,
  // A marking compared with a constant, the most common test of a gate, in
  // one node; and a local compared with a constant, as in if-chains.
  LtCK, LeCK, GtCK, GeCK, EqCK, NeCK, EqLK, NeLK
};

struct CompiledCode::Node {
  Code code = Code::ConstI;
  int a = -1;
  int b = -1;
  int c = -1;
  long long i = 0;
  double d = 0.0;
  short* cell = nullptr;
  const std::vector<short*>* cells = nullptr;
  sanmodel::SourcePos pos;
};

// Statements are laid out as a straight list per effect, ending in End:
// an if becomes a conditional jump over its branch, so running an effect is
// one loop over the list, without recursion.
struct CompiledCode::Statement {
  // AddToCell: a marking changed by a constant (P++, P -= 2), in one step.
  enum class Kind { StoreCell, StoreElement, StoreLocal, AddToCell, JumpUnless, Jump, End } kind = Kind::End;
  AssignOp op = AssignOp::Set;
  ValueType type = ValueType::Int;
  DeclType declType = DeclType::Short;
  short* cell = nullptr;
  const std::vector<short*>* cells = nullptr;
  int element = -1;    // index node of StoreElement
  int local = -1;
  int value = -1;
  int condition = -1;  // JumpUnless
  int target = -1;     // JumpUnless, Jump
  long long constant = 0;  // AddToCell
  sanmodel::SourcePos pos;
};

namespace {


using modelrt::DivUnchecked;
using modelrt::ModUnchecked;
using modelrt::Mul;
using modelrt::Sub;

// A value stored into a variable of type t, reduced as C reduces it.
long long NarrowInt(long long v, DeclType t) {
  switch (t) {
    case DeclType::Bool:
      return v != 0 ? 1 : 0;
    case DeclType::Char:
      return modelrt::ToChar(v);
    case DeclType::Short:
      return modelrt::ToShort(v);
    case DeclType::Int:
      return modelrt::ToInt(v);
    default:
      return v;
  }
}

}  // namespace

CompiledCode::CompiledCode(const sanmodel::CheckedModel& model) : Model(model) {}

CompiledCode::~CompiledCode() = default;

int CompiledCode::Add(Node node) {
  Nodes.push_back(node);
  return static_cast<int>(Nodes.size()) - 1;
}

modelrt::Site CompiledCode::SiteOf(const sanmodel::CheckedModel& model, const sanmodel::SourcePos& pos,
                                    std::string* line) {
  const std::string& source = model.Sources.at(static_cast<std::size_t>(pos.file));
  std::size_t begin = 0;
  for (int k = 1; k < pos.line && begin != std::string::npos; ++k) {
    begin = source.find('\n', begin);
    if (begin != std::string::npos) ++begin;
  }
  if (begin == std::string::npos) begin = source.size();
  *line = source.substr(begin, source.find('\n', begin) - begin);
  return modelrt::Site{model.Files.at(static_cast<std::size_t>(pos.file)).c_str(), pos.line, pos.column, pos.length,
                       line->c_str()};
}

std::string CompiledCode::Describe(const sanmodel::CheckedModel& model, const sanmodel::SourcePos& pos,
                                   const std::string& what) {
  std::string line;
  return modelrt::Describe(SiteOf(model, pos, &line), what);
}

void CompiledCode::Fault(const sanmodel::SourcePos& pos, const std::string& what) const {
  std::string line;
  modelrt::Fault(SiteOf(Model, pos, &line), what);
}

// --- Compilation ---------------------------------------------------------

int CompiledCode::Expression(const Expr& e, const CompileScope& scope) {
  Node n;
  n.pos = e.pos;
  switch (e.op) {
    case Op::BoolConst:
      n.code = Code::ConstB;
      n.i = e.boolValue ? 1 : 0;
      return Add(n);
    case Op::IntConst:
      n.code = Code::ConstI;
      n.i = e.intValue;
      return Add(n);
    case Op::DoubleConst:
      n.code = Code::ConstD;
      n.d = e.doubleValue;
      return Add(n);
    case Op::Global:
      return Expression(scope.global(e.index), scope);
    case Op::Place:
      return CompileCell(e, scope.place(e.index));
    case Op::InstancePlace:
      return CompileCell(e, scope.instancePlace(e.instance, e.index));
    case Op::ArrayElement:
      return CompileElement(e, scope.array(e.index), scope);
    case Op::InstanceArrayElement:
      return CompileElement(e, scope.instanceArray(e.instance, e.index), scope);
    case Op::Local:
      n.code = e.type == ValueType::Double ? Code::LocalD : e.type == ValueType::Bool ? Code::LocalB : Code::LocalI;
      n.i = e.index;
      return Add(n);
    default:
      return CompileOperator(e, scope);
  }
}

int CompiledCode::CompileCell(const Expr& e, short* cell) {
  Node n;
  n.pos = e.pos;
  n.code = Code::Cell;
  n.cell = cell;
  return Add(n);
}

int CompiledCode::CompileElement(const Expr& e, const std::vector<short*>* cells, const CompileScope& scope) {
  Node n;
  n.pos = e.pos;
  n.code = Code::Element;
  n.cells = cells;
  n.a = Expression(e.args.at(0), scope);
  return Add(n);
}

int CompiledCode::CompileOperator(const Expr& e, const CompileScope& scope) {
  Node n;
  n.pos = e.pos;
  if (!e.args.empty()) n.a = Expression(e.args[0], scope);
  if (e.args.size() > 1) n.b = Expression(e.args[1], scope);
  if (e.args.size() > 2) n.c = Expression(e.args[2], scope);
  // Operators pick their code by the type of their operands (comparisons)
  // or of their result (arithmetic).
  const ValueType operand = e.args.empty() ? e.type : e.args[0].type;
  const bool real = operand == ValueType::Double;
  const bool truth = operand == ValueType::Bool;
  switch (e.op) {
    case Op::Negate: n.code = real ? Code::NegD : Code::NegI; break;
    case Op::Not: n.code = Code::Not; break;
    case Op::Add: n.code = real ? Code::AddD : Code::AddI; break;
    case Op::Sub: n.code = real ? Code::SubD : Code::SubI; break;
    case Op::Mul: n.code = real ? Code::MulD : Code::MulI; break;
    case Op::Div: n.code = real ? Code::DivD : Code::DivI; break;
    case Op::Mod: n.code = Code::ModI; break;
    case Op::Less: n.code = real ? Code::LtD : Code::LtI; break;
    case Op::LessEqual: n.code = real ? Code::LeD : Code::LeI; break;
    case Op::Greater: n.code = real ? Code::GtD : Code::GtI; break;
    case Op::GreaterEqual: n.code = real ? Code::GeD : Code::GeI; break;
    case Op::Equal: n.code = real ? Code::EqD : truth ? Code::EqB : Code::EqI; break;
    case Op::NotEqual: n.code = real ? Code::NeD : truth ? Code::NeB : Code::NeI; break;
    case Op::And: n.code = Code::And; break;
    case Op::Or: n.code = Code::Or; break;
    case Op::Conditional:
      n.code = e.type == ValueType::Double ? Code::CondD : e.type == ValueType::Bool ? Code::CondB : Code::CondI;
      break;
    case Op::Convert:
      if (e.type == ValueType::Double) {
        n.code = truth ? Code::BoolToD : Code::IntToD;
      } else if (e.type == ValueType::Int) {
        n.code = truth ? Code::BoolToI : Code::Floor;  // a checked model never converts a double to an int
      } else {
        n.code = real ? Code::DToB : Code::IntToB;
      }
      break;
    case Op::Min: n.code = real ? Code::MinD : Code::MinI; break;
    case Op::Max: n.code = real ? Code::MaxD : Code::MaxI; break;
    case Op::Abs: n.code = real ? Code::AbsD : Code::AbsI; break;
    case Op::Floor: n.code = Code::Floor; break;
    case Op::Ceil: n.code = Code::Ceil; break;
    case Op::Round: n.code = Code::Round; break;
    case Op::Sqrt: n.code = Code::Sqrt; break;
    case Op::Exp: n.code = Code::Exp; break;
    case Op::Log: n.code = Code::Log; break;
    case Op::Pow: n.code = Code::Pow; break;
    default: n.code = Code::ConstI; break;
  }
  Fuse(&n);
  return Fold(Add(n));
}

// Folds an operator whose operands are all constants into a constant (the
// globals are constants by now), so that `size - 1` costs nothing per
// event. Operators that can fault are left to fault at run time.
int CompiledCode::Fold(int node) {
  Node& n = Nodes[static_cast<std::size_t>(node)];
  auto constant = [this](int k) {
    if (k < 0) return true;
    const Code c = Nodes[static_cast<std::size_t>(k)].code;
    return c == Code::ConstI || c == Code::ConstD || c == Code::ConstB;
  };
  if (!constant(n.a) || !constant(n.b) || !constant(n.c)) return node;
  switch (n.code) {
    case Code::DivI: case Code::ModI: case Code::DivD: case Code::Floor: case Code::Ceil: case Code::Round:
    case Code::Sqrt: case Code::Log: case Code::Pow: case Code::Exp:
      return node;
    default:
      break;
  }
  Node folded;
  folded.pos = n.pos;
  if (IsReal(n.code)) {
    folded.code = Code::ConstD;
    folded.d = Real(node, nullptr);
  } else if (IsTruth(n.code)) {
    folded.code = Code::ConstB;
    folded.i = Truth(node, nullptr) ? 1 : 0;
  } else {
    folded.code = Code::ConstI;
    folded.i = Int(node, nullptr);
  }
  Nodes[static_cast<std::size_t>(node)] = folded;
  return node;
}

bool CompiledCode::IsReal(Code c) {
  switch (c) {
    case Code::ConstD: case Code::LocalD: case Code::NegD: case Code::AddD: case Code::SubD: case Code::MulD:
    case Code::DivD: case Code::CondD: case Code::IntToD: case Code::BoolToD: case Code::MinD: case Code::MaxD:
    case Code::AbsD: case Code::Exp: case Code::Sqrt: case Code::Log: case Code::Pow:
      return true;
    default:
      return false;
  }
}

bool CompiledCode::IsTruth(Code c) {
  switch (c) {
    case Code::ConstB: case Code::LocalB: case Code::Not: case Code::And: case Code::Or:
    case Code::LtI: case Code::LeI: case Code::GtI: case Code::GeI: case Code::EqI: case Code::NeI:
    case Code::LtD: case Code::LeD: case Code::GtD: case Code::GeD: case Code::EqD: case Code::NeD:
    case Code::EqB: case Code::NeB: case Code::CondB: case Code::IntToB: case Code::DToB:
    case Code::LtCK: case Code::LeCK: case Code::GtCK: case Code::GeCK: case Code::EqCK: case Code::NeCK:
    case Code::EqLK: case Code::NeLK:
      return true;
    default:
      return false;
  }
}

namespace {
// The interval cut to the markings a short can hold: the same test of
// every marking.
MarkingTest Interval(short* cell, long long low, long long high, bool outside) {
  constexpr long long kLowestMarking = std::numeric_limits<short>::min();
  constexpr long long kHighestMarking = std::numeric_limits<short>::max();
  low = std::max(low, kLowestMarking);
  high = std::min(high, kHighestMarking);
  if (low > high) {
    low = 1;
    high = 0;
  }
  return {cell, static_cast<short>(low), static_cast<short>(high), outside};
}
}  // namespace

MarkingTest CompiledCode::AsInterval(const Node& n) {
  constexpr long long kLowest = std::numeric_limits<long long>::min();
  constexpr long long kHighest = std::numeric_limits<long long>::max();
  const long long k = n.i;
  switch (n.code) {
    // Below the lowest or above the highest constant: no marking (an empty
    // interval).
    case Code::LtCK: return k == kLowest ? Interval(n.cell, 1, 0, false) : Interval(n.cell, kLowest, k - 1, false);
    case Code::LeCK: return Interval(n.cell, kLowest, k, false);
    case Code::GtCK: return k == kHighest ? Interval(n.cell, 1, 0, false) : Interval(n.cell, k + 1, kHighest, false);
    case Code::GeCK: return Interval(n.cell, k, kHighest, false);
    case Code::EqCK: return Interval(n.cell, k, k, false);
    default: return Interval(n.cell, k, k, true);
  }
}

bool CompiledCode::MarkingTests(int root, std::vector<MarkingTest>* out) const {
  const Node& n = Nodes[static_cast<std::size_t>(root)];
  switch (n.code) {
    case Code::And:
      return MarkingTests(n.a, out) && MarkingTests(n.b, out);
    case Code::LtCK: case Code::LeCK: case Code::GtCK: case Code::GeCK: case Code::EqCK: case Code::NeCK:
      out->push_back(AsInterval(n));
      return true;
    default:
      return false;
  }
}

bool CompiledCode::MarkingSteps(int entry, std::vector<MarkingStep>* out) const {
  for (std::size_t pc = static_cast<std::size_t>(entry); Statements_[pc].kind != Statement::Kind::End; ++pc) {
    if (Statements_[pc].kind != Statement::Kind::AddToCell) return false;
    const auto delta = static_cast<short>(static_cast<std::uint16_t>(Statements_[pc].constant));
    out->push_back(MarkingStep{Statements_[pc].cell, delta});
  }
  return true;
}

// Replaces a comparison of a marking or a local with a constant by one node.
void CompiledCode::Fuse(Node* n) const {
  static const Code kCellForms[] = {Code::LtCK, Code::LeCK, Code::GtCK, Code::GeCK, Code::EqCK, Code::NeCK};
  static const Code kIntForms[] = {Code::LtI, Code::LeI, Code::GtI, Code::GeI, Code::EqI, Code::NeI};
  if (n->a < 0 || n->b < 0) return;
  const Node& left = Nodes[static_cast<std::size_t>(n->a)];
  const Node& right = Nodes[static_cast<std::size_t>(n->b)];
  if (right.code != Code::ConstI) return;
  for (int k = 0; k < 6; ++k) {
    if (n->code != kIntForms[k]) continue;
    if (left.code == Code::Cell) {
      n->code = kCellForms[k];
      n->cell = left.cell;
      n->i = right.i;
    } else if (left.code == Code::LocalI && (k == 4 || k == 5)) {
      n->code = k == 4 ? Code::EqLK : Code::NeLK;
      n->c = static_cast<int>(left.i);
      n->i = right.i;
    }
    return;
  }
}

int CompiledCode::Statements(const std::vector<Stmt>& statements, const CompileScope& scope) {
  const int entry = static_cast<int>(Statements_.size());
  for (const Stmt& s : statements) Emit(s, scope);
  Statements_.push_back(Statement());
  return entry;
}

void CompiledCode::Emit(const Stmt& s, const CompileScope& scope) {
  Statement out;
  out.pos = s.pos;
  switch (s.kind) {
    case StmtKind::Block:
      for (const Stmt& inner : s.body) Emit(inner, scope);
      return;
    case StmtKind::Empty:
      return;
    case StmtKind::If: {
      out.kind = Statement::Kind::JumpUnless;
      out.condition = Expression(s.condition, scope);
      const std::size_t jumpUnless = Statements_.size();
      Statements_.push_back(out);
      for (const Stmt& inner : s.body) Emit(inner, scope);
      if (s.elseBody.empty()) {
        Statements_[jumpUnless].target = static_cast<int>(Statements_.size());
        return;
      }
      Statement jump;
      jump.kind = Statement::Kind::Jump;
      const std::size_t overElse = Statements_.size();
      Statements_.push_back(jump);
      Statements_[jumpUnless].target = static_cast<int>(Statements_.size());
      for (const Stmt& inner : s.elseBody) Emit(inner, scope);
      Statements_[overElse].target = static_cast<int>(Statements_.size());
      return;
    }
    case StmtKind::Declare:
      out.kind = Statement::Kind::StoreLocal;
      out.local = s.index;
      out.declType = s.declType;
      out.type = s.value.type;
      out.value = Expression(s.value, scope);
      break;
    case StmtKind::Assign: {
      const sanmodel::Target& t = s.target;
      out.op = s.assignOp;
      out.declType = t.declType;
      out.type = t.type;
      out.value = Expression(s.value, scope);
      if (t.kind == sanmodel::Target::Kind::Place) {
        out.kind = Statement::Kind::StoreCell;
        out.cell = scope.place(t.index);
        const Node& value = Nodes[static_cast<std::size_t>(out.value)];
        if (value.code == Code::ConstI && (out.op == AssignOp::Add || out.op == AssignOp::Sub)) {
          out.kind = Statement::Kind::AddToCell;
          out.constant = out.op == AssignOp::Add ? value.i : Sub(0, value.i);
        }
      } else if (t.kind == sanmodel::Target::Kind::ArrayElement) {
        out.kind = Statement::Kind::StoreElement;
        out.cells = scope.array(t.index);
        out.element = Expression(t.element.at(0), scope);
      } else {
        out.kind = Statement::Kind::StoreLocal;
        out.local = t.index;
      }
      break;
    }
  }
  Statements_.push_back(out);
}

// --- Evaluation ----------------------------------------------------------

// The fault paths stay out of the evaluators' way: building a message needs
// strings, which would otherwise weigh on every call.
long long CompiledCode::IndexFault(const sanmodel::SourcePos& pos, long long k, const std::vector<short*>& cells) const {
  Fault(pos, "index " + std::to_string(k) + " is outside the array (0 to " + std::to_string(cells.size() - 1) + ")");
  return 0;
}

long long CompiledCode::DivisionFault(const sanmodel::SourcePos& pos, bool division) const {
  Fault(pos, division ? "division by zero" : "remainder by zero");
  return 0;
}

long long CompiledCode::ValueFault(const sanmodel::SourcePos& pos, const char* what) const {
  Fault(pos, what);
  return 0;
}

long long CompiledCode::Int(int node, Slot* locals) const {
  const Node& n = Nodes[static_cast<std::size_t>(node)];
  switch (n.code) {
    case Code::ConstI:
    case Code::ConstB:
      return n.i;
    case Code::Cell:
      return *n.cell;
    case Code::Element: {
      const long long k = Int(n.a, locals);
      if (k < 0 || k >= static_cast<long long>(n.cells->size())) return IndexFault(n.pos, k, *n.cells);
      return *(*n.cells)[static_cast<std::size_t>(k)];
    }
    case Code::LocalI:
    case Code::LocalB:
      return locals[n.i].i;
    case Code::NegI: return Sub(0, Int(n.a, locals));
    case Code::AddI: return modelrt::Add(Int(n.a, locals), Int(n.b, locals));
    case Code::SubI: return Sub(Int(n.a, locals), Int(n.b, locals));
    case Code::MulI: return Mul(Int(n.a, locals), Int(n.b, locals));
    case Code::DivI:
    case Code::ModI: {
      const long long a = Int(n.a, locals);
      const long long b = Int(n.b, locals);
      if (b == 0) return DivisionFault(n.pos, n.code == Code::DivI);
      return n.code == Code::DivI ? DivUnchecked(a, b) : ModUnchecked(a, b);
    }
    case Code::CondI: return Truth(n.a, locals) ? Int(n.b, locals) : Int(n.c, locals);
    case Code::BoolToI: return Truth(n.a, locals) ? 1 : 0;
    case Code::MinI: return std::min(Int(n.a, locals), Int(n.b, locals));
    case Code::MaxI: return std::max(Int(n.a, locals), Int(n.b, locals));
    case Code::AbsI: {
      const long long a = Int(n.a, locals);
      return a < 0 ? Sub(0, a) : a;
    }
    case Code::Floor:
    case Code::Ceil:
    case Code::Round: {
      const double x = Real(n.a, locals);
      const double r = n.code == Code::Floor ? std::floor(x) : n.code == Code::Ceil ? std::ceil(x) : std::round(x);
      if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18))
        return ValueFault(n.pos, "the value does not fit a whole number");
      return static_cast<long long>(r);
    }
    default:
      return Truth(node, locals) ? 1 : 0;
  }
}

double CompiledCode::Real(int node, Slot* locals) const {
  const Node& n = Nodes[static_cast<std::size_t>(node)];
  switch (n.code) {
    case Code::ConstD: return n.d;
    case Code::LocalD: return locals[n.i].d;
    case Code::NegD: return -Real(n.a, locals);
    case Code::AddD: return Real(n.a, locals) + Real(n.b, locals);
    case Code::SubD: return Real(n.a, locals) - Real(n.b, locals);
    case Code::MulD: return Real(n.a, locals) * Real(n.b, locals);
    case Code::DivD: {
      const double a = Real(n.a, locals);
      const double b = Real(n.b, locals);
      if (b == 0.0) return static_cast<double>(DivisionFault(n.pos, true));
      return a / b;
    }
    case Code::CondD: return Truth(n.a, locals) ? Real(n.b, locals) : Real(n.c, locals);
    case Code::IntToD: return static_cast<double>(Int(n.a, locals));
    case Code::BoolToD: return Truth(n.a, locals) ? 1.0 : 0.0;
    case Code::MinD: return std::min(Real(n.a, locals), Real(n.b, locals));
    case Code::MaxD: return std::max(Real(n.a, locals), Real(n.b, locals));
    case Code::AbsD: return std::fabs(Real(n.a, locals));
    case Code::Exp: return std::exp(Real(n.a, locals));
    case Code::Sqrt:
    case Code::Log:
    case Code::Pow: {
      const double x = Real(n.a, locals);
      const double r = n.code == Code::Sqrt ? std::sqrt(x) : n.code == Code::Log ? std::log(x)
                                                                                 : std::pow(x, Real(n.b, locals));
      if (std::isnan(r) || (n.code == Code::Log && x == 0.0))
        return static_cast<double>(ValueFault(n.pos, "argument outside the function's domain"));
      return r;
    }
    default:
      return static_cast<double>(Int(node, locals));
  }
}

bool CompiledCode::Truth(int node, Slot* locals) const {
  const Node& n = Nodes[static_cast<std::size_t>(node)];
  switch (n.code) {
    case Code::ConstB:
    case Code::LocalB:
      return n.code == Code::ConstB ? n.i != 0 : locals[n.i].i != 0;
    case Code::LtCK: return *n.cell < n.i;
    case Code::LeCK: return *n.cell <= n.i;
    case Code::GtCK: return *n.cell > n.i;
    case Code::GeCK: return *n.cell >= n.i;
    case Code::EqCK: return *n.cell == n.i;
    case Code::NeCK: return *n.cell != n.i;
    case Code::EqLK: return locals[n.c].i == n.i;
    case Code::NeLK: return locals[n.c].i != n.i;
    case Code::Not: return !Truth(n.a, locals);
    case Code::And: return Truth(n.a, locals) && Truth(n.b, locals);
    case Code::Or: return Truth(n.a, locals) || Truth(n.b, locals);
    case Code::LtI: return Int(n.a, locals) < Int(n.b, locals);
    case Code::LeI: return Int(n.a, locals) <= Int(n.b, locals);
    case Code::GtI: return Int(n.a, locals) > Int(n.b, locals);
    case Code::GeI: return Int(n.a, locals) >= Int(n.b, locals);
    case Code::EqI: return Int(n.a, locals) == Int(n.b, locals);
    case Code::NeI: return Int(n.a, locals) != Int(n.b, locals);
    case Code::LtD: return Real(n.a, locals) < Real(n.b, locals);
    case Code::LeD: return Real(n.a, locals) <= Real(n.b, locals);
    case Code::GtD: return Real(n.a, locals) > Real(n.b, locals);
    case Code::GeD: return Real(n.a, locals) >= Real(n.b, locals);
    case Code::EqD: return Real(n.a, locals) == Real(n.b, locals);
    case Code::NeD: return Real(n.a, locals) != Real(n.b, locals);
    case Code::EqB: return Truth(n.a, locals) == Truth(n.b, locals);
    case Code::NeB: return Truth(n.a, locals) != Truth(n.b, locals);
    case Code::CondB: return Truth(n.a, locals) ? Truth(n.b, locals) : Truth(n.c, locals);
    case Code::IntToB: return Int(n.a, locals) != 0;
    case Code::DToB: return Real(n.a, locals) != 0.0;
    default:
      return Int(node, locals) != 0;
  }
}

double CompiledCode::AsReal(int node, Slot* locals) const {
  if (IsReal(Nodes[static_cast<std::size_t>(node)].code)) return Real(node, locals);
  return static_cast<double>(Int(node, locals));
}

bool CompiledCode::IsConstant(int node, double* value) const {
  const Node& n = Nodes[static_cast<std::size_t>(node)];
  if (n.code != Code::ConstI && n.code != Code::ConstD && n.code != Code::ConstB) return false;
  *value = n.code == Code::ConstD ? n.d : static_cast<double>(n.i);
  return true;
}

void CompiledCode::Run(int entry, Slot* locals) const {
  std::size_t pc = static_cast<std::size_t>(entry);
  for (;;) {
    const Statement& s = Statements_[pc];
    switch (s.kind) {
      case Statement::Kind::End:
        return;
      case Statement::Kind::Jump:
        pc = static_cast<std::size_t>(s.target);
        continue;
      case Statement::Kind::JumpUnless:
        pc = Truth(s.condition, locals) ? pc + 1 : static_cast<std::size_t>(s.target);
        continue;
      case Statement::Kind::AddToCell:
        *s.cell = static_cast<short>(NarrowInt(modelrt::Add(*s.cell, s.constant), DeclType::Short));
        break;
      default:
        Store(s, locals);
        break;
    }
    ++pc;
  }
}

short* CompiledCode::ElementCell(const Statement& s, Slot* locals) const {
  const long long k = Int(s.element, locals);
  if (k < 0 || k >= static_cast<long long>(s.cells->size())) {
    IndexFault(s.pos, k, *s.cells);
    return nullptr;
  }
  return (*s.cells)[static_cast<std::size_t>(k)];
}

void CompiledCode::Store(const Statement& s, Slot* locals) const {
  // The target is located before the value is computed, as C's compound
  // assignment reads it; a fault in either stores nothing.
  short* cell = s.kind == Statement::Kind::StoreCell ? s.cell
                : s.kind == Statement::Kind::StoreElement ? ElementCell(s, locals)
                                                          : nullptr;
  if (s.kind == Statement::Kind::StoreElement && cell == nullptr) return;
  Slot* local = s.kind == Statement::Kind::StoreLocal ? &locals[s.local] : nullptr;
  if (s.type == ValueType::Double) {
    const double v = Real(s.value, locals);
    double current = local->d;
    switch (s.op) {
      case AssignOp::Set: current = v; break;
      case AssignOp::Add: current += v; break;
      case AssignOp::Sub: current -= v; break;
      case AssignOp::Mul: current *= v; break;
      case AssignOp::Div:
      case AssignOp::Mod:
        if (v == 0.0) {
          DivisionFault(s.pos, true);
          return;
        }
        current /= v;
        break;
    }
    if (ModelFault::Raised()) return;
    local->d = s.declType == DeclType::Float ? static_cast<double>(static_cast<float>(current)) : current;
    return;
  }
  const long long v = s.type == ValueType::Bool ? (Truth(s.value, locals) ? 1 : 0) : Int(s.value, locals);
  long long current = cell != nullptr ? *cell : local->i;
  switch (s.op) {
    case AssignOp::Set: current = v; break;
    case AssignOp::Add: current = modelrt::Add(current, v); break;
    case AssignOp::Sub: current = Sub(current, v); break;
    case AssignOp::Mul: current = Mul(current, v); break;
    case AssignOp::Div:
    case AssignOp::Mod:
      if (v == 0) {
        DivisionFault(s.pos, s.op == AssignOp::Div);
        return;
      }
      current = s.op == AssignOp::Div ? DivUnchecked(current, v) : ModUnchecked(current, v);
      break;
  }
  if (ModelFault::Raised()) return;
  if (cell != nullptr) {
    *cell = static_cast<short>(NarrowInt(current, DeclType::Short));
  } else {
    local->i = NarrowInt(current, s.declType);
  }
}

}  // namespace saninterp
