#include "model/Lexer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace sanmodel {
namespace {

struct Spelling {
  const char* text;
  TokenKind kind;
};

const Spelling kKeywords[] = {
    {"import", TokenKind::Import}, {"global", TokenKind::Global},
    {"experiment", TokenKind::Experiment}, {"san", TokenKind::San}, {"place", TokenKind::Place},
    {"activity", TokenKind::Activity}, {"timed", TokenKind::Timed},
    {"instantaneous", TokenKind::Instantaneous}, {"enabled", TokenKind::Enabled},
    {"fire", TokenKind::Fire}, {"case", TokenKind::Case}, {"weight", TokenKind::Weight},
    {"rank", TokenKind::Rank}, {"reactivation", TokenKind::Reactivation},
    {"reactivate", TokenKind::Reactivate}, {"policy", TokenKind::Policy},
    {"reads", TokenKind::Reads}, {"affects", TokenKind::Affects}, {"join", TokenKind::Join},
    {"submodel", TokenKind::Submodel}, {"share", TokenKind::Share},
    {"reward", TokenKind::Reward}, {"rate", TokenKind::Rate}, {"impulse", TokenKind::Impulse},
    {"instant", TokenKind::Instant}, {"interval", TokenKind::Interval},
    {"steady", TokenKind::Steady}, {"averaged", TokenKind::Averaged}, {"to", TokenKind::To},
    {"step", TokenKind::Step}, {"if", TokenKind::If}, {"else", TokenKind::Else},
    {"true", TokenKind::True}, {"false", TokenKind::False}, {"bool", TokenKind::Bool},
    {"char", TokenKind::Char}, {"short", TokenKind::Short}, {"int", TokenKind::Int},
    {"long", TokenKind::Long}, {"float", TokenKind::Float}, {"double", TokenKind::Double},
};

// Longest spellings first, so that "+=" wins over "+".
const Spelling kPunctuation[] = {
    {"+=", TokenKind::PlusAssign}, {"-=", TokenKind::MinusAssign},
    {"*=", TokenKind::StarAssign}, {"/=", TokenKind::SlashAssign},
    {"%=", TokenKind::PercentAssign}, {"++", TokenKind::PlusPlus},
    {"--", TokenKind::MinusMinus}, {"&&", TokenKind::AndAnd}, {"||", TokenKind::OrOr},
    {"<=", TokenKind::LessEqual}, {">=", TokenKind::GreaterEqual},
    {"==", TokenKind::EqualEqual}, {"!=", TokenKind::NotEqual},
    {"{", TokenKind::LeftBrace}, {"}", TokenKind::RightBrace}, {"(", TokenKind::LeftParen},
    {")", TokenKind::RightParen}, {"[", TokenKind::LeftBracket},
    {"]", TokenKind::RightBracket}, {";", TokenKind::Semicolon}, {",", TokenKind::Comma},
    {".", TokenKind::Dot}, {"?", TokenKind::Question}, {":", TokenKind::Colon},
    {"=", TokenKind::Assign}, {"+", TokenKind::Plus}, {"-", TokenKind::Minus},
    {"*", TokenKind::Star}, {"/", TokenKind::Slash}, {"%", TokenKind::Percent},
    {"!", TokenKind::Not}, {"<", TokenKind::Less}, {">", TokenKind::Greater},
};

bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

class Lexer {
 public:
  Lexer(const std::string& text, int file, std::vector<Diagnostic>* diagnostics)
      : text_(text), file_(file), diagnostics_(diagnostics) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    while (SkipSpaceAndComments()) {
      Token token;
      if (LexToken(&token)) tokens.push_back(std::move(token));
    }
    Token end;
    end.kind = TokenKind::End;
    end.pos = Here(1);
    tokens.push_back(end);
    return tokens;
  }

 private:
  SourcePos Here(int length) const {
    SourcePos pos;
    pos.file = file_;
    pos.line = line_;
    pos.column = static_cast<int>(at_ - lineStart_) + 1;
    pos.length = std::max(length, 1);
    return pos;
  }

  void Error(const SourcePos& pos, std::string message) {
    diagnostics_->push_back({pos, std::move(message)});
  }

  char Peek(std::size_t ahead = 0) const {
    return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
  }

  void Advance() {
    if (text_[at_] == '\n') {
      ++line_;
      lineStart_ = at_ + 1;
    }
    ++at_;
  }

