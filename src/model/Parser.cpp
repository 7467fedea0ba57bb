#include "model/Parser.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>

namespace sanmodel {
namespace {

using syntax::Expr;
using syntax::ExprKind;
using syntax::Stmt;
using syntax::StmtKind;

bool IsTopKeyword(TokenKind kind) {
  switch (kind) {
    case TokenKind::Import: case TokenKind::Global: case TokenKind::Experiment:
    case TokenKind::San: case TokenKind::Join: case TokenKind::Reward:
      return true;
    default:
      return false;
  }
}

bool IsTypeKeyword(TokenKind kind) {
  switch (kind) {
    case TokenKind::Bool: case TokenKind::Char: case TokenKind::Short: case TokenKind::Int:
    case TokenKind::Long: case TokenKind::Float: case TokenKind::Double:
      return true;
    default:
      return false;
  }
}

DeclType TypeOf(TokenKind kind) {
  switch (kind) {
    case TokenKind::Bool: return DeclType::Bool;
    case TokenKind::Char: return DeclType::Char;
    case TokenKind::Short: return DeclType::Short;
    case TokenKind::Long: return DeclType::Long;
    case TokenKind::Float: return DeclType::Float;
    case TokenKind::Double: return DeclType::Double;
    default: return DeclType::Int;
  }
}

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, std::vector<Diagnostic>* diagnostics)
      : tokens_(tokens), diagnostics_(diagnostics) {}

  syntax::File Run() {
    syntax::File file;
    while (!At(TokenKind::End)) {
      if (!ParseDeclaration(&file)) SkipToDeclaration();
    }
    file.endPos = Current().pos;
    return file;
  }

 private:
  // ---- Tokens ----

  const Token& Current() const { return tokens_[at_]; }
  bool At(TokenKind kind) const { return Current().kind == kind; }

  const Token& Advance() {
    const Token& token = tokens_[at_];
    if (token.kind == TokenKind::LeftBrace) ++braceDepth_;
    if (token.kind == TokenKind::RightBrace) --braceDepth_;
    if (token.kind != TokenKind::End) {
      previous_ = token.pos;
      ++at_;
    }
    return token;
  }

  bool Accept(TokenKind kind) {
    if (!At(kind)) return false;
    Advance();
    return true;
  }

  std::string Found() const {
    const Token& token = Current();
    switch (token.kind) {
      case TokenKind::End: return "the end of the file";
      case TokenKind::String: return "string \"" + token.text + "\"";
      default: return "'" + token.text + "'";
    }
  }

  bool Fail(const std::string& expected) {
    diagnostics_->push_back({Current().pos, "expected " + expected + ", found " + Found()});
    return false;
  }

  bool Expect(TokenKind kind, const std::string& context = "") {
    if (Accept(kind)) return true;
    return Fail(DescribeTokenKind(kind) + context);
  }

  bool ExpectName(std::string* name, SourcePos* pos, const std::string& what) {
    if (!At(TokenKind::Name)) return Fail(what);
    *pos = Current().pos;
    *name = Advance().text;
    return true;
  }

  // The span from `start` to the end of the last token read, when both are
  // on one line; otherwise `start` alone.
  SourcePos SpanFrom(const SourcePos& start) const {
    SourcePos pos = start;
    if (previous_.file == start.file && previous_.line == start.line &&
        previous_.column >= start.column) {
      pos.length = previous_.column + previous_.length - start.column;
    }
    return pos;
  }

  // ---- Recovery ----

  void SkipToDeclaration() {
    while (!At(TokenKind::End) && !IsTopKeyword(Current().kind)) Advance();
  }

  // After an error inside a body opened at brace depth `bodyDepth`: skips to
  // the next member of that body. True when the body's parsing can go on;
  // false when a declaration keyword or the end of the file came first.
  bool SkipToMember(int bodyDepth, std::initializer_list<TokenKind> memberStarts) {
    while (!At(TokenKind::End) && !IsTopKeyword(Current().kind)) {
      if (braceDepth_ == bodyDepth) {
        if (At(TokenKind::RightBrace)) return true;
        for (TokenKind kind : memberStarts) {
          if (At(kind)) return true;
        }
        if (Accept(TokenKind::Semicolon)) return true;
      }
      Advance();
      if (braceDepth_ < bodyDepth) return true;
    }
    return false;
  }

