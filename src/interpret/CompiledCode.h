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

#include "model/CheckedModel.h"

namespace saninterp {

// One local variable's storage; a local of an integer or bool type uses i,
// of a floating type d.
union Slot {
  long long i;
  double d;
};

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
  // Compiles a statement list and returns its root (a block).
  int Statements(const std::vector<sanmodel::Stmt>& statements, const CompileScope& scope);

  // Evaluation of a root node of the matching type.
  long long Int(int node, Slot* locals) const;
  double Real(int node, Slot* locals) const;
  bool Truth(int node, Slot* locals) const;
  // Any type, as a double.
  double AsReal(int node, Slot* locals) const;
  void Run(int statement, Slot* locals) const;

  // Raises a ModelFault for the construct at pos.
  void Fault(const sanmodel::SourcePos& pos, const std::string& what) const;
  // "file:line:column: error: what", the line and a caret, as the checker
  // reports; for faults found while building the model as well.
  static std::string Describe(const sanmodel::CheckedModel& model, const sanmodel::SourcePos& pos,
                              const std::string& what);

 private:
  enum class Code : std::uint8_t;
  struct Node;
  struct Statement;

  int Add(Node node);
  int CompileCell(const sanmodel::Expr& e, short* cell);
  int CompileElement(const sanmodel::Expr& e, const std::vector<short*>* cells, const CompileScope& scope);
  int CompileOperator(const sanmodel::Expr& e, const CompileScope& scope);
  int CompileStatement(const sanmodel::Stmt& s, const CompileScope& scope);
  short* ElementCell(const Statement& s, Slot* locals) const;
  void Store(const Statement& s, Slot* locals) const;

  const sanmodel::CheckedModel& Model;
  std::vector<Node> Nodes;
  std::vector<Statement> Statements_;
  std::vector<int> Children;  // statement children, by range
};

}  // namespace saninterp

#endif
