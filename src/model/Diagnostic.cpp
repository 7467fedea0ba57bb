#include "model/Diagnostic.h"

#include <algorithm>
#include <cctype>

namespace sanmodel {
namespace {

// The text of 1-based line `line`, without its end of line; false when the
// source has no such line.
bool FindLine(const std::string& source, int line, std::string* text) {
  if (line < 1) return false;
  std::size_t start = 0;
  for (int current = 1; current < line; ++current) {
    const std::size_t newline = source.find('\n', start);
    if (newline == std::string::npos) return false;
    start = newline + 1;
  }
  if (start > source.size()) return false;
  std::size_t end = source.find('\n', start);
  if (end == std::string::npos) end = source.size();
  if (end > start && source[end - 1] == '\r') --end;
  *text = source.substr(start, end - start);
  return true;
}

// Spaces up to the caret, except that tabs stay tabs so the caret lines up
// under the quoted text whatever the tab width.
std::string CaretLine(const std::string& line, int column, int length) {
  std::string out = "    ";
  const std::size_t caret = static_cast<std::size_t>(std::max(column, 1) - 1);
  for (std::size_t i = 0; i < caret; ++i) out += (i < line.size() && line[i] == '\t') ? '\t' : ' ';
  out += '^';
  const std::size_t room = line.size() > caret ? line.size() - caret : 1;
  const std::size_t tildes = std::min(static_cast<std::size_t>(std::max(length, 1)), std::max<std::size_t>(room, 1)) - 1;
  out.append(tildes, '~');
  return out;
}

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Levenshtein distance, giving up (returning limit + 1) once it exceeds limit.
std::size_t EditDistance(const std::string& a, const std::string& b, std::size_t limit) {
  if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) return limit + 1;
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    std::size_t best = row[0];
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
      best = std::min(best, row[j]);
    }
    if (best > limit) return limit + 1;
  }
  return row[b.size()];
}

}  // namespace

std::string FormatDiagnostic(const Diagnostic& diagnostic, const std::vector<std::string>& files,
                             const std::vector<std::string>& sources) {
  const SourcePos& pos = diagnostic.pos;
  const bool known = pos.file >= 0 && static_cast<std::size_t>(pos.file) < files.size();
  std::string out = known ? files[pos.file] : std::string("<unknown>");
  // A file-wide error (one that cannot be read) has no line to point at.
  if (pos.line <= 0) return out + ": error: " + diagnostic.message + '\n';
  out += ':' + std::to_string(pos.line) + ':' + std::to_string(pos.column) + ": error: " +
         diagnostic.message + '\n';
  std::string line;
  if (known && static_cast<std::size_t>(pos.file) < sources.size() &&
      FindLine(sources[pos.file], pos.line, &line)) {
    out += "    " + line + '\n' + CaretLine(line, pos.column, pos.length) + '\n';
  }
  return out;
}

std::string SuggestName(const std::string& name, const std::vector<std::string>& candidates) {
  // Long names are not worth the quadratic distance; none is written by hand.
  if (name.size() > 256) return "";
  const std::string lowered = Lower(name);
  const std::size_t limit = std::max<std::size_t>(1, name.size() / 3);
  std::string best;
  std::size_t bestDistance = limit + 1;
  for (const std::string& candidate : candidates) {
    if (candidate == name || candidate.size() > 256) continue;
    const std::size_t distance =
        Lower(candidate) == lowered ? 0 : EditDistance(name, candidate, limit);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

void SortDiagnostics(std::vector<Diagnostic>* diagnostics) {
  std::stable_sort(diagnostics->begin(), diagnostics->end(),
                   [](const Diagnostic& a, const Diagnostic& b) {
                     if (a.pos.file != b.pos.file) return a.pos.file < b.pos.file;
                     if (a.pos.line != b.pos.line) return a.pos.line < b.pos.line;
                     return a.pos.column < b.pos.column;
                   });
}

}  // namespace sanmodel
