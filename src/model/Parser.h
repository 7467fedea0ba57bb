// Parser builds the syntax tree of one file from its tokens by recursive
// descent over the grammar of docs/modelling-language.md.
//
// A syntax error is reported as a diagnostic; the parser then skips to the
// next member or declaration (past a ';' or to a '}' or keyword at that
// level) and goes on, so one run reports several errors. Expressions and
// blocks nested deeper than kMaxNesting, and expression trees higher than
// kMaxExpressionHeight, are refused, which bounds the recursion of every
// phase whatever the input.
//
// A pure function; safe from any thread.
#ifndef MODEL_PARSER_H
#define MODEL_PARSER_H

#include <vector>

#include "model/Diagnostic.h"
#include "model/Syntax.h"
#include "model/Token.h"

namespace sanmodel {

constexpr int kMaxNesting = 64;
// Operator chains (a + b + c ...) are loops, not recursion, but make deep
// trees that later phases walk recursively: their height is bounded too.
constexpr int kMaxExpressionHeight = 1000;

// REQUIRES: tokens ends with an End token (as Lex makes them).
syntax::File Parse(const std::vector<Token>& tokens, std::vector<Diagnostic>* diagnostics);

}  // namespace sanmodel

#endif
