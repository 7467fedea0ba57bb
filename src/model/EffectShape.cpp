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

}  // namespace

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