  // ---- Nesting ----

  class NestingGuard {
   public:
    explicit NestingGuard(Parser* parser) : parser_(parser) { ++parser_->depth_; }
    ~NestingGuard() { --parser_->depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    // False (after reporting) when the limit is passed.
    bool Ok() {
      if (parser_->depth_ <= kMaxNesting) return true;
      parser_->diagnostics_->push_back(
          {parser_->Current().pos, "expressions and blocks are nested more than " +
                                       std::to_string(kMaxNesting) + " deep (the nesting limit)"});
      return false;
    }

   private:
    Parser* parser_;
  };

  // ---- Declarations ----

  bool ParseDeclaration(syntax::File* file) {
    switch (Current().kind) {
      case TokenKind::Import: return ParseImport(file);
      case TokenKind::Global: return ParseGlobal(file);
      case TokenKind::Experiment: return ParseExperiment(file);
      case TokenKind::San: return ParseSan(file);
      case TokenKind::Join: return ParseJoin(file);
      case TokenKind::Reward: return ParseReward(file);
      default:
        Fail("a declaration (import, global, experiment, san, join or reward)");
        Advance();
        return false;
    }
  }

  bool ParseImport(syntax::File* file) {
    Advance();
    syntax::Import import;
    import.pos = Current().pos;
    if (!At(TokenKind::String)) return Fail("the path of the file to import, in quotes");
    import.path = Advance().text;
    if (!Expect(TokenKind::Semicolon)) return false;
    file->declarations.emplace_back(std::move(import));
    return true;
  }

  bool ParseGlobal(syntax::File* file) {
    Advance();
    syntax::GlobalDecl global;
    if (!IsTypeKeyword(Current().kind)) {
      return Fail("a type (bool, char, short, int, long, float or double)");
    }
    global.type = TypeOf(Advance().kind);
    if (!ExpectName(&global.name, &global.pos, "the name of the global")) return false;
    if (Accept(TokenKind::Assign)) {
      global.hasValue = true;
      if (!ParseExpr(&global.value)) return false;
    }
    if (!Expect(TokenKind::Semicolon)) return false;
    file->declarations.emplace_back(std::move(global));
    return true;
  }

  bool ParseExperiment(syntax::File* file) {
    Advance();
    syntax::ExperimentDecl experiment;
    if (!ExpectName(&experiment.name, &experiment.pos, "the name of the experiment")) return false;
    if (!Expect(TokenKind::LeftBrace)) return false;
    const int bodyDepth = braceDepth_;
    while (!At(TokenKind::RightBrace)) {
      if (!ParseSetting(&experiment) && !SkipToMember(bodyDepth, {TokenKind::Name})) {
        return false;
      }
      if (At(TokenKind::End)) return Fail("'}'");
    }
    Advance();
    file->declarations.emplace_back(std::move(experiment));
    return true;
  }

  bool ParseSetting(syntax::ExperimentDecl* experiment) {
    syntax::Setting setting;
    if (!ExpectName(&setting.name, &setting.pos, "the name of a global or '}'")) return false;
    if (!Expect(TokenKind::Assign)) return false;
    Expr first;
    if (!ParseExpr(&first)) return false;
    setting.values.push_back(std::move(first));
    if (Accept(TokenKind::To)) {
      setting.isRange = true;
      Expr to, step;
      if (!ParseExpr(&to) || !Expect(TokenKind::Step) || !ParseExpr(&step)) return false;
      setting.values.push_back(std::move(to));
      setting.values.push_back(std::move(step));
    } else {
      while (Accept(TokenKind::Comma)) {
        Expr value;
        if (!ParseExpr(&value)) return false;
        setting.values.push_back(std::move(value));
      }
    }
    if (!Expect(TokenKind::Semicolon)) return false;
    experiment->settings.push_back(std::move(setting));
    return true;
  }