  // False at the end of the text.
  bool SkipSpaceAndComments() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
        Advance();
      } else if (c == '/' && Peek(1) == '/') {
        while (at_ < text_.size() && text_[at_] != '\n') Advance();
      } else if (c == '/' && Peek(1) == '*') {
        const SourcePos start = Here(2);
        Advance();
        Advance();
        while (at_ < text_.size() && !(text_[at_] == '*' && Peek(1) == '/')) Advance();
        if (at_ >= text_.size()) {
          Error(start, "unterminated comment: '/*' has no '*/'");
          return false;
        }
        Advance();
        Advance();
      } else {
        return true;
      }
    }
    return false;
  }

  // False when the characters made no token (an error was reported).
  bool LexToken(Token* token) {
    const char c = text_[at_];
    if (IsNameStart(c)) return LexName(token);
    if (IsDigit(c)) return LexNumber(token);
    if (c == '"') return LexString(token);
    for (const Spelling& spelling : kPunctuation) {
      const std::string_view view(spelling.text);
      if (text_.compare(at_, view.size(), view) == 0) {
        token->kind = spelling.kind;
        token->text = spelling.text;
        token->pos = Here(static_cast<int>(view.size()));
        for (std::size_t i = 0; i < view.size(); ++i) Advance();
        return true;
      }
    }
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      Error(Here(1), "non-ASCII character outside a comment or string");
    } else if (byte < 0x20 || byte == 0x7f) {
      Error(Here(1), "unexpected control character (code " + std::to_string(byte) + ")");
    } else {
      Error(Here(1), std::string("unexpected character '") + c + "'");
    }
    Advance();
    return false;
  }

  bool LexName(Token* token) {
    const std::size_t start = at_;
    token->pos = Here(1);
    while (at_ < text_.size() && IsNameChar(text_[at_])) Advance();
    token->text = text_.substr(start, at_ - start);
    token->pos.length = static_cast<int>(at_ - start);
    token->kind = TokenKind::Name;
    for (const Spelling& keyword : kKeywords) {
      if (token->text == keyword.text) token->kind = keyword.kind;
    }
    return true;
  }

  bool LexNumber(Token* token) {
    const std::size_t start = at_;
    token->pos = Here(1);
    bool real = false;
    while (IsDigit(Peek())) Advance();
    if (Peek() == '.') {
      real = true;
      Advance();
      while (IsDigit(Peek())) Advance();
    }
    bool malformed = false;
    if (Peek() == 'e' || Peek() == 'E') {
      real = true;
      Advance();
      if (Peek() == '+' || Peek() == '-') Advance();
      if (!IsDigit(Peek())) malformed = true;
      while (IsDigit(Peek())) Advance();
    }
    // A name glued to a number ("12abc") is one malformed token, not two.
    while (IsNameChar(Peek())) {
      malformed = true;
      Advance();
    }
    token->text = text_.substr(start, at_ - start);
    token->pos.length = static_cast<int>(at_ - start);
    // A bad number still makes a token (of value 0), so that the parser does
    // not report a second error for the same text.
    token->kind = real ? TokenKind::Real : TokenKind::Integer;
    if (malformed) {
      Error(token->pos, "malformed number '" + token->text + "'");
      return true;
    }
    errno = 0;
    if (real) {
      token->realValue = std::strtod(token->text.c_str(), nullptr);
      if (errno == ERANGE && std::isinf(token->realValue)) {
        Error(token->pos, "number '" + token->text + "' is too large for a double");
        token->realValue = 0.0;
      }
      return true;
    }
    token->intValue = std::strtoll(token->text.c_str(), nullptr, 10);
    if (errno == ERANGE) {
      Error(token->pos, "integer '" + token->text + "' is above 9223372036854775807");
      token->intValue = 0;
    }
    return true;
  }

  bool LexString(Token* token) {
    token->pos = Here(1);
    Advance();
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != '"' && text_[at_] != '\n') Advance();
    if (at_ >= text_.size() || text_[at_] != '"') {
      Error(token->pos, "unterminated string: a string ends with '\"' on its own line");
      return false;
    }
    token->text = text_.substr(start, at_ - start);
    Advance();
    token->kind = TokenKind::String;
    token->pos.length = static_cast<int>(token->text.size()) + 2;
    return true;
  }

  const std::string& text_;
  const int file_;
  std::vector<Diagnostic>* diagnostics_;
  std::size_t at_ = 0;
  std::size_t lineStart_ = 0;
  int line_ = 1;
};

}  // namespace

std::string DescribeTokenKind(TokenKind kind) {
  switch (kind) {
    case TokenKind::End: return "the end of the file";
    case TokenKind::Name: return "a name";
    case TokenKind::Integer: return "an integer";
    case TokenKind::Real: return "a number";
    case TokenKind::String: return "a string";
    default: break;
  }
  for (const Spelling& keyword : kKeywords) {
    if (keyword.kind == kind) return std::string("'") + keyword.text + "'";
  }
  for (const Spelling& punctuation : kPunctuation) {
    if (punctuation.kind == kind) return std::string("'") + punctuation.text + "'";
  }
  return "a token";
}

std::vector<Token> Lex(const std::string& text, int file, std::vector<Diagnostic>* diagnostics) {
  return Lexer(text, file, diagnostics).Run();
}

}  // namespace sanmodel
