#include "model/Checker.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>
#include <tuple>
#include <string>
#include <unordered_map>
#include <utility>

#include "model/ConstantEvaluator.h"

namespace sanmodel {
namespace {

using SExpr = syntax::Expr;
using SStmt = syntax::Stmt;

// ---- Typed expression helpers ----

Expr MakeInt(long long value, const SourcePos& pos) {
  Expr e;
  e.op = Op::IntConst;
  e.type = ValueType::Int;
  e.intValue = value;
  e.pos = pos;
  return e;
}

Expr MakeDouble(double value, const SourcePos& pos) {
  Expr e;
  e.op = Op::DoubleConst;
  e.type = ValueType::Double;
  e.doubleValue = value;
  e.pos = pos;
  return e;
}

Expr MakeBool(bool value, const SourcePos& pos) {
  Expr e;
  e.op = Op::BoolConst;
  e.type = ValueType::Bool;
  e.boolValue = value;
  e.pos = pos;
  return e;
}

Expr Node(Op op, ValueType type, const SourcePos& pos, std::vector<Expr> args) {
  Expr e;
  e.op = op;
  e.type = type;
  e.pos = pos;
  e.args = std::move(args);
  return e;
}

Expr ConvertTo(Expr e, ValueType to) {
  if (e.type == to) return e;
  const SourcePos pos = e.pos;
  std::vector<Expr> args;
  args.push_back(std::move(e));
  return Node(Op::Convert, to, pos, std::move(args));
}

Expr ToNumber(Expr e) { return e.type == ValueType::Bool ? ConvertTo(std::move(e), ValueType::Int) : e; }

// Brings two numbers to one type: Int, or Double when either is.
void Unify(Expr* a, Expr* b) {
  *a = ToNumber(std::move(*a));
  *b = ToNumber(std::move(*b));
  if (a->type == ValueType::Double || b->type == ValueType::Double) {
    *a = ConvertTo(std::move(*a), ValueType::Double);
    *b = ConvertTo(std::move(*b), ValueType::Double);
  }
}

// ---- Tables ----

struct DistributionInfo {
  const char* name;
  DistKind kind;
  int count;        // parameters; 0: one or more; -2: pairs, at least one
  const char* parameters;
};

const DistributionInfo kDistributions[] = {
    {"exponential", DistKind::Exponential, 1, "rate"},
    {"deterministic", DistKind::Deterministic, 1, "value"},
    {"uniform", DistKind::Uniform, 2, "lower, upper"},
    {"erlang", DistKind::Erlang, 2, "stages, mean"},
    {"hypoexponential", DistKind::HypoExponential, 0, "rate1, rate2, ..."},
    {"hyperexponential", DistKind::HyperExponential, -2, "rate1, weight1, rate2, weight2, ..."},
    {"weibull", DistKind::Weibull, 2, "shape, scale"},
    {"normal", DistKind::Normal, 2, "mean, variance"},
    {"lognormal", DistKind::Lognormal, 2, "mu, variance"},
    {"gamma", DistKind::Gamma, 2, "shape, scale"},
    {"beta", DistKind::Beta, 2, "a, b"},
    {"triangular", DistKind::Triangular, 3, "lower, upper, mode"},
    {"pareto", DistKind::Pareto, 2, "scale, shape"},
    {"geometric", DistKind::Geometric, 1, "p"},
    {"binomial", DistKind::Binomial, 2, "trials, p"},
    {"negativebinomial", DistKind::NegativeBinomial, 2, "count, p"},
};

struct FunctionInfo {
  const char* name;
  Op op;
  int arguments;
};

const FunctionInfo kFunctions[] = {
    {"min", Op::Min, 2}, {"max", Op::Max, 2}, {"abs", Op::Abs, 1}, {"floor", Op::Floor, 1},
    {"ceil", Op::Ceil, 1}, {"round", Op::Round, 1}, {"sqrt", Op::Sqrt, 1}, {"exp", Op::Exp, 1},
    {"log", Op::Log, 1}, {"pow", Op::Pow, 2},
};

std::string Plural(long long count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

template <typename Map>
std::vector<std::string> KeysOf(const Map& map) {
  std::vector<std::string> keys;
  for (const auto& entry : map) keys.push_back(entry.first);
  std::sort(keys.begin(), keys.end());
  return keys;
}

// "unknown place 'X' in san 'S'; did you mean 'Y'?"
std::string Unknown(const std::string& what, const std::string& name,
                    const std::vector<std::string>& candidates, const std::string& context = "") {
  std::string message = "unknown " + what + " '" + name + "'" + context;
  const std::string suggestion = SuggestName(name, candidates);
  if (!suggestion.empty()) message += "; did you mean '" + suggestion + "'?";
  return message;
}

// ---- Scopes ----

struct Locals {
  std::vector<std::vector<std::pair<std::string, int>>> blocks;
  std::vector<DeclType> types;
};

enum class ScopeKind { Constant, San, Reward };

struct Scope {
  ScopeKind kind = ScopeKind::Constant;
  int visibleGlobals = INT_MAX;  // Constant: only globals before this one
  std::string owner;             // Constant: what the value belongs to, for messages
  int san = -1;                  // San
  Locals* locals = nullptr;      // San, in effects
};

class Checker {
 public:
  Checker(const syntax::Program& program, std::vector<Diagnostic>* diagnostics)
      : program_(program), diagnostics_(diagnostics) {}

  CheckedModel Run() {
    if (!CheckElementCount()) return std::move(model_);
    CheckGlobals();
    DeclareModels();
    for (std::size_t i = 0; i < program_.sans.size(); ++i) CheckSan(static_cast<int>(i));
    CheckJoins();
    BuildTree();
    CheckRewards();
    ExpandExperiments();
    CheckEveryExperiment();
    return std::move(model_);
  }

 private:
  void Error(const SourcePos& pos, std::string message) {
    diagnostics_->push_back({pos, std::move(message)});
  }

  std::size_t ErrorCount() const { return diagnostics_->size(); }

  // ---- Limits ----

  bool CheckElementCount() {
    long long count = 0;
    auto add = [&](long long n, const SourcePos& pos) {
      count += n;
      if (count <= kMaxElements) return true;
      Error(pos, "the model has more than " + std::to_string(kMaxElements) +
                     " places, activities, cases, rewards and submodels (the element limit)");
      return false;
    };
    for (const syntax::SanDecl& san : program_.sans) {
      for (const syntax::PlaceDecl& place : san.places) {
        if (!add(1, place.pos)) return false;
      }
      for (const syntax::ActivityDecl& activity : san.activities) {
        if (!add(1, activity.pos)) return false;
        for (const syntax::Clause& clause : activity.clauses) {
          if (clause.kind == syntax::ClauseKind::Case && !add(1, clause.pos)) return false;
        }
      }
    }
    for (const syntax::JoinDecl& join : program_.joins) {
      for (const syntax::SubmodelDecl& submodel : join.submodels) {
        if (!add(1, submodel.pos)) return false;
      }
    }
    for (const syntax::RewardDecl& reward : program_.rewards) {
      if (!add(1, reward.pos)) return false;
    }
    return true;
  }

  // ---- Globals ----

  void CheckGlobals() {
    for (std::size_t i = 0; i < program_.globals.size(); ++i) {
      const syntax::GlobalDecl& decl = program_.globals[i];
      if (!globalIndex_.emplace(decl.name, static_cast<int>(i)).second) {
        Error(decl.pos, "global '" + decl.name + "' is declared twice");
      }
    }
    // All names first: a default naming a later global gets a message that says so.
    for (std::size_t i = 0; i < program_.globals.size(); ++i) {
      const syntax::GlobalDecl& decl = program_.globals[i];
      Global global;
      global.name = decl.name;
      global.type = decl.type;
      global.pos = decl.pos;
      model_.Globals.push_back(global);
      Scope scope;
      scope.visibleGlobals = static_cast<int>(i);
      scope.owner = "global '" + decl.name + "'";
      defaults_.push_back(decl.hasValue ? CheckExpr(decl.value, scope) : Expr());
    }
  }

  // ---- Expressions ----

  Expr CheckExpr(const SExpr& e, const Scope& scope) {
    switch (e.kind) {
      case syntax::ExprKind::Integer: return MakeInt(e.intValue, e.pos);
      case syntax::ExprKind::Real: return MakeDouble(e.realValue, e.pos);
      case syntax::ExprKind::Boolean: return MakeBool(e.boolValue, e.pos);
      case syntax::ExprKind::Name: return CheckName(e, scope);
      case syntax::ExprKind::Qualified: return CheckQualified(e, scope);
      case syntax::ExprKind::Call: return CheckCall(e, scope);
      case syntax::ExprKind::Unary: return CheckUnary(e, scope);
      case syntax::ExprKind::Binary: return CheckBinary(e, scope);
      case syntax::ExprKind::Conditional: return CheckConditional(e, scope);
    }
    return MakeInt(0, e.pos);
  }

  Expr CheckUnary(const SExpr& e, const Scope& scope) {
    Expr operand = CheckExpr(e.args[0], scope);
    if (e.op == TokenKind::Not) {
      std::vector<Expr> args;
      args.push_back(ConvertTo(std::move(operand), ValueType::Bool));
      return Node(Op::Not, ValueType::Bool, e.pos, std::move(args));
    }
    operand = ToNumber(std::move(operand));
    if (e.op == TokenKind::Plus) return operand;
    const ValueType type = operand.type;
    std::vector<Expr> args;
    args.push_back(std::move(operand));
    return Node(Op::Negate, type, e.pos, std::move(args));
  }

  Expr CheckBinary(const SExpr& e, const Scope& scope) {
    Expr a = CheckExpr(e.args[0], scope);
    Expr b = CheckExpr(e.args[1], scope);
    Op op = Op::Add;
    bool comparison = false;
    switch (e.op) {
      case TokenKind::AndAnd:
      case TokenKind::OrOr: {
        std::vector<Expr> args;
        args.push_back(ConvertTo(std::move(a), ValueType::Bool));
        args.push_back(ConvertTo(std::move(b), ValueType::Bool));
        return Node(e.op == TokenKind::AndAnd ? Op::And : Op::Or, ValueType::Bool, e.pos,
                    std::move(args));
      }
      case TokenKind::Plus: op = Op::Add; break;
      case TokenKind::Minus: op = Op::Sub; break;
      case TokenKind::Star: op = Op::Mul; break;
      case TokenKind::Slash: op = Op::Div; break;
      case TokenKind::Percent: op = Op::Mod; break;
      case TokenKind::Less: op = Op::Less; comparison = true; break;
      case TokenKind::LessEqual: op = Op::LessEqual; comparison = true; break;
      case TokenKind::Greater: op = Op::Greater; comparison = true; break;
      case TokenKind::GreaterEqual: op = Op::GreaterEqual; comparison = true; break;
      case TokenKind::EqualEqual: op = Op::Equal; comparison = true; break;
      default: op = Op::NotEqual; comparison = true; break;
    }
    Unify(&a, &b);
    const ValueType operandType = a.type;
    if (op == Op::Mod && operandType == ValueType::Double) {
      Error(e.opPos, "'%' needs integer operands, not a double; convert with floor, ceil or round");
    }
    std::vector<Expr> args;
    args.push_back(std::move(a));
    args.push_back(std::move(b));
    return Node(op, comparison ? ValueType::Bool : operandType, e.pos, std::move(args));
  }

  Expr CheckConditional(const SExpr& e, const Scope& scope) {
    Expr condition = ConvertTo(CheckExpr(e.args[0], scope), ValueType::Bool);
    Expr a = CheckExpr(e.args[1], scope);
    Expr b = CheckExpr(e.args[2], scope);
    if (a.type != ValueType::Bool || b.type != ValueType::Bool) Unify(&a, &b);
    const ValueType type = a.type;
    std::vector<Expr> args;
    args.push_back(std::move(condition));
    args.push_back(std::move(a));
    args.push_back(std::move(b));
    return Node(Op::Conditional, type, e.pos, std::move(args));
  }

  Expr CheckCall(const SExpr& e, const Scope& scope) {
    const FunctionInfo* function = nullptr;
    std::vector<std::string> names;
    for (const FunctionInfo& info : kFunctions) {
      names.push_back(info.name);
      if (e.name == info.name) function = &info;
    }
    if (function == nullptr) {
      Error(e.pos, Unknown("function", e.name, names));
      return MakeInt(0, e.pos);
    }
    if (static_cast<int>(e.args.size()) != function->arguments) {
      Error(e.pos, "function '" + e.name + "' takes " + Plural(function->arguments, "argument") +
                       ", not " + std::to_string(e.args.size()));
      return MakeInt(0, e.pos);
    }
    std::vector<Expr> args;
    for (const SExpr& arg : e.args) args.push_back(CheckExpr(arg, scope));
    ValueType type = ValueType::Double;
    switch (function->op) {
      case Op::Min:
      case Op::Max:
        Unify(&args[0], &args[1]);
        type = args[0].type;
        break;
      case Op::Abs:
        args[0] = ToNumber(std::move(args[0]));
        type = args[0].type;
        break;
      case Op::Floor:
      case Op::Ceil:
      case Op::Round:
        args[0] = ConvertTo(std::move(args[0]), ValueType::Double);
        type = ValueType::Int;
        break;
      default:
        for (Expr& arg : args) arg = ConvertTo(std::move(arg), ValueType::Double);
        break;
    }
    return Node(function->op, type, e.pos, std::move(args));
  }

  Expr CheckName(const SExpr& e, const Scope& scope) {
    if (scope.kind == ScopeKind::San && scope.locals != nullptr) {
      const int slot = FindLocal(*scope.locals, e.name);
      if (slot >= 0) {
        if (e.hasIndex) Error(e.pos, "local variable '" + e.name + "' is not an array; it cannot be indexed");
        Expr local;
        local.op = Op::Local;
        local.index = slot;
        local.type = ValueTypeOf(scope.locals->types[slot]);
        local.pos = e.pos;
        return local;
      }
    }
    if (scope.kind == ScopeKind::San) {
      const auto place = placeIndex_[scope.san].find(e.name);
      if (place != placeIndex_[scope.san].end()) return PlaceRef(e, scope, scope.san, place->second, -1);
    }
    if (scope.kind == ScopeKind::Reward) {
      int instance = -1, place = -1;
      if (FindRewardPlace(e.name, &instance, &place)) {
        return PlaceRef(e, scope, model_.Instances[instance].san, place, instance);
      }
    }
    const auto global = globalIndex_.find(e.name);
    if (global != globalIndex_.end()) return GlobalRef(e, scope, global->second);
    ReportUnknownName(e, scope);
    return MakeInt(0, e.pos);
  }

  Expr GlobalRef(const SExpr& e, const Scope& scope, int index) {
    if (index >= scope.visibleGlobals) {
      Error(e.pos, "global '" + e.name + "' is declared after " + scope.owner +
                       "; only earlier globals can be used here");
      return MakeInt(0, e.pos);
    }
    if (e.hasIndex) Error(e.pos, "global '" + e.name + "' is not an array; it cannot be indexed");
    Expr global;
    global.op = Op::Global;
    global.index = index;
    global.type = ValueTypeOf(model_.Globals[index].type);
    global.pos = e.pos;
    return global;
  }

  // A place of `san` (of Instances[instance] in rewards).
  Expr PlaceRef(const SExpr& e, const Scope& scope, int san, int place, int instance) {
    const PlaceDecl& decl = model_.Sans[san].places[place];
    const std::string shown = e.kind == syntax::ExprKind::Qualified ? e.name + "." + e.member : e.name;
    Expr ref;
    ref.type = ValueType::Int;
    ref.pos = e.pos;
    ref.index = place;
    ref.instance = instance;
    if (!decl.isArray) {
      if (e.hasIndex) Error(e.pos, "place '" + shown + "' is not an array; it cannot be indexed");
      ref.op = instance < 0 ? Op::Place : Op::InstancePlace;
      return ref;
    }
    ref.op = instance < 0 ? Op::ArrayElement : Op::InstanceArrayElement;
    if (!e.hasIndex) {
      Error(e.pos, "array place '" + shown + "' needs an index, as in '" + shown + "[0]'");
      ref.args.push_back(MakeInt(0, e.pos));
      return ref;
    }
    Expr index = ToNumber(CheckExpr(e.args[0], scope));
    if (index.type == ValueType::Double) {
      Error(index.pos, "the index of array place '" + shown + "' must be an integer, not a double");
    } else if (IsConstantExpr(index)) {
      indexChecks_.push_back({index, san, place, index.pos, shown});
    }
    ref.args.push_back(std::move(index));
    return ref;
  }

  void ReportUnknownName(const SExpr& e, const Scope& scope) {
    std::vector<std::string> places, globals;
    for (const auto& global : globalIndex_) {
      if (global.second < scope.visibleGlobals) globals.push_back(global.first);
    }
    std::sort(globals.begin(), globals.end());
    if (scope.kind == ScopeKind::Constant) {
      Error(e.pos, Unknown("global", e.name, globals));
      return;
    }
    // With a broken model tree the reward's places cannot be known: the
    // tree's own error is the one to fix.
    if (scope.kind == ScopeKind::Reward && !treeOk_) return;
    if (scope.kind == ScopeKind::San) {
      places = KeysOf(placeIndex_[scope.san]);
      if (scope.locals != nullptr) {
        for (const auto& block : scope.locals->blocks) {
          for (const auto& local : block) places.push_back(local.first);
        }
      }
    } else if (scope.kind == ScopeKind::Reward) {
      if (model_.TopIsJoin) {
        const std::string example = ExampleSubmodelWithPlace(e.name);
        if (!example.empty()) {
          Error(e.pos, "place '" + e.name + "' is not shared by join '" + model_.Joins[model_.Top].name +
                           "'; name its submodel, e.g. '" + example + "." + e.name + "'");
          return;
        }
        places = KeysOf(sharedIndex_[model_.Top]);
      } else {
        places = KeysOf(placeIndex_[model_.Top]);
      }
    }
    const std::string placeSuggestion = SuggestName(e.name, places);
    const std::string globalSuggestion = SuggestName(e.name, globals);
    if (placeSuggestion.empty() && !globalSuggestion.empty()) {
      Error(e.pos, Unknown("global", e.name, globals));
    } else {
      Error(e.pos, Unknown("place", e.name, places));
    }
  }

  Expr CheckQualified(const SExpr& e, const Scope& scope) {
    const std::string shown = e.name + "." + e.member;
    if (scope.kind == ScopeKind::Constant) {
      Error(e.pos, "'" + shown + "' is not a constant; only literals and globals can be used here");
      return MakeInt(0, e.pos);
    }
    if (scope.kind == ScopeKind::San) {
      const San& san = model_.Sans[scope.san];
      const auto place = placeIndex_[scope.san].find(e.member);
      if (e.name == san.name && place != placeIndex_[scope.san].end()) {
        return PlaceRef(e, scope, scope.san, place->second, -1);
      }
      Error(e.pos, "a san's gates can only use its own places; declare '" + e.member + "' in san '" +
                       san.name + "' and share it in a join");
      return MakeInt(0, e.pos);
    }
    if (!treeOk_) return MakeInt(0, e.pos);
    int instance = -1, place = -1;
    if (!FindQualifiedPlace(e.name, e.member, e.pos, e.opPos, &instance, &place)) return MakeInt(0, e.pos);
    return PlaceRef(e, scope, model_.Instances[instance].san, place, instance);
  }

  static int FindLocal(const Locals& locals, const std::string& name) {
    for (auto block = locals.blocks.rbegin(); block != locals.blocks.rend(); ++block) {
      for (const auto& local : *block) {
        if (local.first == name) return local.second;
      }
    }
    return -1;
  }

  // ---- Sans ----

  void DeclareModels() {
    for (std::size_t i = 0; i < program_.sans.size(); ++i) {
      const syntax::SanDecl& san = program_.sans[i];
      if (!modelIndex_.emplace(san.name, std::make_pair(false, static_cast<int>(i))).second) {
        Error(san.pos, "'" + san.name + "' is declared twice (sans and joins share one namespace)");
      }
      placeIndex_.emplace_back();
      activityIndex_.emplace_back();
      San checked;
      checked.name = san.name;
      checked.pos = san.pos;
      model_.Sans.push_back(checked);
    }
    for (std::size_t i = 0; i < program_.joins.size(); ++i) {
      const syntax::JoinDecl& join = program_.joins[i];
      if (!modelIndex_.emplace(join.name, std::make_pair(true, static_cast<int>(i))).second) {
        Error(join.pos, "'" + join.name + "' is declared twice (sans and joins share one namespace)");
      }
      JoinDecl checked;
      checked.name = join.name;
      checked.pos = join.pos;
      model_.Joins.push_back(checked);
      sharedIndex_.emplace_back();
      childIndex_.emplace_back();
    }
  }

  void CheckSan(int index) {
    const syntax::SanDecl& decl = program_.sans[index];
    for (const syntax::PlaceDecl& place : decl.places) {
      if (!placeIndex_[index].emplace(place.name, static_cast<int>(model_.Sans[index].places.size())).second) {
        Error(place.pos, "place '" + place.name + "' is declared twice in san '" + decl.name + "'");
      }
      model_.Sans[index].places.push_back(CheckPlace(place));
    }
    for (const syntax::ActivityDecl& activity : decl.activities) {
      if (!activityIndex_[index]
               .emplace(activity.name, static_cast<int>(model_.Sans[index].activities.size()))
               .second) {
        Error(activity.pos, "activity '" + activity.name + "' is declared twice in san '" + decl.name + "'");
      }
      model_.Sans[index].activities.push_back(CheckActivity(index, activity));
    }
  }

  // An integer constant expression (initial markings, lengths).
  Expr CheckIntegerConstant(const SExpr& e, const std::string& what) {
    Scope scope;
    scope.owner = what;
    Expr checked = ToNumber(CheckExpr(e, scope));
    if (checked.type == ValueType::Double) {
      Error(e.pos, what + " must be an integer, not a double; convert with floor, ceil or round");
    }
    return checked;
  }

  PlaceDecl CheckPlace(const syntax::PlaceDecl& decl) {
    PlaceDecl place;
    place.name = decl.name;
    place.pos = decl.pos;
    place.isArray = decl.isArray;
    place.initial = MakeInt(0, decl.pos);
    if (decl.isArray) {
      place.length = CheckIntegerConstant(decl.length, "the length of array place '" + decl.name + "'");
      if (decl.hasInit && !decl.initIsList) {
        Error(decl.initPos, "array place '" + decl.name +
                                "' takes its initial values in braces, as in '= {1, 2}'");
      }
      for (const SExpr& value : decl.init) {
        place.elements.push_back(
            CheckIntegerConstant(value, "the initial marking of place '" + decl.name + "'"));
      }
      return place;
    }
    if (decl.initIsList) {
      Error(decl.initPos, "place '" + decl.name + "' is not an array; its initial marking is one value");
    } else if (decl.hasInit) {
      place.initial = CheckIntegerConstant(decl.init[0], "the initial marking of place '" + decl.name + "'");
    }
    return place;
  }

  // ---- Activities ----

  static const char* ClauseName(syntax::ClauseKind kind) {
    switch (kind) {
      case syntax::ClauseKind::Timed: return "timed";
      case syntax::ClauseKind::Instantaneous: return "instantaneous";
      case syntax::ClauseKind::Enabled: return "enabled";
      case syntax::ClauseKind::Fire: return "fire";
      case syntax::ClauseKind::Case: return "case";
      case syntax::ClauseKind::Rank: return "rank";
      case syntax::ClauseKind::Reactivation: return "reactivation";
      case syntax::ClauseKind::Reactivate: return "reactivate";
      case syntax::ClauseKind::Policy: return "policy";
      case syntax::ClauseKind::Reads: return "reads";
      default: return "affects";
    }
  }

  // The clauses of each kind but Case, at most one each (a second is
  // reported); timed and instantaneous count as one kind.
  std::unordered_map<int, const syntax::Clause*> SingleClauses(const syntax::ActivityDecl& decl) {
    std::unordered_map<int, const syntax::Clause*> found;
    for (const syntax::Clause& clause : decl.clauses) {
      if (clause.kind == syntax::ClauseKind::Case) continue;
      const syntax::ClauseKind key =
          clause.kind == syntax::ClauseKind::Instantaneous ? syntax::ClauseKind::Timed : clause.kind;
      if (!found.emplace(static_cast<int>(key), &clause).second) {
        const bool timing = key == syntax::ClauseKind::Timed;
        Error(clause.pos, "activity '" + decl.name + "' has a second " +
                              (timing ? std::string("timing clause ('timed' or 'instantaneous')")
                                      : "'" + std::string(ClauseName(clause.kind)) + "' clause"));
      }
    }
    return found;
  }

  ActivityDecl CheckActivity(int san, const syntax::ActivityDecl& decl) {
    ActivityDecl activity;
    activity.name = decl.name;
    activity.pos = decl.pos;
    activity.distributionPos = decl.pos;
    activity.enabled = MakeBool(true, decl.pos);
    activity.rank = MakeInt(1, decl.pos);
    const auto single = SingleClauses(decl);
    auto clause = [&](syntax::ClauseKind kind) -> const syntax::Clause* {
      const auto it = single.find(static_cast<int>(kind));
      return it == single.end() ? nullptr : it->second;
    };
    Scope scope;
    scope.kind = ScopeKind::San;
    scope.san = san;
    if (const syntax::Clause* timing = clause(syntax::ClauseKind::Timed)) {
      if (timing->kind == syntax::ClauseKind::Timed) CheckTiming(*timing, scope, &activity);
    }
    if (const syntax::Clause* enabled = clause(syntax::ClauseKind::Enabled)) {
      activity.hasEnabled = true;
      activity.enabled = ConvertTo(CheckExpr(enabled->exprs[0], scope), ValueType::Bool);
    }
    Locals fireLocals;
    if (const syntax::Clause* fire = clause(syntax::ClauseKind::Fire)) {
      activity.fire = CheckEffect(fire->block, san, &fireLocals);
    }
    for (const syntax::Clause& written : decl.clauses) {
      if (written.kind == syntax::ClauseKind::Case) activity.cases.push_back(CheckCase(written, san, fireLocals));
    }
    activity.hasCases = !activity.cases.empty();
    if (const syntax::Clause* rank = clause(syntax::ClauseKind::Rank)) {
      activity.rank = ToNumber(CheckExpr(rank->exprs[0], scope));
      if (activity.rank.type == ValueType::Double) {
        Error(rank->exprs[0].pos, "the rank of activity '" + decl.name + "' must be an integer, not a double");
      }
    }
    if (const syntax::Clause* reactivation = clause(syntax::ClauseKind::Reactivation)) {
      activity.hasReactivation = true;
      activity.reactivation = ConvertTo(CheckExpr(reactivation->exprs[0], scope), ValueType::Bool);
    }
    if (const syntax::Clause* reactivate = clause(syntax::ClauseKind::Reactivate)) {
      activity.hasReactivate = true;
      activity.reactivate = ConvertTo(CheckExpr(reactivate->exprs[0], scope), ValueType::Bool);
    }
    if (const syntax::Clause* policy = clause(syntax::ClauseKind::Policy)) {
      if (policy->policy > INT_MAX) Error(policy->pos, "policy " + std::to_string(policy->policy) + " is out of range");
      activity.policy = static_cast<int>(std::min<long long>(policy->policy, INT_MAX));
    }
    DeriveArcs(san, clause(syntax::ClauseKind::Reads), clause(syntax::ClauseKind::Affects), &activity);
    return activity;
  }

  void CheckTiming(const syntax::Clause& timing, const Scope& scope, ActivityDecl* activity) {
    activity->distributionPos = timing.distributionPos;
    const DistributionInfo* info = nullptr;
    std::vector<std::string> names;
    for (const DistributionInfo& candidate : kDistributions) {
      names.push_back(candidate.name);
      if (timing.distribution == candidate.name) info = &candidate;
    }
    if (info == nullptr) {
      Error(timing.distributionPos, Unknown("distribution", timing.distribution, names));
      return;
    }
    activity->distribution = info->kind;
    const int given = static_cast<int>(timing.exprs.size());
    const bool fits = info->count > 0 ? given == info->count
                                      : (given >= 1 && (info->count == 0 || given % 2 == 0));
    if (!fits) {
      const std::string wanted = info->count > 0 ? Plural(info->count, "parameter")
                                 : info->count == 0 ? std::string("one or more parameters")
                                                    : std::string("parameters in pairs");
      Error(timing.distributionPos, "distribution '" + timing.distribution + "' takes " + wanted +
                                        " (" + info->parameters + "), not " + std::to_string(given));
    }
    for (const SExpr& parameter : timing.exprs) {
      activity->parameters.push_back(ConvertTo(CheckExpr(parameter, scope), ValueType::Double));
    }
  }

  Case CheckCase(const syntax::Clause& written, int san, const Locals& fireLocals) {
    Case checked;
    checked.pos = written.pos;
    checked.weight = MakeDouble(1.0, written.pos);
    if (written.hasWeight) {
      Scope scope;
      scope.kind = ScopeKind::San;
      scope.san = san;
      checked.hasWeight = true;
      checked.weight = ConvertTo(CheckExpr(written.exprs[0], scope), ValueType::Double);
    }
    // A case's slots follow fire's: its locals start as a copy of fire's types.
    Locals locals;
    locals.types = fireLocals.types;
    checked.effect = CheckEffect(written.block, san, &locals);
    return checked;
  }

  // ---- Statements ----

  Effect CheckEffect(const std::vector<SStmt>& block, int san, Locals* locals) {
    Scope scope;
    scope.kind = ScopeKind::San;
    scope.san = san;
    scope.locals = locals;
    Effect effect;
    locals->blocks.emplace_back();
    for (const SStmt& statement : block) effect.statements.push_back(CheckStatement(statement, scope));
    locals->blocks.pop_back();
    effect.locals = locals->types;
    return effect;
  }

  Stmt CheckStatement(const SStmt& s, const Scope& scope) {
    Stmt out;
    out.pos = s.pos;
    switch (s.kind) {
      case syntax::StmtKind::Empty: out.kind = StmtKind::Empty; break;
      case syntax::StmtKind::Block:
        out.kind = StmtKind::Block;
        out.body = CheckScopedBlock(s.body, scope);
        break;
      case syntax::StmtKind::If:
        out.kind = StmtKind::If;
        out.condition = ConvertTo(CheckExpr(s.condition, scope), ValueType::Bool);
        out.body = CheckScopedBlock(s.body, scope);
        out.elseBody = CheckScopedBlock(s.elseBody, scope);
        break;
      case syntax::StmtKind::Declare: CheckDeclare(s, scope, &out); break;
      case syntax::StmtKind::Assign: CheckAssign(s, scope, &out); break;
    }
    return out;
  }

  std::vector<Stmt> CheckScopedBlock(const std::vector<SStmt>& body, const Scope& scope) {
    scope.locals->blocks.emplace_back();
    std::vector<Stmt> out;
    for (const SStmt& statement : body) out.push_back(CheckStatement(statement, scope));
    scope.locals->blocks.pop_back();
    return out;
  }

  void CheckDeclare(const SStmt& s, const Scope& scope, Stmt* out) {
    out->kind = StmtKind::Declare;
    out->declType = s.declType;
    const std::size_t errors = ErrorCount();
    Expr value = CheckExpr(s.value, scope);
    const std::string what = std::string(DeclTypeName(s.declType)) + " local '" + s.name + "'";
    out->value = StoreConversion(std::move(value), ValueTypeOf(s.declType), what, errors);
    auto& block = scope.locals->blocks.back();
    for (const auto& local : block) {
      if (local.first == s.name) Error(s.namePos, "local variable '" + s.name + "' is declared twice in this block");
    }
    out->index = static_cast<int>(scope.locals->types.size());
    scope.locals->types.push_back(s.declType);
    block.emplace_back(s.name, out->index);
  }

  // The value converted to a target of `type`; a double into an integer is
  // refused (unless the value already failed, to report one error).
  Expr StoreConversion(Expr value, ValueType type, const std::string& what, std::size_t errorsBefore) {
    if (type == ValueType::Int && value.type == ValueType::Double) {
      if (ErrorCount() == errorsBefore) {
        Error(value.pos, "cannot store a double in " + what + "; convert with floor, ceil or round");
      }
      return value;
    }
    return ConvertTo(std::move(value), type);
  }

  void CheckAssign(const SStmt& s, const Scope& scope, Stmt* out) {
    out->kind = StmtKind::Assign;
    out->assignOp = s.assignOp;
    std::string what;
    if (!ResolveTarget(s.target, scope, &out->target, &what)) {
      CheckExpr(s.value, scope);
      return;
    }
    const std::size_t errors = ErrorCount();
    Expr value = CheckExpr(s.value, scope);
    const ValueType type = out->target.type;
    if (s.assignOp != AssignOp::Set) {
      value = ToNumber(std::move(value));
      if (type == ValueType::Bool) {
        Error(s.opPos, "compound assignment needs a number, but " + what + " is a bool");
      } else if (s.assignOp == AssignOp::Mod && (type == ValueType::Double || value.type == ValueType::Double)) {
        Error(s.opPos, "'%=' needs integers, not a double; convert with floor, ceil or round");
      }
    }
    out->value = StoreConversion(std::move(value), type, what, errors);
  }

  bool ResolveTarget(const syntax::LValue& lvalue, const Scope& scope, Target* target, std::string* what) {
    target->pos = lvalue.pos;
    const int slot = FindLocal(*scope.locals, lvalue.name);
    if (slot >= 0) {
      const DeclType type = scope.locals->types[slot];
      if (lvalue.hasIndex) {
        Error(lvalue.pos, "local variable '" + lvalue.name + "' is not an array; it cannot be indexed");
        return false;
      }
      target->kind = Target::Kind::Local;
      target->index = slot;
      target->declType = type;
      target->type = ValueTypeOf(type);
      *what = std::string(DeclTypeName(type)) + " local '" + lvalue.name + "'";
      return true;
    }
    const auto place = placeIndex_[scope.san].find(lvalue.name);
    if (place != placeIndex_[scope.san].end()) {
      SExpr ref;
      ref.kind = syntax::ExprKind::Name;
      ref.name = lvalue.name;
      ref.pos = lvalue.pos;
      ref.hasIndex = lvalue.hasIndex;
      ref.args = lvalue.index;
      const std::size_t errors = ErrorCount();
      Expr checked = PlaceRef(ref, scope, scope.san, place->second, -1);
      if (ErrorCount() != errors) return false;
      target->kind = checked.op == Op::Place ? Target::Kind::Place : Target::Kind::ArrayElement;
      target->index = place->second;
      target->element = std::move(checked.args);
      *what = "place '" + lvalue.name + "'";
      return true;
    }
    if (globalIndex_.count(lvalue.name) != 0) {
      Error(lvalue.pos, "cannot assign to global '" + lvalue.name + "'; globals are constants in a model");
      return false;
    }
    SExpr ref;
    ref.kind = syntax::ExprKind::Name;
    ref.name = lvalue.name;
    ref.pos = lvalue.pos;
    ReportUnknownName(ref, scope);
    return false;
  }

  // ---- Arcs ----

  static void AddPlace(int place, std::vector<int>* places) {
    if (std::find(places->begin(), places->end(), place) == places->end()) places->push_back(place);
  }

  // Places in order of first mention: a node before its operands.
  static void CollectPlaces(const Expr& e, std::vector<int>* places) {
    if (e.op == Op::Place || e.op == Op::ArrayElement) AddPlace(e.index, places);
    for (const Expr& arg : e.args) CollectPlaces(arg, places);
  }

  static void CollectPlaces(const std::vector<Stmt>& statements, std::vector<int>* places) {
    for (const Stmt& s : statements) {
      switch (s.kind) {
        case StmtKind::Block: CollectPlaces(s.body, places); break;
        case StmtKind::If:
          CollectPlaces(s.condition, places);
          CollectPlaces(s.body, places);
          CollectPlaces(s.elseBody, places);
          break;
        case StmtKind::Assign:
          if (s.target.kind != Target::Kind::Local && s.target.index >= 0) AddPlace(s.target.index, places);
          for (const Expr& element : s.target.element) CollectPlaces(element, places);
          CollectPlaces(s.value, places);
          break;
        case StmtKind::Declare: CollectPlaces(s.value, places); break;
        case StmtKind::Empty: break;
      }
    }
  }

  std::vector<int> ExplicitArcs(int san, const syntax::Clause& clause, const std::string& activity) {
    std::vector<int> places;
    for (const syntax::NameRef& name : clause.names) {
      const auto place = placeIndex_[san].find(name.name);
      if (place == placeIndex_[san].end()) {
        Error(name.pos, Unknown("place", name.name, KeysOf(placeIndex_[san]),
                                " in san '" + model_.Sans[san].name + "'"));
      } else if (std::find(places.begin(), places.end(), place->second) != places.end()) {
        Error(name.pos, "place '" + name.name + "' is listed twice in '" + ClauseName(clause.kind) +
                            "' of activity '" + activity + "'");
      } else {
        places.push_back(place->second);
      }
    }
    return places;
  }

  void DeriveArcs(int san, const syntax::Clause* reads, const syntax::Clause* affects, ActivityDecl* activity) {
    if (reads != nullptr) {
      activity->reads = ExplicitArcs(san, *reads, activity->name);
    } else {
      if (activity->hasEnabled) CollectPlaces(activity->enabled, &activity->reads);
      if (activity->hasReactivation) CollectPlaces(activity->reactivation, &activity->reads);
      if (activity->hasReactivate) CollectPlaces(activity->reactivate, &activity->reads);
    }
    std::vector<int> output;
    if (affects != nullptr) {
      output = ExplicitArcs(san, *affects, activity->name);
    } else {
      CollectPlaces(activity->fire.statements, &output);
    }
    if (activity->cases.empty()) {
      Case implicit;
      implicit.pos = activity->pos;
      implicit.weight = MakeDouble(1.0, activity->pos);
      implicit.effect.locals = activity->fire.locals;
      activity->cases.push_back(std::move(implicit));
    }
    for (Case& c : activity->cases) {
      c.affects = output;
      CollectPlaces(c.effect.statements, &c.affects);
    }
  }

  // ---- Joins ----

  void CheckJoins() {
    for (std::size_t j = 0; j < program_.joins.size(); ++j) {
      const syntax::JoinDecl& decl = program_.joins[j];
      for (const syntax::ShareDecl& share : decl.shares) {
        if (!sharedIndex_[j].emplace(share.name, static_cast<int>(sharedIndex_[j].size())).second) {
          Error(share.pos, "shared place '" + share.name + "' is declared twice in join '" + decl.name + "'");
        }
      }
      for (const syntax::SubmodelDecl& submodel : decl.submodels) CheckSubmodel(static_cast<int>(j), submodel);
    }
    for (std::size_t j = 0; j < program_.joins.size(); ++j) {
      std::set<std::pair<int, int>> members;
      for (const syntax::ShareDecl& share : program_.joins[j].shares) {
        model_.Joins[j].shared.push_back(CheckShare(static_cast<int>(j), share, &members));
      }
    }
  }

  void CheckSubmodel(int join, const syntax::SubmodelDecl& decl) {
    Submodel submodel;
    submodel.name = decl.name;
    submodel.pos = decl.pos;
    const auto model = modelIndex_.find(decl.type);
    if (model == modelIndex_.end()) {
      Error(decl.typePos, Unknown("san or join", decl.type, KeysOf(modelIndex_)));
    } else {
      submodel.isJoin = model->second.first;
      submodel.model = model->second.second;
    }
    if (!childIndex_[join].emplace(decl.name, static_cast<int>(model_.Joins[join].children.size())).second) {
      Error(decl.pos, "submodel name '" + decl.name + "' is used twice in the model tree");
    }
    model_.Joins[join].children.push_back(submodel);
  }

  SharedPlace CheckShare(int join, const syntax::ShareDecl& decl, std::set<std::pair<int, int>>* members) {
    SharedPlace shared;
    shared.name = decl.name;
    shared.pos = decl.pos;
    const JoinDecl& checked = model_.Joins[join];
    for (const syntax::MemberRef& ref : decl.members) {
      const auto child = childIndex_[join].find(ref.submodel.name);
      if (child == childIndex_[join].end()) {
        Error(ref.submodel.pos, Unknown("submodel", ref.submodel.name, KeysOf(childIndex_[join]),
                                        " in join '" + checked.name + "'"));
        continue;
      }
      const Submodel& submodel = checked.children[child->second];
      if (submodel.model < 0) continue;
      ShareMember member;
      member.child = child->second;
      member.pos = ref.submodel.pos;
      member.pos.length = ref.place.pos.column + ref.place.pos.length - ref.submodel.pos.column;
      if (!ResolveMember(submodel, ref, &member.place)) continue;
      if (!members->emplace(member.child, member.place).second) {
        Error(member.pos, "place '" + ref.submodel.name + "." + ref.place.name +
                              "' is shared twice in join '" + checked.name + "'");
        continue;
      }
      shared.members.push_back(member);
    }
    return shared;
  }

  bool ResolveMember(const Submodel& submodel, const syntax::MemberRef& ref, int* place) {
    const std::string context = " in submodel '" + ref.submodel.name + "'";
    if (submodel.isJoin) {
      const auto& shared = sharedIndex_[submodel.model];
      const auto found = shared.find(ref.place.name);
      if (found == shared.end()) {
        Error(ref.place.pos, Unknown("shared place", ref.place.name, KeysOf(shared),
                                     context + " (join '" + model_.Joins[submodel.model].name + "')"));
        return false;
      }
      *place = found->second;
      return true;
    }
    const auto& places = placeIndex_[submodel.model];
    const auto found = places.find(ref.place.name);
    if (found == places.end()) {
      Error(ref.place.pos, Unknown("place", ref.place.name, KeysOf(places),
                                   context + " (san '" + model_.Sans[submodel.model].name + "')"));
      return false;
    }
    if (model_.Sans[submodel.model].places[found->second].isArray) {
      Error(ref.place.pos, "array place '" + ref.place.name + "' cannot be shared");
      return false;
    }
    *place = found->second;
    return true;
  }

  // ---- The model tree ----

  struct TreeNode {
    std::string name;
    bool isJoin = false;
    int model = -1;
    int instance = -1;           // san nodes
    std::vector<int> children;   // join nodes: node of each child, in order
  };

  // Reports each submodel that closes a cycle of joins; true when none does.
  bool CheckJoinCycles() {
    const std::size_t count = model_.Joins.size();
    std::vector<int> state(count, 0);  // 0 unseen, 1 on the path, 2 done
    bool acyclic = true;
    for (std::size_t root = 0; root < count; ++root) {
      if (state[root] != 0) continue;
      std::vector<std::pair<int, std::size_t>> path = {{static_cast<int>(root), 0}};
      state[root] = 1;
      while (!path.empty()) {
        auto& [join, next] = path.back();
        const std::vector<Submodel>& children = model_.Joins[join].children;
        if (next == children.size()) {
          state[join] = 2;
          path.pop_back();
          continue;
        }
        const Submodel& child = children[next++];
        if (!child.isJoin || child.model < 0) continue;
        if (state[child.model] == 1) {
          Error(child.pos, "join '" + model_.Joins[child.model].name + "' contains itself (through submodel '" +
                               child.name + "' of join '" + model_.Joins[join].name + "')");
          acyclic = false;
        } else if (state[child.model] == 0) {
          state[child.model] = 1;
          path.push_back({child.model, 0});
        }
      }
    }
    return acyclic;
  }

  void BuildTree() {
    const bool acyclic = CheckJoinCycles();
    if (program_.top < 0) return;
    model_.TopIsJoin = program_.topIsJoin;
    model_.Top = program_.top;
    if (!acyclic) return;
    TreeNode top;
    top.isJoin = model_.TopIsJoin;
    top.model = model_.Top;
    top.name = top.isJoin ? model_.Joins[top.model].name : model_.Sans[top.model].name;
    nodes_.push_back(top);
    bool complete = true;
    std::vector<int> pending = {0};
    while (!pending.empty()) {
      const int id = pending.back();
      pending.pop_back();
      if (!nodes_[id].isJoin) {
        nodes_[id].instance = static_cast<int>(model_.Instances.size());
        model_.Instances.push_back({nodes_[id].name, nodes_[id].model});
        continue;
      }
      const std::vector<Submodel>& children = model_.Joins[nodes_[id].model].children;
      for (const Submodel& child : children) {
        if (child.model < 0) complete = false;
        if (nodes_.size() >= static_cast<std::size_t>(kMaxElements)) {
          Error(child.pos, "the model tree has more than " + std::to_string(kMaxElements) +
                               " submodels (the element limit)");
          return;
        }
        TreeNode node;
        node.name = child.name;
        node.isJoin = child.isJoin;
        node.model = child.model;
        const int nodeId = static_cast<int>(nodes_.size());
        nodes_[id].children.push_back(nodeId);
        if (!nodeByName_.emplace(child.name, nodeId).second) {
          Error(child.pos, "submodel name '" + child.name + "' is used twice in the model tree");
          complete = false;
        }
        nodes_.push_back(node);
      }
      // Depth first in child order: the first child is expanded next.
      for (auto it = nodes_[id].children.rbegin(); it != nodes_[id].children.rend(); ++it) {
        if (nodes_[*it].model >= 0) pending.push_back(*it);
      }
    }
    nodeByName_.emplace(top.name, 0);
    treeOk_ = complete;
  }

  // The san place a shared place of join node `node` stands for: its first
  // member, followed down through child joins.
  bool FollowShared(int node, int shared, int* instance, int* place) {
    for (;;) {
      const JoinDecl& join = model_.Joins[nodes_[node].model];
      if (shared < 0 || static_cast<std::size_t>(shared) >= join.shared.size() ||
          join.shared[shared].members.empty()) {
        return false;
      }
      const ShareMember& first = join.shared[shared].members[0];
      const int child = nodes_[node].children[first.child];
      if (!nodes_[child].isJoin) {
        *instance = nodes_[child].instance;
        *place = first.place;
        return true;
      }
      node = child;
      shared = first.place;
    }
  }

  // A bare name in a reward: a place of the top san, or a shared place of
  // the top join.
  bool FindRewardPlace(const std::string& name, int* instance, int* place) {
    if (!treeOk_) return false;
    if (!model_.TopIsJoin) {
      const auto found = placeIndex_[model_.Top].find(name);
      if (found == placeIndex_[model_.Top].end()) return false;
      *instance = 0;
      *place = found->second;
      return true;
    }
    const auto shared = sharedIndex_[model_.Top].find(name);
    return shared != sharedIndex_[model_.Top].end() && FollowShared(0, shared->second, instance, place);
  }

  bool FindQualifiedPlace(const std::string& submodel, const std::string& name, const SourcePos& pos,
                          const SourcePos& namePos, int* instance, int* place) {
    const auto node = nodeByName_.find(submodel);
    if (node == nodeByName_.end()) {
      Error(pos, Unknown("submodel", submodel, KeysOf(nodeByName_)));
      return false;
    }
    const TreeNode& found = nodes_[node->second];
    const std::string context = " in submodel '" + submodel + "'";
    if (found.isJoin) {
      const auto& shared = sharedIndex_[found.model];
      const auto it = shared.find(name);
      if (it == shared.end()) {
        Error(namePos, Unknown("shared place", name, KeysOf(shared), context + " (join '" +
                                                                         model_.Joins[found.model].name + "')"));
        return false;
      }
      return FollowShared(node->second, it->second, instance, place);
    }
    const auto& places = placeIndex_[found.model];
    const auto it = places.find(name);
    if (it == places.end()) {
      Error(namePos, Unknown("place", name, KeysOf(places), context + " (san '" + model_.Sans[found.model].name + "')"));
      return false;
    }
    *instance = found.instance;
    *place = it->second;
    return true;
  }

  // The first instance (in tree order) whose san has a place `name`.
  std::string ExampleSubmodelWithPlace(const std::string& name) const {
    for (const Instance& instance : model_.Instances) {
      if (placeIndex_[instance.san].count(name) != 0) return instance.name;
    }
    return "";
  }

  // ---- Rewards ----

  void CheckRewards() {
    std::unordered_map<std::string, int> names;
    for (const syntax::RewardDecl& decl : program_.rewards) {
      if (!names.emplace(decl.name, 0).second) Error(decl.pos, "reward '" + decl.name + "' is declared twice");
      model_.Rewards.push_back(CheckReward(decl));
    }
  }

  Reward CheckReward(const syntax::RewardDecl& decl) {
    Reward reward;
    reward.name = decl.name;
    reward.pos = decl.pos;
    bool timed = false, hasRate = false;
    Scope constant;
    constant.owner = "reward '" + decl.name + "'";
    Scope markings;
    markings.kind = ScopeKind::Reward;
    for (const syntax::RewardClause& clause : decl.clauses) {
      switch (clause.kind) {
        case syntax::RewardClauseKind::Instant:
        case syntax::RewardClauseKind::Interval:
        case syntax::RewardClauseKind::Steady:
          if (timed) {
            Error(clause.pos, "reward '" + decl.name + "' has a second time clause; it takes one of "
                                                       "'instant', 'interval' or 'steady'");
            break;
          }
          timed = true;
          CheckTimes(clause, constant, &reward);
          break;
        case syntax::RewardClauseKind::Rate:
          if (hasRate) {
            Error(clause.pos, "reward '" + decl.name + "' has a second 'rate' clause");
            break;
          }
          hasRate = true;
          reward.hasRate = true;
          reward.rate = ConvertTo(CheckExpr(clause.exprs[0], markings), ValueType::Double);
          break;
        case syntax::RewardClauseKind::Impulse: CheckImpulse(clause, markings, &reward); break;
      }
    }
    if (!timed) {
      Error(decl.pos, "reward '" + decl.name + "' needs a time clause: 'instant', 'interval' or 'steady'");
    }
    if (!hasRate && reward.impulses.empty() && !HasImpulseClause(decl)) {
      Error(decl.pos, "reward '" + decl.name + "' has neither a 'rate' nor an 'impulse'");
    }
    return reward;
  }

  static bool HasImpulseClause(const syntax::RewardDecl& decl) {
    for (const syntax::RewardClause& clause : decl.clauses) {
      if (clause.kind == syntax::RewardClauseKind::Impulse) return true;
    }
    return false;
  }

  void CheckTimes(const syntax::RewardClause& clause, const Scope& constant, Reward* reward) {
    std::vector<Expr> times;
    for (const SExpr& time : clause.exprs) {
      times.push_back(ConvertTo(CheckExpr(time, constant), ValueType::Double));
    }
    reward->averaged = clause.averaged;
    if (clause.kind == syntax::RewardClauseKind::Instant) {
      reward->kind = RewardKind::Instant;
      reward->starts = times;
      reward->stops = times;
      return;
    }
    reward->kind = clause.kind == syntax::RewardClauseKind::Interval ? RewardKind::Interval : RewardKind::Steady;
    for (std::size_t i = 0; i + 1 < times.size(); i += 2) {
      reward->starts.push_back(times[i]);
      reward->stops.push_back(times[i + 1]);
    }
  }

  void CheckImpulse(const syntax::RewardClause& clause, const Scope& markings, Reward* reward) {
    Impulse impulse;
    impulse.pos = clause.pos;
    impulse.value = ConvertTo(CheckExpr(clause.exprs[0], markings), ValueType::Double);
    if (!treeOk_ || !ResolveImpulseActivity(clause, &impulse)) return;
    const ActivityDecl& activity = model_.Sans[model_.Instances[impulse.instance].san].activities[impulse.activity];
    if (clause.hasCase) {
      const long long cases = activity.hasCases ? static_cast<long long>(activity.cases.size()) : 0;
      if (cases == 0) {
        Error(clause.casePos, "activity '" + activity.name + "' has no cases");
        return;
      }
      if (clause.caseNumber < 1 || clause.caseNumber > cases) {
        Error(clause.casePos, "activity '" + activity.name + "' has " + Plural(cases, "case") +
                                  "; there is no case " + std::to_string(clause.caseNumber));
        return;
      }
      impulse.caseIndex = static_cast<int>(clause.caseNumber - 1);
    }
    reward->impulses.push_back(std::move(impulse));
  }

  bool ResolveImpulseActivity(const syntax::RewardClause& clause, Impulse* impulse) {
    int node = 0;
    if (clause.qualified) {
      const auto found = nodeByName_.find(clause.submodel.name);
      if (found == nodeByName_.end()) {
        Error(clause.submodel.pos, Unknown("submodel", clause.submodel.name, KeysOf(nodeByName_)));
        return false;
      }
      node = found->second;
      if (nodes_[node].isJoin) {
        Error(clause.submodel.pos, "submodel '" + clause.submodel.name +
                                       "' is a join; name the san submodel the activity belongs to");
        return false;
      }
    } else if (nodes_[0].isJoin) {
      const std::string example = ExampleSubmodelWithActivity(clause.activity.name);
      Error(clause.activity.pos, "activity '" + clause.activity.name + "' needs its submodel in join '" +
                                     nodes_[0].name + "', e.g. '" +
                                     (example.empty() ? std::string("SUB") : example) + "." +
                                     clause.activity.name + "'");
      return false;
    }
    const int san = nodes_[node].model;
    const auto activity = activityIndex_[san].find(clause.activity.name);
    if (activity == activityIndex_[san].end()) {
      Error(clause.activity.pos, Unknown("activity", clause.activity.name, KeysOf(activityIndex_[san]),
                                         " in san '" + model_.Sans[san].name + "'"));
      return false;
    }
    impulse->instance = nodes_[node].instance;
    impulse->activity = activity->second;
    return true;
  }

  std::string ExampleSubmodelWithActivity(const std::string& name) const {
    for (const Instance& instance : model_.Instances) {
      if (activityIndex_[instance.san].count(name) != 0) return instance.name;
    }
    return "";
  }

  // ---- Experiments ----

  // One setting of an experiment block, checked: the global it sets and
  // its values (expressions of a list, or the numbers of a range).
  struct CheckedSetting {
    int global = -1;
    const syntax::Setting* setting = nullptr;
    std::vector<Expr> list;
    std::vector<Value> range;
    bool IsSweep() const { return setting->isRange || list.size() > 1; }
    std::size_t Count() const { return setting->isRange ? range.size() : list.size(); }
  };

  // The globals' defaults alone, for the bounds of ranges.
  GlobalValues DefaultValues() {
    GlobalValues values;
    values.values.resize(model_.Globals.size());
    values.known.assign(model_.Globals.size(), false);
    for (std::size_t i = 0; i < model_.Globals.size(); ++i) {
      if (!program_.globals[i].hasValue) continue;
      Value value;
      std::string error;
      long long stored = 0;
      double storedDouble = 0.0;
      if (EvaluateConstant(defaults_[i], values, model_.Globals, &value, &error) &&
          ConvertForGlobal(value, model_.Globals[i].type, &stored, &storedDouble, &error)) {
        values.values[i] = StoredGlobalValue(model_.Globals[i].type, stored, storedDouble);
        values.known[i] = true;
      }
    }
    return values;
  }

  bool ExpandRange(const syntax::Setting& setting, const GlobalValues& defaults, CheckedSetting* out) {
    Scope scope;
    scope.visibleGlobals = out->global;
    scope.owner = "global '" + setting.name + "'";
    Value bounds[3];
    const char* names[3] = {"start", "end", "step"};
    for (int i = 0; i < 3; ++i) {
      const std::size_t errors = ErrorCount();
      Expr checked = ToNumber(CheckExpr(setting.values[i], scope));
      if (ErrorCount() != errors) return false;
      std::string error;
      if (!EvaluateConstant(checked, defaults, model_.Globals, &bounds[i], &error)) {
        Error(setting.values[i].pos, std::string("the ") + names[i] + " of the range of '" + setting.name +
                                         "' cannot be computed from defaults: " + error);
        return false;
      }
    }
    const bool integers = bounds[0].type == ValueType::Int && bounds[1].type == ValueType::Int &&
                          bounds[2].type == ValueType::Int;
    auto number = [](const Value& v) {
      return v.type == ValueType::Int ? static_cast<double>(v.intValue) : v.doubleValue;
    };
    const double start = number(bounds[0]), end = number(bounds[1]), step = number(bounds[2]);
    if (!(step > 0.0)) {
      Error(setting.values[2].pos, "the step of the range of '" + setting.name + "' must be positive");
      return false;
    }
    if (!(end >= start)) {
      Error(setting.pos, "the range of '" + setting.name + "' ends before it starts");
      return false;
    }
    // The end counts when it is within 1e-9 of a step from a whole number of steps.
    const double steps = std::floor((end - start) / step + 1e-9);
    if (!(steps < static_cast<double>(kMaxExperiments))) {
      Error(setting.pos, "the range of '" + setting.name + "' has more than " +
                             std::to_string(kMaxExperiments) + " values (the experiment limit)");
      return false;
    }
    const long long count = static_cast<long long>(steps) + 1;
    for (long long k = 0; k < count; ++k) {
      Value value;
      if (integers) {
        value.type = ValueType::Int;
        value.intValue = bounds[0].intValue + k * bounds[2].intValue;
      } else {
        value.type = ValueType::Double;
        value.doubleValue = start + static_cast<double>(k) * step;
      }
      out->range.push_back(value);
    }
    return true;
  }

  // The settings of one experiment block; false when they cannot be used.
  bool CheckSettings(const syntax::ExperimentDecl& decl, const GlobalValues& defaults,
                     std::vector<CheckedSetting>* settings) {
    bool ok = true;
    std::set<int> seen;
    for (const syntax::Setting& setting : decl.settings) {
      const auto global = globalIndex_.find(setting.name);
      if (global == globalIndex_.end()) {
        Error(setting.pos, Unknown("global", setting.name, KeysOf(globalIndex_)));
        ok = false;
        continue;
      }
      if (!seen.insert(global->second).second) {
        Error(setting.pos, "global '" + setting.name + "' is set twice in experiment '" + decl.name + "'");
        ok = false;
        continue;
      }
      CheckedSetting checked;
      checked.global = global->second;
      checked.setting = &setting;
      if (setting.isRange) {
        ok = ExpandRange(setting, defaults, &checked) && ok;
      } else {
        Scope scope;
        scope.visibleGlobals = global->second;
        scope.owner = "global '" + setting.name + "'";
        const std::size_t errors = ErrorCount();
        for (const SExpr& value : setting.values) checked.list.push_back(CheckExpr(value, scope));
        ok = ok && ErrorCount() == errors;
      }
      settings->push_back(std::move(checked));
    }
    return ok;
  }

  void ExpandExperiments() {
    const GlobalValues defaults = DefaultValues();
    long long total = 0;
    if (program_.experiments.empty()) {
      Experiment experiment;
      experiment.name = "default";
      if (!model_.Globals.empty()) experiment.pos = model_.Globals[0].pos;
      MakeExperiment(experiment, {}, std::vector<int>(model_.Globals.size(), -1), {}, nullptr);
      return;
    }
    const long long globals = std::max<long long>(1, static_cast<long long>(model_.Globals.size()));
    for (const syntax::ExperimentDecl& decl : program_.experiments) {
      std::vector<CheckedSetting> settings;
      if (!CheckSettings(decl, defaults, &settings)) continue;
      long long count = 1;
      for (const CheckedSetting& setting : settings) {
        count *= static_cast<long long>(setting.Count());
        if (total + count > kMaxExperiments) break;
      }
      if (total + count > kMaxExperiments || (total + count) * globals > kMaxExperimentValues) {
        Error(decl.pos, total + count > kMaxExperiments
                            ? "the experiments expand to more than " + std::to_string(kMaxExperiments) +
                                  " experiments (the experiment limit)"
                            : "the experiments give more than " + std::to_string(kMaxExperimentValues) +
                                  " values to globals (the experiment value limit)");
        return;
      }
      total += count;
      ExpandBlock(decl, settings, count);
    }
  }

  void ExpandBlock(const syntax::ExperimentDecl& decl, const std::vector<CheckedSetting>& settings, long long count) {
    std::vector<std::size_t> choice(settings.size(), 0);
    std::vector<int> settingOf(model_.Globals.size(), -1);
    for (std::size_t i = 0; i < settings.size(); ++i) settingOf[settings[i].global] = static_cast<int>(i);
    for (long long member = 0; member < count; ++member) {
      // Mixed radix, the first setting the slowest digit.
      long long rest = member;
      for (std::size_t i = settings.size(); i-- > 0;) {
        const long long radix = static_cast<long long>(settings[i].Count());
        choice[i] = static_cast<std::size_t>(rest % radix);
        rest /= radix;
      }
      Experiment experiment;
      experiment.name = decl.name;
      experiment.pos = decl.pos;
      if (!MakeExperiment(experiment, settings, settingOf, choice, &decl)) return;
    }
  }

  // Evaluates every global of one experiment in declaration order and adds
  // the experiment. False after an error (the block's other members would
  // repeat it).
  bool MakeExperiment(Experiment experiment, const std::vector<CheckedSetting>& settings,
                      const std::vector<int>& settingOf, const std::vector<std::size_t>& choice,
                      const syntax::ExperimentDecl* decl) {
    const std::size_t count = model_.Globals.size();
    GlobalValues values;
    values.values.resize(count);
    values.known.assign(count, false);
    experiment.intValues.assign(count, 0);
    experiment.doubleValues.assign(count, 0.0);
    std::string swept;
    for (std::size_t g = 0; g < count; ++g) {
      const CheckedSetting* setting = settingOf[g] >= 0 ? &settings[settingOf[g]] : nullptr;
      const std::size_t which = settingOf[g] >= 0 ? choice[settingOf[g]] : 0;
      Value value;
      std::string error;
      SourcePos where = model_.Globals[g].pos;
      if (setting != nullptr && setting->setting->isRange) {
        value = setting->range[which];
        where = setting->setting->pos;
      } else if (setting != nullptr) {
        where = setting->list[which].pos;
        if (!EvaluateConstant(setting->list[which], values, model_.Globals, &value, &error)) {
          Error(where, "the value of global '" + model_.Globals[g].name + "' cannot be computed: " + error);
          return false;
        }
      } else if (program_.globals[g].hasValue) {
        where = defaults_[g].pos;
        if (!EvaluateConstant(defaults_[g], values, model_.Globals, &value, &error)) {
          Error(where, "the default of global '" + model_.Globals[g].name + "' cannot be computed" +
                           (decl != nullptr ? " in experiment '" + decl->name + "'" : std::string()) + ": " + error);
          return false;
        }
      } else {
        if (decl == nullptr) {
          Error(model_.Globals[g].pos, "global '" + model_.Globals[g].name +
                                           "' has no value: give it a default or set it in an experiment");
        } else {
          Error(decl->pos, "global '" + model_.Globals[g].name + "' has no value in experiment '" +
                               decl->name + "': set it there or give it a default");
        }
        return false;
      }
      if (!ConvertForGlobal(value, model_.Globals[g].type, &experiment.intValues[g],
                            &experiment.doubleValues[g], &error)) {
        Error(where, "global '" + model_.Globals[g].name + "': " + error);
        return false;
      }
      values.values[g] = StoredGlobalValue(model_.Globals[g].type, experiment.intValues[g], experiment.doubleValues[g]);
      values.known[g] = true;
    }
    // A sweep member is named by its swept values, in the order written.
    for (const CheckedSetting& setting : settings) {
      if (!setting.IsSweep()) continue;
      swept += (swept.empty() ? "" : ",") + model_.Globals[setting.global].name + "=" +
               FormatValue(values.values[setting.global]);
    }
    if (!swept.empty()) experiment.name += "[" + swept + "]";
    model_.Experiments.push_back(std::move(experiment));
    return true;
  }

  // ---- Checks in every experiment ----

  // A check of array lengths or a constant index, made in each experiment
  // (once when its expressions read no global) until it first fails.
  struct IndexCheck {
    Expr index;
    int san;
    int place;
    SourcePos pos;
    std::string shown;
  };

  GlobalValues ValuesOf(const Experiment& experiment) const {
    GlobalValues values;
    for (std::size_t g = 0; g < model_.Globals.size(); ++g) {
      values.values.push_back(StoredGlobalValue(model_.Globals[g].type, experiment.intValues[g],
                                                experiment.doubleValues[g]));
      values.known.push_back(true);
    }
    return values;
  }

  // " in experiment 'x'" when the value depends on the experiment.
  std::string InExperiment(std::size_t experiment, bool dependsOnGlobals) const {
    if (!dependsOnGlobals || model_.Experiments.size() < 2) return "";
    return " in experiment '" + model_.Experiments[experiment].name + "'";
  }

  // One environment at a time: experiments times globals can be large.
  void CheckEveryExperiment() {
    if (model_.Experiments.empty()) return;
    std::vector<const PlaceDecl*> arrays;
    for (const San& san : model_.Sans) {
      for (const PlaceDecl& place : san.places) {
        if (place.isArray && place.length.type != ValueType::Double) arrays.push_back(&place);
      }
    }
    std::vector<bool> arrayDone(arrays.size(), false), indexDone(indexChecks_.size(), false);
    for (std::size_t x = 0; x < model_.Experiments.size(); ++x) {
      const GlobalValues values = ValuesOf(model_.Experiments[x]);
      for (std::size_t i = 0; i < arrays.size(); ++i) {
        const bool varies = ReadsGlobal(arrays[i]->length);
        if (!arrayDone[i] && (varies || x == 0)) arrayDone[i] = !CheckArrayPlace(*arrays[i], values, x, varies);
      }
      for (std::size_t i = 0; i < indexChecks_.size(); ++i) {
        const IndexCheck& check = indexChecks_[i];
        const bool varies = ReadsGlobal(check.index) ||
                            ReadsGlobal(model_.Sans[check.san].places[check.place].length);
        if (!indexDone[i] && (varies || x == 0)) indexDone[i] = !CheckIndex(check, values, x);
      }
    }
  }

  // False after reporting an error.
  bool CheckArrayPlace(const PlaceDecl& place, const GlobalValues& values, std::size_t x, bool varies) {
    Value length;
    std::string error;
    const std::string where = InExperiment(x, varies);
    if (!EvaluateConstant(place.length, values, model_.Globals, &length, &error)) {
      Error(place.length.pos, "the length of array place '" + place.name + "' cannot be computed" + where + ": " + error);
      return false;
    }
    if (length.intValue < 1 || length.intValue > kMaxArrayLength) {
      Error(place.length.pos, "array place '" + place.name + "' has length " + std::to_string(length.intValue) +
                                  where + "; it must be 1 to " + std::to_string(kMaxArrayLength) +
                                  " (the array length limit)");
      return false;
    }
    if (static_cast<long long>(place.elements.size()) > length.intValue) {
      Error(place.elements[length.intValue].pos,
            "array place '" + place.name + "' has " +
                Plural(static_cast<long long>(place.elements.size()), "initial value") + " but length " +
                std::to_string(length.intValue) + where);
      return false;
    }
    return true;
  }

  // False after reporting an error.
  bool CheckIndex(const IndexCheck& check, const GlobalValues& values, std::size_t x) {
    const PlaceDecl& place = model_.Sans[check.san].places[check.place];
    if (place.length.type == ValueType::Double) return false;
    Value index, length;
    std::string error;
    // An index that cannot be computed (a division by zero) is left to the run.
    if (!EvaluateConstant(check.index, values, model_.Globals, &index, &error) ||
        !EvaluateConstant(place.length, values, model_.Globals, &length, &error)) {
      return false;
    }
    if (index.intValue < 0) {
      Error(check.pos, "index " + std::to_string(index.intValue) + " of array place '" + check.shown +
                           "' is negative" + InExperiment(x, ReadsGlobal(check.index)));
      return false;
    }
    if (index.intValue >= length.intValue) {
      Error(check.pos, "index " + std::to_string(index.intValue) + " is outside array place '" + check.shown +
                           "' of length " + std::to_string(length.intValue) +
                           InExperiment(x, ReadsGlobal(check.index) || ReadsGlobal(place.length)));
      return false;
    }
    return true;
  }

  const syntax::Program& program_;
  std::vector<Diagnostic>* diagnostics_;
  CheckedModel model_;
  std::vector<Expr> defaults_;  // checked default of each global (unused without one)
  std::unordered_map<std::string, int> globalIndex_;
  std::unordered_map<std::string, std::pair<bool, int>> modelIndex_;  // isJoin, index
  std::vector<std::unordered_map<std::string, int>> placeIndex_;     // per san
  std::vector<std::unordered_map<std::string, int>> activityIndex_;  // per san
  std::vector<std::unordered_map<std::string, int>> sharedIndex_;    // per join
  std::vector<std::unordered_map<std::string, int>> childIndex_;     // per join
  std::vector<TreeNode> nodes_;                                      // node 0: the top
  std::unordered_map<std::string, int> nodeByName_;
  bool treeOk_ = false;
  std::vector<IndexCheck> indexChecks_;
};

// The same error reached twice (a submodel name repeated in the tree and in
// its join) is reported once.
void RemoveRepeats(std::vector<Diagnostic>* diagnostics, std::size_t from) {
  std::set<std::tuple<int, int, int, std::string>> seen;
  std::vector<Diagnostic> kept(diagnostics->begin(), diagnostics->begin() + static_cast<std::ptrdiff_t>(from));
  for (std::size_t i = from; i < diagnostics->size(); ++i) {
    const Diagnostic& d = (*diagnostics)[i];
    if (seen.emplace(d.pos.file, d.pos.line, d.pos.column, d.message).second) kept.push_back(d);
  }
  diagnostics->swap(kept);
}

}  // namespace

CheckedModel Check(const syntax::Program& program, std::vector<Diagnostic>* diagnostics) {
  const std::size_t before = diagnostics->size();
  CheckedModel model = Checker(program, diagnostics).Run();
  RemoveRepeats(diagnostics, before);
  return model;
}

}  // namespace sanmodel