  bool ParseSan(syntax::File* file) {
    Advance();
    syntax::SanDecl san;
    if (!ExpectName(&san.name, &san.pos, "the name of the san")) return false;
    if (!Expect(TokenKind::LeftBrace)) return false;
    const int bodyDepth = braceDepth_;
    while (!At(TokenKind::RightBrace)) {
      bool ok;
      if (At(TokenKind::Place)) {
        ok = ParsePlace(&san);
      } else if (At(TokenKind::Activity)) {
        ok = ParseActivity(&san);
      } else {
        ok = Fail("'place', 'activity' or '}' in san '" + san.name + "'");
        if (!IsTopKeyword(Current().kind)) Advance();
      }
      if (!ok && !SkipToMember(bodyDepth, {TokenKind::Place, TokenKind::Activity})) return false;
      if (At(TokenKind::End)) return Fail("'}'");
    }
    Advance();
    file->declarations.emplace_back(std::move(san));
    return true;
  }

  bool ParsePlace(syntax::SanDecl* san) {
    Advance();
    syntax::PlaceDecl place;
    if (!ExpectName(&place.name, &place.pos, "the name of the place")) return false;
    if (Accept(TokenKind::LeftBracket)) {
      place.isArray = true;
      if (!ParseExpr(&place.length) || !Expect(TokenKind::RightBracket)) return false;
    }
    if (Accept(TokenKind::Assign)) {
      place.hasInit = true;
      place.initPos = Current().pos;
      if (Accept(TokenKind::LeftBrace)) {
        place.initIsList = true;
        do {
          Expr value;
          if (!ParseExpr(&value)) return false;
          place.init.push_back(std::move(value));
        } while (Accept(TokenKind::Comma));
        if (!Expect(TokenKind::RightBrace)) return false;
        place.initPos = SpanFrom(place.initPos);
      } else {
        Expr value;
        if (!ParseExpr(&value)) return false;
        place.init.push_back(std::move(value));
      }
    }
    if (!Expect(TokenKind::Semicolon)) return false;
    san->places.push_back(std::move(place));
    return true;
  }

  bool ParseActivity(syntax::SanDecl* san) {
    Advance();
    syntax::ActivityDecl activity;
    if (!ExpectName(&activity.name, &activity.pos, "the name of the activity")) return false;
    if (!Expect(TokenKind::LeftBrace)) return false;
    while (!Accept(TokenKind::RightBrace)) {
      syntax::Clause clause;
      if (!ParseClause(&clause)) return false;
      activity.clauses.push_back(std::move(clause));
    }
    san->activities.push_back(std::move(activity));
    return true;
  }

  bool ParseClause(syntax::Clause* clause) {
    clause->pos = Current().pos;
    switch (Current().kind) {
      case TokenKind::Timed:
        Advance();
        clause->kind = syntax::ClauseKind::Timed;
        if (!ExpectName(&clause->distribution, &clause->distributionPos,
                        "the name of a distribution")) {
          return false;
        }
        if (!Expect(TokenKind::LeftParen) || !ParseArguments(&clause->exprs)) return false;
        return Expect(TokenKind::Semicolon);
      case TokenKind::Instantaneous:
        Advance();
        clause->kind = syntax::ClauseKind::Instantaneous;
        return Expect(TokenKind::Semicolon);
      case TokenKind::Enabled: return ParseExprClause(syntax::ClauseKind::Enabled, clause);
      case TokenKind::Rank: return ParseExprClause(syntax::ClauseKind::Rank, clause);
      case TokenKind::Reactivation: return ParseExprClause(syntax::ClauseKind::Reactivation, clause);
      case TokenKind::Reactivate: return ParseExprClause(syntax::ClauseKind::Reactivate, clause);
      case TokenKind::Fire:
        Advance();
        clause->kind = syntax::ClauseKind::Fire;
        return ParseBlock(&clause->block);
      case TokenKind::Case:
        Advance();
        clause->kind = syntax::ClauseKind::Case;
        if (Accept(TokenKind::Weight)) {
          clause->hasWeight = true;
          clause->exprs.emplace_back();
          if (!ParseExpr(&clause->exprs.back())) return false;
        }
        return ParseBlock(&clause->block);
      case TokenKind::Policy:
        Advance();
        clause->kind = syntax::ClauseKind::Policy;
        if (!At(TokenKind::Integer)) return Fail("an integer");
        clause->policy = Advance().intValue;
        return Expect(TokenKind::Semicolon);
      case TokenKind::Reads:
      case TokenKind::Affects:
        clause->kind = At(TokenKind::Reads) ? syntax::ClauseKind::Reads : syntax::ClauseKind::Affects;
        Advance();
        do {
          syntax::NameRef ref;
          if (!ExpectName(&ref.name, &ref.pos, "the name of a place")) return false;
          clause->names.push_back(std::move(ref));
        } while (Accept(TokenKind::Comma));
        return Expect(TokenKind::Semicolon);
      default:
        return Fail("a clause of the activity (timed, instantaneous, enabled, fire, case, rank, "
                    "reactivation, reactivate, policy, reads, affects) or '}'");
    }
  }

