// Token is the unit the lexer hands to the parser: a kind, the text it was
// made from and where it stands in its file.
//
// Plain values; copy freely.
#ifndef MODEL_TOKEN_H
#define MODEL_TOKEN_H

#include <string>

#include "model/CheckedModel.h"

namespace sanmodel {

enum class TokenKind {
  End,  // after the last token of a file
  Name, Integer, Real, String,
  // Keywords.
  Import, Global, Experiment, San, Place, Activity, Timed, Instantaneous, Enabled, Fire,
  Case, Weight, Rank, Reactivation, Reactivate, Policy, Reads, Affects, Join, Submodel,
  Share, Reward, Rate, Impulse, Instant, Interval, Steady, Averaged, To, Step, If, Else,
  True, False, Bool, Char, Short, Int, Long, Float, Double,
  // Punctuation and operators.
  LeftBrace, RightBrace, LeftParen, RightParen, LeftBracket, RightBracket,
  Semicolon, Comma, Dot, Question, Colon,
  Assign, PlusAssign, MinusAssign, StarAssign, SlashAssign, PercentAssign,
  PlusPlus, MinusMinus, Plus, Minus, Star, Slash, Percent, Not,
  AndAnd, OrOr, Less, LessEqual, Greater, GreaterEqual, EqualEqual, NotEqual
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;       // as written; for String, without the quotes
  SourcePos pos;
  long long intValue = 0;   // Integer
  double realValue = 0.0;   // Real
};

// How a token kind reads in a message: `';'`, `'place'`, "a name", ...
std::string DescribeTokenKind(TokenKind kind);

}  // namespace sanmodel

#endif
