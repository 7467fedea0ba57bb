#include "model/ModelLoader.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <utility>

#include "model/Checker.h"
#include "model/Lexer.h"
#include "model/Parser.h"
#include "model/Syntax.h"

namespace sanmodel {
namespace {

// `path` with "." and "name/.." removed, so that one file has one name.
std::string NormalizePath(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string out = absolute ? "/" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i > 0 ? "/" : "") + parts[i];
  return out.empty() ? "." : out;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool ReadFromDisk(const std::string& path, std::string* text, std::string* error) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = errno != 0 ? std::strerror(errno) : "cannot open the file";
    return false;
  }
  // One byte past the limit is enough to refuse an oversized file.
  std::string buffer(kMaxFileSize + 1, '\0');
  in.read(&buffer[0], static_cast<std::streamsize>(buffer.size()));
  if (in.bad()) {
    *error = "read error";
    return false;
  }
  buffer.resize(static_cast<std::size_t>(in.gcount()));
  *text = std::move(buffer);
  return true;
}

class Loader {
 public:
  explicit Loader(const FileReader& read) : read_(read) {}

  LoadResult Run(const std::string& path) {
    LoadResult result;
    SourcePos nowhere;
    nowhere.file = 0;
    nowhere.line = 0;
    const int main = LoadFile(path, path, nowhere);
    const bool syntaxOk = result.diagnostics.empty() && diagnostics_.empty();
    if (main >= 0 && syntaxOk) {
      syntax::Program program = Flatten(main);
      if (program.top < 0) {
        Diagnostic missing;
        missing.pos.file = main;
        missing.pos.line = 1;
        missing.pos.column = 1;
        missing.message = "'" + files_[main] + "' declares no san or join; the model simulated is the last one it declares";
        diagnostics_.push_back(missing);
      } else {
        result.model = Check(program, &diagnostics_);
      }
    }
    result.model.Files = files_;
    result.model.Sources = sources_;
    SortDiagnostics(&diagnostics_);
    result.diagnostics = std::move(diagnostics_);
    for (const Diagnostic& d : result.diagnostics) {
      result.report += FormatDiagnostic(d, result.model.Files, result.model.Sources);
    }
    result.ok = result.diagnostics.empty();
    return result;
  }

 private:
  // Reads, lexes and parses `path` and its imports; the file's index, or -1
  // when it could not be read (reported at `from`).
  int LoadFile(const std::string& path, const std::string& shown, const SourcePos& from) {
    const std::string key = NormalizePath(path);
    const auto known = indexByPath_.find(key);
    if (known != indexByPath_.end()) return known->second;
    const bool isMain = files_.empty();
    if (static_cast<int>(files_.size()) >= kMaxFiles) {
      diagnostics_.push_back({from, "more than " + std::to_string(kMaxFiles) + " files through imports (the file limit)"});
      return -1;
    }
    std::string text, error;
    if (!read_(path, &text, &error)) {
      if (isMain) Register(key, shown, "");
      diagnostics_.push_back({from, "cannot read '" + shown + "': " + error});
      return -1;
    }
    if (text.size() > kMaxFileSize) {
      if (isMain) Register(key, shown, "");
      diagnostics_.push_back({from, "'" + shown + "' is larger than 1 MiB (the file size limit)"});
      return -1;
    }
    const int index = Register(key, shown, std::move(text));
    const std::vector<Token> tokens = Lex(sources_[index], index, &diagnostics_);
    parsed_[index] = Parse(tokens, &diagnostics_);
    imports_[index].assign(parsed_[index].declarations.size(), -1);
    for (std::size_t i = 0; i < parsed_[index].declarations.size(); ++i) {
      const auto* import = std::get_if<syntax::Import>(&parsed_[index].declarations[i]);
      if (import == nullptr) continue;
      const std::string target = import->path.size() > 0 && import->path[0] == '/'
                                     ? import->path
                                     : NormalizePath(Folder(files_[index]) + import->path);
      imports_[index][i] = LoadFile(target, target, import->pos);
    }
    return index;
  }

  int Register(const std::string& key, const std::string& shown, std::string text) {
    const int index = static_cast<int>(files_.size());
    indexByPath_[key] = index;
    files_.push_back(shown);
    sources_.push_back(std::move(text));
    parsed_.emplace_back();
    imports_.emplace_back();
    return index;
  }

  syntax::Program Flatten(int main) {
    syntax::Program program;
    std::vector<bool> appended(files_.size(), false);
    Append(main, main, &appended, &program);
    return program;
  }

  // An import's declarations come at the point of the import, once.
  void Append(int file, int main, std::vector<bool>* appended, syntax::Program* program) {
    (*appended)[file] = true;
    std::vector<syntax::Declaration>& declarations = parsed_[file].declarations;
    for (std::size_t i = 0; i < declarations.size(); ++i) {
      syntax::Declaration& declaration = declarations[i];
      if (std::holds_alternative<syntax::Import>(declaration)) {
        const int target = imports_[file][i];
        if (target >= 0 && !(*appended)[target]) Append(target, main, appended, program);
      } else if (auto* global = std::get_if<syntax::GlobalDecl>(&declaration)) {
        program->globals.push_back(std::move(*global));
      } else if (auto* experiment = std::get_if<syntax::ExperimentDecl>(&declaration)) {
        program->experiments.push_back(std::move(*experiment));
      } else if (auto* san = std::get_if<syntax::SanDecl>(&declaration)) {
        if (file == main) {
          program->topIsJoin = false;
          program->top = static_cast<int>(program->sans.size());
        }
        program->sans.push_back(std::move(*san));
      } else if (auto* join = std::get_if<syntax::JoinDecl>(&declaration)) {
        if (file == main) {
          program->topIsJoin = true;
          program->top = static_cast<int>(program->joins.size());
        }
        program->joins.push_back(std::move(*join));
      } else if (auto* reward = std::get_if<syntax::RewardDecl>(&declaration)) {
        program->rewards.push_back(std::move(*reward));
      }
    }
  }

  const FileReader& read_;
  std::vector<std::string> files_;
  std::vector<std::string> sources_;
  std::vector<syntax::File> parsed_;
  std::vector<std::vector<int>> imports_;  // per file, per declaration: the imported file or -1
  std::map<std::string, int> indexByPath_;
  std::vector<Diagnostic> diagnostics_;
};

}  // namespace

LoadResult LoadModel(const std::string& path, const FileReader& read) {
  try {
    return Loader(read).Run(path);
  } catch (const std::exception& e) {
    // Only allocation can throw here (std::bad_alloc, std::length_error).
    LoadResult result;
    result.diagnostics.push_back({SourcePos(), std::string("out of memory while loading the model (") + e.what() + ")"});
    result.report = path + ": error: " + result.diagnostics.back().message + "\n";
    return result;
  }
}

LoadResult LoadModel(const std::string& path) { return LoadModel(path, ReadFromDisk); }

}  // namespace sanmodel