  bool ParseExprClause(syntax::ClauseKind kind, syntax::Clause* clause) {
    Advance();
    clause->kind = kind;
    clause->exprs.emplace_back();
    return ParseExpr(&clause->exprs.back()) && Expect(TokenKind::Semicolon);
  }

  bool ParseJoin(syntax::File* file) {
    Advance();
    syntax::JoinDecl join;
    if (!ExpectName(&join.name, &join.pos, "the name of the join")) return false;
    if (!Expect(TokenKind::LeftBrace)) return false;
    const int bodyDepth = braceDepth_;
    while (!At(TokenKind::RightBrace)) {
      bool ok;
      if (At(TokenKind::Submodel)) {
        ok = ParseSubmodel(&join);
      } else if (At(TokenKind::Share)) {
        ok = ParseShare(&join);
      } else {
        ok = Fail("'submodel', 'share' or '}' in join '" + join.name + "'");
        if (!IsTopKeyword(Current().kind)) Advance();
      }
      if (!ok && !SkipToMember(bodyDepth, {TokenKind::Submodel, TokenKind::Share})) return false;
      if (At(TokenKind::End)) return Fail("'}'");
    }
    Advance();
    file->declarations.emplace_back(std::move(join));
    return true;
  }

  bool ParseSubmodel(syntax::JoinDecl* join) {
    Advance();
    syntax::SubmodelDecl submodel;
    if (!ExpectName(&submodel.name, &submodel.pos, "the name of the submodel") ||
        !Expect(TokenKind::Assign) ||
        !ExpectName(&submodel.type, &submodel.typePos, "the name of a san or join") ||
        !Expect(TokenKind::Semicolon)) {
      return false;
    }
    join->submodels.push_back(std::move(submodel));
    return true;
  }

  bool ParseShare(syntax::JoinDecl* join) {
    Advance();
    syntax::ShareDecl share;
    if (!ExpectName(&share.name, &share.pos, "the name of the shared place") ||
        !Expect(TokenKind::Assign)) {
      return false;
    }
    do {
      syntax::MemberRef member;
      if (!ExpectName(&member.submodel.name, &member.submodel.pos, "SUBMODEL.PLACE") ||
          !Expect(TokenKind::Dot) ||
          !ExpectName(&member.place.name, &member.place.pos, "the name of a place")) {
        return false;
      }
      share.members.push_back(std::move(member));
    } while (Accept(TokenKind::Comma));
    if (!Expect(TokenKind::Semicolon)) return false;
    join->shares.push_back(std::move(share));
    return true;
  }

  bool ParseReward(syntax::File* file) {
    Advance();
    syntax::RewardDecl reward;
    if (!ExpectName(&reward.name, &reward.pos, "the name of the reward")) return false;
    if (!Expect(TokenKind::LeftBrace)) return false;
    const int bodyDepth = braceDepth_;
    while (!At(TokenKind::RightBrace)) {
      syntax::RewardClause clause;
      if (ParseRewardClause(&clause)) {
        reward.clauses.push_back(std::move(clause));
      } else if (!SkipToMember(bodyDepth, {TokenKind::Instant, TokenKind::Interval,
                                           TokenKind::Steady, TokenKind::Rate,
                                           TokenKind::Impulse})) {
        return false;
      }
      if (At(TokenKind::End)) return Fail("'}'");
    }
    Advance();
    file->declarations.emplace_back(std::move(reward));
    return true;
  }

