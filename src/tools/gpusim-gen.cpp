// gpusim-gen: writes the C++ of a model file, for a simulator of that model
// built with the CMake function gpusim_add_model. The model is checked as
// gpusim --check checks it; a model with problems is refused with the same
// messages and nothing is written.
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "cli/ProgramInfo.h"
#include "codegen/CppGenerator.h"
#include "model/ModelLoader.h"

namespace {

const char kHelp[] =
    "Usage: gpusim-gen FILE -o DIR [--depfile PATH]\n"
    "Checks the model in FILE (the modelling language) and writes its C++ to\n"
    "DIR/GeneratedModel.h and DIR/GeneratedModel.cpp; linked with the simulator\n"
    "core they make a simulator of the model with gpusim's command line. Files\n"
    "whose content would not change are left untouched.\n"
    "\n"
    "Options:\n"
    "  -o DIR          the folder to write to (created if missing)\n"
    "  --depfile PATH  also write a make-style dependency file naming every\n"
    "                  model file read (FILE and its imports)\n"
    "  -h, --help      print this help and exit\n"
    "  -V, --version   print the version and exit\n"
    "\n"
    "Exit status: 0 when the files are written; 1 when the model has problems\n"
    "(each reported as file:line:column: error: ...) or a file cannot be\n"
    "written; 2 on a command-line error.\n"
    "\n"
    "Example: gpusim-gen models/mm1k.san -o build/mm1k\n";

int Usage(const std::string& problem) {
  std::cerr << "gpusim-gen: " << problem << "\n" << "Usage: gpusim-gen FILE -o DIR [--depfile PATH]" << std::endl;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerInfoRequest(argc, argv, std::cout, "gpusim-gen", kHelp)) return 0;
  std::string file, dir, depfile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "-o" || arg == "--depfile") && i + 1 < argc) {
      (arg == "-o" ? dir : depfile) = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
      file = arg;
    } else {
      return Usage("unexpected argument '" + arg + "'");
    }
  }
  if (file.empty() || dir.empty()) return Usage("a model file and -o DIR are needed");
  const sanmodel::LoadResult loaded = sanmodel::LoadModel(file);
  if (!loaded.ok) {
    std::cerr << loaded.report << std::flush;
    return 1;
  }
  std::string error;
  if (!codegen::WriteCpp(loaded.model, dir, &error)) {
    std::cerr << "gpusim-gen: " << error << std::endl;
    return 1;
  }
  if (!depfile.empty()) {
    std::ofstream out(depfile);
    out << dir << "/GeneratedModel.cpp " << dir << "/GeneratedModel.h:";
    for (const std::string& read : loaded.model.Files) out << " " << read;
    out << "\n";
    if (!out) {
      std::cerr << "gpusim-gen: cannot write '" << depfile << "'" << std::endl;
      return 1;
    }
  }
  return 0;
}
