// CheckedModel is what the checker makes of a model file: plain data in
// which every name is resolved to an index, every expression is typed and
// every arc list is final. The interpreter and the C++ generator read it;
// neither looks at the source text again, except to quote it in run-time
// errors through the positions kept here.
//
// Invariants (the checker guarantees them; readers may assert them):
// - every index is in range of the vector it indexes;
// - expression types are consistent (see Expr);
// - the model tree is acyclic and Top names an existing san or join;
// - every experiment gives every global a value.
//
// Ownership: plain values throughout; a CheckedModel can be copied and
// moved, and owns everything it holds.
#ifndef MODEL_CHECKEDMODEL_H
#define MODEL_CHECKEDMODEL_H

#include <string>
#include <vector>

namespace sanmodel {

// A position in a source file: Files[file] of the CheckedModel, 1-based line
// and column, and the length of the construct (at least 1) for carets.
struct SourcePos {
  int file = 0;
  int line = 0;
  int column = 0;
  int length = 1;
};

// The seven declared types of globals and locals.
enum class DeclType { Bool, Char, Short, Int, Long, Float, Double };

// The three types of a value in an expression.
enum class ValueType { Bool, Int, Double };

enum class Op {
  // Leaves.
  BoolConst,    // boolValue
  IntConst,     // intValue
  DoubleConst,  // doubleValue
  Global,       // index: into CheckedModel::Globals
  Place,        // index: place of the enclosing san (a scalar place)
  ArrayElement, // index: array place of the enclosing san; args[0]: element index (Int)
  Local,        // index: local slot of the enclosing effect (see Effect)
  // A place of a submodel instance, in reward expressions only.
  InstancePlace,        // instance: into Instances; index: place of that san
  InstanceArrayElement, // instance, index as above; args[0]: element index
  // Unary: args[0].
  Negate, Not,
  // Binary: args[0], args[1].
  Add, Sub, Mul, Div, Mod,
  Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual,
  And, Or,  // short-circuit
  // Ternary: args[0] ? args[1] : args[2].
  Conditional,
  // A conversion inserted by the checker: args[0] to the node's type
  // (Int to Double, Bool to Int, Bool to Double, Int/Double to Bool as != 0).
  Convert,
  // Functions: args as written.
  Min, Max, Abs, Floor, Ceil, Round, Sqrt, Exp, Log, Pow
};

// A typed expression. Operands of arithmetic and comparisons have been
// converted to one common type (Int or Double) by Convert nodes, so readers
// never mix types: Add with type Int has two Int operands, Less compares two
// operands of the same type (Int or Double) and has type Bool, And/Or/Not
// take Bool operands, Conditional's condition is Bool and both branches
// have the node's type. Min/Max/Abs take operands of the node's type;
// Floor/Ceil/Round take a Double and give an Int; Sqrt/Exp/Log/Pow take
// and give Double.
struct Expr {
  Op op = Op::IntConst;
  ValueType type = ValueType::Int;
  SourcePos pos;
  bool boolValue = false;
  long long intValue = 0;
  double doubleValue = 0.0;
  int index = -1;
  int instance = -1;
  std::vector<Expr> args;
};

enum class StmtKind {
  Block,    // body
  If,       // condition, body (then, as one statement), elseBody (0 or 1 statement)
  Assign,   // target, op, value
  Declare,  // local slot `index` of type declType gets value
  Empty
};

enum class AssignOp { Set, Add, Sub, Mul, Div, Mod };

// Where an assignment stores: a scalar place, an array element, a local.
struct Target {
  enum class Kind { Place, ArrayElement, Local } kind = Kind::Place;
  int index = -1;       // place, array place or local slot
  std::vector<Expr> element;  // one Int expression for ArrayElement
  ValueType type = ValueType::Int;  // of the place or local
  DeclType declType = DeclType::Short;  // short for places; the local's type
  SourcePos pos;
};

// Increments and decrements arrive as Add/Sub assignments of the constant 1.
// The value has been converted to the target's value type (a Double stored
// into an Int target is refused by the checker).
struct Stmt {
  StmtKind kind = StmtKind::Empty;
  SourcePos pos;
  Expr condition;                 // If
  std::vector<Stmt> body;         // Block; If: exactly one (then)
  std::vector<Stmt> elseBody;     // If: zero or one
  Target target;                  // Assign
  AssignOp assignOp = AssignOp::Set;
  int index = -1;                 // Declare: local slot
  DeclType declType = DeclType::Int;  // Declare
  Expr value;                     // Assign, Declare
};

// A sequence of statements with its local slots (numbered from 0 over the
// whole effect, every declaration its own slot).
struct Effect {
  std::vector<Stmt> statements;
  std::vector<DeclType> locals;
};

struct Global {
  std::string name;
  DeclType type = DeclType::Int;
  SourcePos pos;
};

// One experiment after sweeps are expanded: a value for every global, in
// Globals order, already converted to the global's type (bools as 0/1 in
// intValues; char, short, int, long in intValues; float (rounded to float)
// and double in doubleValues).
struct Experiment {
  std::string name;  // e.g. "base", or "load[lambda=0.5,K=5]" for a sweep member
  SourcePos pos;
  std::vector<long long> intValues;
  std::vector<double> doubleValues;
};

struct PlaceDecl {
  std::string name;
  SourcePos pos;
  bool isArray = false;
  Expr initial;               // scalar place: Int expression of globals and constants
  Expr length;                // array place: Int expression of globals and constants
  std::vector<Expr> elements; // array place: initial values, Int, possibly fewer than length
};

// The framework's delay distributions (the numbering of the action codes).
enum class DistKind {
  Exponential = 1, Deterministic = 2, Geometric = 3, Weibull = 4, Normal = 6, Lognormal = 7,
  Erlang = 8, Triangular = 9, Gamma = 10, Beta = 11, Uniform = 12, Binomial = 13,
  NegativeBinomial = 14, HyperExponential = 15, HypoExponential = 16, Pareto = 17,
  Instantaneous = 18
};

struct Case {
  SourcePos pos;
  bool hasWeight = false;
  Expr weight;              // Double; 1.0 when not written
  Effect effect;            // runs after the activity's fire effect
  std::vector<int> affects; // final output arcs of this case (places of the san)
};

struct ActivityDecl {
  std::string name;
  SourcePos pos;
  DistKind distribution = DistKind::Instantaneous;
  SourcePos distributionPos;
  std::vector<Expr> parameters;  // Double each, as many as the distribution takes
  bool hasEnabled = false;
  Expr enabled;                  // Bool; true when not written
  Effect fire;                   // shared by the cases; locals of fire and each case
                                 // share one numbering: a case's slots follow fire's
                                 // (so a case's Effect::locals starts with fire's
                                 // locals, and its size is the frame both need)
  bool hasCases = false;
  // Without written cases, one implicit case (weight 1, empty effect) whose
  // affects are the activity's output arcs.
  std::vector<Case> cases;
  Expr rank;                     // Int; 1 when not written
  bool hasReactivation = false;
  Expr reactivation;             // Bool
  bool hasReactivate = false;
  Expr reactivate;               // Bool
  int policy = 1;
  std::vector<int> reads;        // final enabling arcs (places of the san)
};

struct San {
  std::string name;
  SourcePos pos;
  std::vector<PlaceDecl> places;
  std::vector<ActivityDecl> activities;
};

// A child of a join: an instance of a san or of a join.
struct Submodel {
  std::string name;      // the instance's name in the model tree
  SourcePos pos;
  bool isJoin = false;
  int model = -1;        // into Sans or Joins
};

// One member of a shared place: a scalar place of a san child, or a shared
// place of a join child.
struct ShareMember {
  int child = -1;        // into the join's submodels
  int place = -1;        // place of the san, or shared place of the join
  SourcePos pos;
};

struct SharedPlace {
  std::string name;
  SourcePos pos;
  std::vector<ShareMember> members;  // in the order written
};

struct JoinDecl {
  std::string name;
  SourcePos pos;
  std::vector<Submodel> children;
  std::vector<SharedPlace> shared;
};

// A san instance of the model tree, in depth-first child order. Reward
// expressions and impulses name instances by index.
struct Instance {
  std::string name;      // unique in the tree
  int san = -1;
};

enum class RewardKind { Instant, Interval, Steady };

struct Impulse {
  SourcePos pos;
  int instance = -1;
  int activity = -1;     // of the instance's san
  int caseIndex = -1;    // 0-based; -1 for every case (or an activity without cases)
  Expr value;            // Double; may read InstancePlace of any instance
};

struct Reward {
  std::string name;
  SourcePos pos;
  RewardKind kind = RewardKind::Interval;
  bool averaged = false;
  std::vector<Expr> starts;  // Double expressions of globals; instant: start == stop
  std::vector<Expr> stops;
  bool hasRate = false;
  Expr rate;                 // Double; reads InstancePlace only
  std::vector<Impulse> impulses;
};

struct CheckedModel {
  std::vector<std::string> Files;   // paths as given (the main file first)
  std::vector<std::string> Sources; // the text of each file, for quoting lines
  std::vector<Global> Globals;
  std::vector<Experiment> Experiments;  // at least one
  std::vector<San> Sans;
  std::vector<JoinDecl> Joins;
  bool TopIsJoin = false;
  int Top = -1;
  std::vector<Instance> Instances;
  std::vector<Reward> Rewards;
};

}  // namespace sanmodel

#endif
