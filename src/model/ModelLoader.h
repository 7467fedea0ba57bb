// ModelLoader is the front door of the modelling language: it reads a model
// file and its imports, lexes, parses and checks them, and returns the
// checked model or every error found, formatted for the user.
//
// Imports are read relative to the importing file's folder; a file is read
// once however often it is imported (so an import cycle is harmless). The
// limits of docs/modelling-language.md (file size, file count, nesting,
// element counts, array lengths, experiments) are enforced here and in the
// phases, each with a message naming it; nothing in the input makes the
// loader allocate without bound. No exception escapes.
//
// Thread-safe: no state outside a call (the reader must be safe itself).
#ifndef MODEL_MODELLOADER_H
#define MODEL_MODELLOADER_H

#include <functional>
#include <string>
#include <vector>

#include "model/CheckedModel.h"
#include "model/Diagnostic.h"

namespace sanmodel {

constexpr std::size_t kMaxFileSize = 1 << 20;
constexpr int kMaxFiles = 64;

// Reads the file at `path` into *text; false with *error (the reason, e.g.
// "No such file or directory") when it cannot.
using FileReader = std::function<bool(const std::string& path, std::string* text, std::string* error)>;

struct LoadResult {
  bool ok = false;             // no diagnostics: the model is complete
  CheckedModel model;          // Files and Sources are filled even when !ok
  std::vector<Diagnostic> diagnostics;  // in source order
  std::string report;          // all diagnostics formatted, in order
};

// Reads from disk.
LoadResult LoadModel(const std::string& path);

// Reads through `read` (tests and fuzzing).
LoadResult LoadModel(const std::string& path, const FileReader& read);

}  // namespace sanmodel

#endif