  bool ParseRewardClause(syntax::RewardClause* clause) {
    clause->pos = Current().pos;
    switch (Current().kind) {
      case TokenKind::Instant:
        Advance();
        clause->kind = syntax::RewardClauseKind::Instant;
        do {
          clause->exprs.emplace_back();
          if (!ParseExpr(&clause->exprs.back())) return false;
        } while (Accept(TokenKind::Comma));
        return Expect(TokenKind::Semicolon);
      case TokenKind::Interval:
      case TokenKind::Steady: {
        const bool interval = At(TokenKind::Interval);
        Advance();
        clause->kind = interval ? syntax::RewardClauseKind::Interval : syntax::RewardClauseKind::Steady;
        do {
          if (!ParseSpan(clause)) return false;
        } while (interval && Accept(TokenKind::Comma));
        clause->averaged = Accept(TokenKind::Averaged);
        return Expect(TokenKind::Semicolon);
      }
      case TokenKind::Rate:
        Advance();
        clause->kind = syntax::RewardClauseKind::Rate;
        clause->exprs.emplace_back();
        return ParseExpr(&clause->exprs.back()) && Expect(TokenKind::Semicolon);
      case TokenKind::Impulse:
        Advance();
        return ParseImpulse(clause);
      default:
        Fail("a clause of the reward (instant, interval, steady, rate, impulse) or '}'");
        if (!IsTopKeyword(Current().kind)) Advance();
        return false;
    }
  }

  bool ParseSpan(syntax::RewardClause* clause) {
    Expr start, stop;
    if (!Expect(TokenKind::LeftBracket) || !ParseExpr(&start) || !Expect(TokenKind::Comma) ||
        !ParseExpr(&stop) || !Expect(TokenKind::RightBracket)) {
      return false;
    }
    clause->exprs.push_back(std::move(start));
    clause->exprs.push_back(std::move(stop));
    return true;
  }

  bool ParseImpulse(syntax::RewardClause* clause) {
    clause->kind = syntax::RewardClauseKind::Impulse;
    syntax::NameRef first;
    if (!ExpectName(&first.name, &first.pos, "the name of an activity")) return false;
    if (Accept(TokenKind::Dot)) {
      clause->qualified = true;
      clause->submodel = std::move(first);
      if (!ExpectName(&clause->activity.name, &clause->activity.pos, "the name of an activity")) {
        return false;
      }
    } else {
      clause->activity = std::move(first);
    }
    if (Accept(TokenKind::Case)) {
      clause->hasCase = true;
      clause->casePos = Current().pos;
      if (!At(TokenKind::Integer)) return Fail("the number of a case");
      clause->caseNumber = Advance().intValue;
    }
    clause->exprs.emplace_back();
    return Expect(TokenKind::Assign) && ParseExpr(&clause->exprs.back()) &&
           Expect(TokenKind::Semicolon);
  }

  // ---- Statements ----

  bool ParseBlock(std::vector<Stmt>* body) {
    if (!Expect(TokenKind::LeftBrace)) return false;
    NestingGuard guard(this);
    if (!guard.Ok()) return false;
    while (!Accept(TokenKind::RightBrace)) {
      if (At(TokenKind::End)) return Fail("'}'");
      Stmt statement;
      if (!ParseStatement(&statement)) return false;
      body->push_back(std::move(statement));
    }
    return true;
  }

  bool ParseStatement(Stmt* statement) {
    statement->pos = Current().pos;
    const TokenKind kind = Current().kind;
    if (kind == TokenKind::LeftBrace) {
      statement->kind = StmtKind::Block;
      return ParseBlock(&statement->body);
    }
    if (kind == TokenKind::Semicolon) {
      Advance();
      statement->kind = StmtKind::Empty;
      return true;
    }
    if (kind == TokenKind::If) return ParseIf(statement);
    if (IsTypeKeyword(kind)) return ParseDeclare(statement);
    if (kind == TokenKind::PlusPlus || kind == TokenKind::MinusMinus) {
      statement->opPos = Current().pos;
      Advance();
      if (!ParseLValue(&statement->target)) return false;
      MakeStep(statement, kind);
      return Expect(TokenKind::Semicolon);
    }
    if (kind != TokenKind::Name) return Fail("a statement");
    if (!ParseLValue(&statement->target)) return false;
    statement->opPos = Current().pos;
    const TokenKind op = Current().kind;
    if (op == TokenKind::PlusPlus || op == TokenKind::MinusMinus) {
      Advance();
      MakeStep(statement, op);
      return Expect(TokenKind::Semicolon);
    }
    statement->kind = StmtKind::Assign;
    switch (op) {
      case TokenKind::Assign: statement->assignOp = AssignOp::Set; break;
      case TokenKind::PlusAssign: statement->assignOp = AssignOp::Add; break;
      case TokenKind::MinusAssign: statement->assignOp = AssignOp::Sub; break;
      case TokenKind::StarAssign: statement->assignOp = AssignOp::Mul; break;
      case TokenKind::SlashAssign: statement->assignOp = AssignOp::Div; break;
      case TokenKind::PercentAssign: statement->assignOp = AssignOp::Mod; break;
      default: return Fail("an assignment ('=', '+=', '-=', '*=', '/=', '%=', '++' or '--')");
    }
    Advance();
    return ParseExpr(&statement->value) && Expect(TokenKind::Semicolon);
  }

