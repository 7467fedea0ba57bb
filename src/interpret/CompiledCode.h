// CompiledCode is the interpreter's fast form of a model's expressions and
// statements: the checked model's typed trees, with every global folded into
// a constant and every place resolved to the address of its marking cell,
// laid out as nodes in one array and evaluated by a switch per node. Each
// node has one of three value types, fixed when it is compiled, so the
// evaluator never asks a value's type at run time.
//
// Compile only once the model tree is complete: a join's merges move the
// places of its children into shared cells, and a compiled place names the
// cell it reads.
//
// Faults at run time (division by zero, an index outside an array) raise a
// ModelFault naming the file, line and expression, and evaluate to 0; the
// statement that met one stores nothing.
//
// Ownership: the code owns its nodes; it points into places it does not
// own, which must outlive it. Nothing is allocated while evaluating.
// Not thread-safe: used by the simulation thread only.
#ifndef INTERPRET_COMPILEDCODE_H
#define INTERPRET_COMPILEDCODE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codegen/ModelRuntime.h"
#include "model/CheckedModel.h"

namespace saninterp {

// One local variable's storage; a local of an integer or bool type uses i,
// of a floating type d.
union Slot {
  long long i;
  double d;
};

// A marking compared with a constant, as the interval the marking must lie
// in (or, for !=, must not lie in). The bounds are cut to what a marking can
// hold (an interval holding no marking becomes the empty [1, 0]), which
// decides every comparison as the constant would and keeps the test small
// (an activity holds two in one cache line with its steps).
struct MarkingTest {
  short* cell;
  short low;
  short high;
  bool outside;
};

// A marking changed by a constant. A marking wraps modulo 2^16, so the
// constant is kept modulo 2^16 too: adding it gives the same marking.
struct MarkingStep {
  short* cell;
  short delta;
};

inline bool Holds(const MarkingTest& t) {
  const int m = *t.cell;
  return (t.low <= m && m <= t.high) != t.outside;
}

// What compilation needs to resolve names: global values, and the marking
// cells of the places an expression may name.
struct CompileScope {
  // Value of global g as a constant expression leaf (BoolConst, IntConst or
  // DoubleConst).
  std::function<sanmodel::Expr(int global)> global;
  // Cell of scalar place p of the enclosing san (Op::Place).
  std::function<short*(int place)> place;
  // Element cells of array place p of the enclosing san (Op::ArrayElement).
  std::function<const std::vector<short*>*(int place)> array;
  // The same for a place of an instance (reward expressions).
  std::function<short*(int instance, int place)> instancePlace;
  std::function<const std::vector<short*>*(int instance, int place)> instanceArray;
};

class CompiledCode {
 public:
  // model supplies the files and texts quoted in fault messages; it must
  // outlive the code.
  explicit CompiledCode(const sanmodel::CheckedModel& model);
  CompiledCode(const CompiledCode&) = delete;
  CompiledCode& operator=(const CompiledCode&) = delete;
  ~CompiledCode();

  // Compiles e and returns its root node.
  int Expression(const sanmodel::Expr& e, const CompileScope& scope);
  // Compiles a statement list and returns its entry.
  int Statements(const std::vector<sanmodel::Stmt>& statements, const CompileScope& scope);

  // Evaluation of a root node of the matching type.
  long long Int(int node, Slot* locals) const;
  double Real(int node, Slot* locals) const;
  bool Truth(int node, Slot* locals) const;
  // Any type, as a double.
  double AsReal(int node, Slot* locals) const;
  void Run(int entry, Slot* locals) const;

  // The shapes most gates take, for their activities' fast paths: a
  // predicate that is a conjunction of marking tests (the tests, in
  // evaluation order), and an effect that only adds constants to markings
  // (the steps, in order). False, with out unspecified, for any other shape.
  bool MarkingTests(int root, std::vector<MarkingTest>* out) const;
  bool MarkingSteps(int entry, std::vector<MarkingStep>* out) const;
  // Whether node is a constant, and its value.
  bool IsConstant(int node, double* value) const;

  // Raises a ModelFault for the construct at pos.
  void Fault(const sanmodel::SourcePos& pos, const std::string& what) const;
  // "file:line:column: error: what", the line and a caret, as the checker
  // reports; for faults found while building the model as well.
  static std::string Describe(const sanmodel::CheckedModel& model, const sanmodel::SourcePos& pos,
                              const std::string& what);
  // The site of pos, for the shared run-time functions; *line keeps the
  // quoted line's text alive as long as the site is used.
  static modelrt::Site SiteOf(const sanmodel::CheckedModel& model, const sanmodel::SourcePos& pos, std::string* line);

 private:
  enum class Code : std::uint8_t;
  struct Node;
  struct Statement;

  int Add(Node node);
  int CompileCell(const sanmodel::Expr& e, short* cell);
  int CompileElement(const sanmodel::Expr& e, const std::vector<short*>* cells, const CompileScope& scope);
  int CompileOperator(const sanmodel::Expr& e, const CompileScope& scope);
  void Emit(const sanmodel::Stmt& s, const CompileScope& scope);
  void Fuse(Node* n) const;
  int Fold(int node);
  static MarkingTest AsInterval(const Node& n);
  static bool IsReal(Code c);
  static bool IsTruth(Code c);
  short* ElementCell(const Statement& s, Slot* locals) const;
  [[gnu::cold, gnu::noinline]] long long IndexFault(const sanmodel::SourcePos& pos, long long k,
                                                    const std::vector<short*>& cells) const;
  [[gnu::cold, gnu::noinline]] long long DivisionFault(const sanmodel::SourcePos& pos, bool division) const;
  [[gnu::cold, gnu::noinline]] long long ValueFault(const sanmodel::SourcePos& pos, const char* what) const;
  void Store(const Statement& s, Slot* locals) const;

  const sanmodel::CheckedModel& Model;
  std::vector<Node> Nodes;
  std::vector<Statement> Statements_;
};

}  // namespace saninterp

#endif
