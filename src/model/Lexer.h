// Lexer turns the text of one model file into tokens (the last one End).
// Malformed input (an unknown character, an unterminated comment or string,
// a number out of range) is reported as a diagnostic and skipped, so the
// parser always gets a well-formed token list.
//
// A pure function: no state survives a call; safe from any thread.
#ifndef MODEL_LEXER_H
#define MODEL_LEXER_H

#include <string>
#include <vector>

#include "model/Diagnostic.h"
#include "model/Token.h"

namespace sanmodel {

// `file` is the index stamped on every token's position.
std::vector<Token> Lex(const std::string& text, int file, std::vector<Diagnostic>* diagnostics);

}  // namespace sanmodel

#endif