  void MakeStep(Stmt* statement, TokenKind op) {
    statement->kind = StmtKind::Assign;
    statement->assignOp = op == TokenKind::PlusPlus ? AssignOp::Add : AssignOp::Sub;
    statement->value.kind = ExprKind::Integer;
    statement->value.intValue = 1;
    statement->value.pos = statement->opPos;
  }

  bool ParseIf(Stmt* statement) {
    Advance();
    statement->kind = StmtKind::If;
    NestingGuard guard(this);
    if (!guard.Ok()) return false;
    if (!Expect(TokenKind::LeftParen) || !ParseExpr(&statement->condition) ||
        !Expect(TokenKind::RightParen)) {
      return false;
    }
    statement->body.emplace_back();
    if (!ParseStatement(&statement->body.back())) return false;
    if (Accept(TokenKind::Else)) {
      statement->elseBody.emplace_back();
      if (!ParseStatement(&statement->elseBody.back())) return false;
    }
    return true;
  }

  bool ParseDeclare(Stmt* statement) {
    statement->kind = StmtKind::Declare;
    statement->declType = TypeOf(Advance().kind);
    return ExpectName(&statement->name, &statement->namePos, "the name of the local variable") &&
           Expect(TokenKind::Assign) && ParseExpr(&statement->value) &&
           Expect(TokenKind::Semicolon);
  }

  bool ParseLValue(syntax::LValue* target) {
    if (!ExpectName(&target->name, &target->pos, "the name of a place or local variable")) {
      return false;
    }
    if (Accept(TokenKind::LeftBracket)) {
      target->hasIndex = true;
      target->index.emplace_back();
      if (!ParseExpr(&target->index.back()) || !Expect(TokenKind::RightBracket)) return false;
      target->pos = SpanFrom(target->pos);
    }
    return true;
  }

  // ---- Expressions ----

  // Sets the height of a node from its operands; false (after reporting)
  // when the tree grows past the limit.
  bool SetHeight(Expr* e) {
    int height = 0;
    for (const Expr& arg : e->args) height = std::max(height, arg.height);
    e->height = height + 1;
    if (e->height <= kMaxExpressionHeight) return true;
    diagnostics_->push_back({e->pos, "expression is more than " + std::to_string(kMaxExpressionHeight) +
                                         " operators deep (the expression height limit)"});
    return false;
  }

  bool ParseExpr(Expr* out) {
    NestingGuard guard(this);
    if (!guard.Ok()) return false;
    const SourcePos start = Current().pos;
    if (!ParseBinary(0, out)) return false;
    if (!At(TokenKind::Question)) return true;
    Expr conditional;
    conditional.kind = ExprKind::Conditional;
    conditional.opPos = Advance().pos;
    conditional.args.resize(3);
    conditional.args[0] = std::move(*out);
    if (!ParseExpr(&conditional.args[1]) || !Expect(TokenKind::Colon) ||
        !ParseExpr(&conditional.args[2])) {
      return false;
    }
    conditional.pos = SpanFrom(start);
    *out = std::move(conditional);
    return SetHeight(out);
  }

  // Binary levels, loosest first: || && equality relation additive term.
  static bool AtLevel(TokenKind kind, int level) {
    switch (level) {
      case 0: return kind == TokenKind::OrOr;
      case 1: return kind == TokenKind::AndAnd;
      case 2: return kind == TokenKind::EqualEqual || kind == TokenKind::NotEqual;
      case 3:
        return kind == TokenKind::Less || kind == TokenKind::LessEqual ||
               kind == TokenKind::Greater || kind == TokenKind::GreaterEqual;
      case 4: return kind == TokenKind::Plus || kind == TokenKind::Minus;
      default:
        return kind == TokenKind::Star || kind == TokenKind::Slash || kind == TokenKind::Percent;
    }
  }

