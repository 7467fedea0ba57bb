// The syntax tree of a model file, as the parser builds it: names are still
// names, nothing is typed or checked. Every node keeps the position of the
// text it came from, for diagnostics.
//
// Ownership: plain values; each node owns its children.
#ifndef MODEL_SYNTAX_H
#define MODEL_SYNTAX_H

#include <string>
#include <variant>
#include <vector>

#include "model/CheckedModel.h"
#include "model/Token.h"

namespace sanmodel {
namespace syntax {

enum class ExprKind {
  Integer,      // intValue
  Real,         // realValue
  Boolean,      // boolValue
  Name,         // name; args[0] is the index when hasIndex
  Qualified,    // name "." member; args[0] is the index when hasIndex
  Call,         // name "(" args ")"
  Unary,        // op args[0]: Minus, Plus, Not
  Binary,       // args[0] op args[1]
  Conditional   // args[0] ? args[1] : args[2]
};

struct Expr {
  ExprKind kind = ExprKind::Integer;
  SourcePos pos;      // the whole expression when it fits on one line
  SourcePos opPos;    // Unary, Binary, Conditional: the operator; Qualified: the member
  TokenKind op = TokenKind::End;
  std::string name;
  std::string member;
  bool hasIndex = false;
  long long intValue = 0;
  double realValue = 0.0;
  bool boolValue = false;
  int height = 1;     // of the tree below and including this node
  std::vector<Expr> args;
};

enum class StmtKind { Block, If, Declare, Assign, Empty };

struct LValue {
  std::string name;
  SourcePos pos;
  bool hasIndex = false;
  std::vector<Expr> index;  // one expression when hasIndex
};

// `x++` and `--x` arrive as Assign with op Add or Sub of the integer 1.
struct Stmt {
  StmtKind kind = StmtKind::Empty;
  SourcePos pos;
  std::vector<Stmt> body;      // Block; If: the then statement
  std::vector<Stmt> elseBody;  // If: zero or one statement
  Expr condition;              // If
  DeclType declType = DeclType::Int;  // Declare
  std::string name;            // Declare
  SourcePos namePos;           // Declare
  LValue target;               // Assign
  AssignOp assignOp = AssignOp::Set;
  SourcePos opPos;             // Assign: the operator
  Expr value;                  // Assign, Declare
};

struct Import {
  std::string path;
  SourcePos pos;  // the string
};

struct GlobalDecl {
  DeclType type = DeclType::Int;
  std::string name;
  SourcePos pos;
  bool hasValue = false;
  Expr value;
};

// One `NAME = values;` of an experiment: a list, or a range from/to/step.
struct Setting {
  std::string name;
  SourcePos pos;
  bool isRange = false;
  std::vector<Expr> values;  // the list, or from, to, step
};

struct ExperimentDecl {
  std::string name;
  SourcePos pos;
  std::vector<Setting> settings;
};

struct PlaceDecl {
  std::string name;
  SourcePos pos;
  bool isArray = false;
  Expr length;
  bool hasInit = false;
  bool initIsList = false;   // written in braces
  SourcePos initPos;
  std::vector<Expr> init;
};

struct NameRef {
  std::string name;
  SourcePos pos;
};

enum class ClauseKind {
  Timed, Instantaneous, Enabled, Fire, Case, Rank, Reactivation, Reactivate, Policy,
  Reads, Affects
};

struct Clause {
  ClauseKind kind = ClauseKind::Enabled;
  SourcePos pos;             // the keyword
  std::string distribution;  // Timed
  SourcePos distributionPos;
  std::vector<Expr> exprs;   // Timed: parameters; Enabled, Rank, Reactivation,
                             // Reactivate: one; Case: the weight when hasWeight
  bool hasWeight = false;
  std::vector<Stmt> block;   // Fire, Case
  long long policy = 1;      // Policy
  std::vector<NameRef> names;  // Reads, Affects
};

struct ActivityDecl {
  std::string name;
  SourcePos pos;
  std::vector<Clause> clauses;  // in the order written
};

struct SanDecl {
  std::string name;
  SourcePos pos;
  std::vector<PlaceDecl> places;
  std::vector<ActivityDecl> activities;
};

struct SubmodelDecl {
  std::string name;
  SourcePos pos;
  std::string type;
  SourcePos typePos;
};

struct MemberRef {
  NameRef submodel;
  NameRef place;
};

struct ShareDecl {
  std::string name;
  SourcePos pos;
  std::vector<MemberRef> members;
};

struct JoinDecl {
  std::string name;
  SourcePos pos;
  std::vector<SubmodelDecl> submodels;
  std::vector<ShareDecl> shares;
};

enum class RewardClauseKind { Instant, Interval, Steady, Rate, Impulse };

struct RewardClause {
  RewardClauseKind kind = RewardClauseKind::Rate;
  SourcePos pos;           // the keyword
  std::vector<Expr> exprs; // Instant: the times; Interval, Steady: start, stop pairs;
                           // Rate, Impulse: the value
  bool averaged = false;
  bool qualified = false;  // Impulse: SUB.ACT rather than ACT
  NameRef submodel;        // Impulse, when qualified
  NameRef activity;        // Impulse
  bool hasCase = false;
  long long caseNumber = 0;
  SourcePos casePos;
};

struct RewardDecl {
  std::string name;
  SourcePos pos;
  std::vector<RewardClause> clauses;
};

using Declaration =
    std::variant<Import, GlobalDecl, ExperimentDecl, SanDecl, JoinDecl, RewardDecl>;

// One file as written, declarations in order.
struct File {
  std::vector<Declaration> declarations;
  SourcePos endPos;  // the end of the file
};

// The whole model after imports are read: each kind in declaration order
// (an import's declarations at the point of the import).
struct Program {
  std::vector<GlobalDecl> globals;
  std::vector<ExperimentDecl> experiments;
  std::vector<SanDecl> sans;
  std::vector<JoinDecl> joins;
  std::vector<RewardDecl> rewards;
  bool topIsJoin = false;
  int top = -1;  // into sans or joins: the last one the main file declares
};

}  // namespace syntax
}  // namespace sanmodel

#endif
