#include "model/EffectShape.h"

#include <algorithm>

namespace sanmodel {

namespace {

bool NamesOnly(const Expr& e, const std::vector<int>& places) {
  const bool named = e.op == Op::Place || e.op == Op::ArrayElement;
  if (named && std::find(places.begin(), places.end(), e.index) == places.end()) return false;
  for (const Expr& arg : e.args)
    if (!NamesOnly(arg, places)) return false;
  return true;
}

// Whether "marking op c" holds for positive markings only, op read from the
// place's side.
bool PassesOnlyPositive(Op op, long long c) {
  return (op == Op::Greater && c >= 0) || (op == Op::GreaterEqual && c >= 1);
}

// Whether "marking op c" holds for exactly the positive markings.
bool PassesExactlyPositive(Op op, long long c) {
  return (op == Op::Greater && c == 0) || (op == Op::GreaterEqual && c == 1);
}

Op Mirrored(Op op) {
  switch (op) {
    case Op::Less: return Op::Greater;
    case Op::LessEqual: return Op::GreaterEqual;
    case Op::Greater: return Op::Less;
    case Op::GreaterEqual: return Op::LessEqual;
    default: return op;
  }
}

// The scalar place e compares with an integer constant so that passes(op,
// c) holds, op read from the place's side; -1 when e is no such comparison.
int PlaceComparedSo(const Expr& e, bool (*passes)(Op, long long)) {
  if (e.args.size() != 2) return -1;
  const Expr& a = e.args[0];
  const Expr& b = e.args[1];
  if (a.op == Op::Place && b.op == Op::IntConst && passes(e.op, b.intValue)) return a.index;
  if (b.op == Op::Place && a.op == Op::IntConst && passes(Mirrored(e.op), a.intValue)) return b.index;
  return -1;
}

int FirstRequiredPositive(const Expr& e) {
  if (e.op == Op::And) {
    const int left = FirstRequiredPositive(e.args[0]);
    return left >= 0 ? left : FirstRequiredPositive(e.args[1]);
  }
  return PlaceComparedSo(e, PassesOnlyPositive);
}

}  // namespace

int RequiredPositivePlace(const ActivityDecl& activity) {
  return activity.hasEnabled ? FirstRequiredPositive(activity.enabled) : -1;
}

bool RequiredPositiveDecides(const ActivityDecl& activity) {
  return activity.hasEnabled && PlaceComparedSo(activity.enabled, PassesExactlyPositive) >= 0;
}

bool EnablingNamesOnlyReads(const ActivityDecl& activity) {
  return !activity.hasEnabled || NamesOnly(activity.enabled, activity.reads);
}

void CollectWrites(const std::vector<Stmt>& statements, PlaceWrites* out) {
  for (const Stmt& s : statements) {
    if (s.kind == StmtKind::Block) CollectWrites(s.body, out);
    if (s.kind == StmtKind::If) {
      CollectWrites(s.body, out);
      CollectWrites(s.elseBody, out);
    }
    if (s.kind != StmtKind::Assign) continue;
    if (s.target.kind == Target::Kind::Place) out->scalars.push_back(s.target.index);
    if (s.target.kind == Target::Kind::ArrayElement) out->arrays.push_back(s.target.index);
  }
}

bool SplitTrailingChain(const Effect& effect, TrailingChain* out) {
  if (effect.statements.empty() || effect.statements.back().kind != StmtKind::If) return false;
  out->prefix.assign(effect.statements.begin(), effect.statements.end() - 1);
  const Stmt* link = &effect.statements.back();
  for (;;) {
    out->conditions.push_back(&link->condition);
    out->branches.push_back(&link->body);
    const bool elseIf = link->elseBody.size() == 1 && link->elseBody[0].kind == StmtKind::If;
    if (!elseIf) break;
    link = &link->elseBody[0];
  }
  out->otherwise = &link->elseBody;
  return true;
}

}  // namespace sanmodel