  bool ParseBinary(int level, Expr* out) {
    if (level == 6) return ParseUnary(out);
    const SourcePos start = Current().pos;
    if (!ParseBinary(level + 1, out)) return false;
    while (AtLevel(Current().kind, level)) {
      Expr binary;
      binary.kind = ExprKind::Binary;
      binary.op = Current().kind;
      binary.opPos = Advance().pos;
      binary.args.resize(2);
      binary.args[0] = std::move(*out);
      if (!ParseBinary(level + 1, &binary.args[1])) return false;
      binary.pos = SpanFrom(start);
      *out = std::move(binary);
      if (!SetHeight(out)) return false;
    }
    return true;
  }

  bool ParseUnary(Expr* out) {
    const TokenKind kind = Current().kind;
    if (kind != TokenKind::Minus && kind != TokenKind::Plus && kind != TokenKind::Not) {
      return ParsePrimary(out);
    }
    NestingGuard guard(this);
    if (!guard.Ok()) return false;
    out->kind = ExprKind::Unary;
    out->op = kind;
    out->opPos = Advance().pos;
    out->args.resize(1);
    if (!ParseUnary(&out->args[0])) return false;
    out->pos = SpanFrom(out->opPos);
    return SetHeight(out);
  }

  bool ParsePrimary(Expr* out) {
    const Token& token = Current();
    out->pos = token.pos;
    switch (token.kind) {
      case TokenKind::Integer:
        out->kind = ExprKind::Integer;
        out->intValue = Advance().intValue;
        return true;
      case TokenKind::Real:
        out->kind = ExprKind::Real;
        out->realValue = Advance().realValue;
        return true;
      case TokenKind::True:
      case TokenKind::False:
        out->kind = ExprKind::Boolean;
        out->boolValue = Advance().kind == TokenKind::True;
        return true;
      case TokenKind::LeftParen: {
        Advance();
        const SourcePos start = out->pos;
        if (!ParseExpr(out) || !Expect(TokenKind::RightParen)) return false;
        out->pos = SpanFrom(start);
        return true;
      }
      case TokenKind::Name:
        return ParseNamed(out);
      default:
        return Fail("an expression");
    }
  }

  bool ParseNamed(Expr* out) {
    const SourcePos start = Current().pos;
    out->name = Advance().text;
    out->kind = ExprKind::Name;
    if (Accept(TokenKind::LeftParen)) {
      out->kind = ExprKind::Call;
      if (!ParseArguments(&out->args)) return false;
      out->pos = SpanFrom(start);
      return SetHeight(out);
    }
    if (Accept(TokenKind::Dot)) {
      out->kind = ExprKind::Qualified;
      out->opPos = Current().pos;
      SourcePos ignored;
      if (!ExpectName(&out->member, &ignored, "the name of a place after '.'")) return false;
    }
    if (Accept(TokenKind::LeftBracket)) {
      out->hasIndex = true;
      out->args.resize(1);
      if (!ParseExpr(&out->args[0]) || !Expect(TokenKind::RightBracket)) return false;
    }
    out->pos = SpanFrom(start);
    return SetHeight(out);
  }

  // After '(': arguments up to and including ')'.
  bool ParseArguments(std::vector<Expr>* args) {
    if (Accept(TokenKind::RightParen)) return true;
    do {
      args->emplace_back();
      if (!ParseExpr(&args->back())) return false;
    } while (Accept(TokenKind::Comma));
    return Expect(TokenKind::RightParen);
  }

  const std::vector<Token>& tokens_;
  std::vector<Diagnostic>* diagnostics_;
  std::size_t at_ = 0;
  int braceDepth_ = 0;
  int depth_ = 0;
  SourcePos previous_;
};

}  // namespace

syntax::File Parse(const std::vector<Token>& tokens, std::vector<Diagnostic>* diagnostics) {
  return Parser(tokens, diagnostics).Run();
}

}  // namespace sanmodel
