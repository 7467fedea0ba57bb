// Shared by the tests that run a built executable through the shell or read
// back the files a run wrote: one way to read a file, split it into lines,
// and capture a command's exit status and output streams.
#ifndef TESTS_TESTPROCESS_H
#define TESTS_TESTPROCESS_H

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testprocess {

// The whole file, byte for byte; empty when it cannot be opened.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> ReadLines(const std::string& path) { return Lines(ReadFile(path)); }

struct Outcome {
  int status;  // the exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs command with its standard output and error sent to outPath and
// errPath, reads both back and removes them.
inline Outcome RunRedirected(const std::string& command, const std::string& outPath, const std::string& errPath) {
  const std::string redirected = command + " >'" + outPath + "' 2>'" + errPath + "'";
  const int raw = std::system(redirected.c_str());
  Outcome r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(outPath), ReadFile(errPath)};
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return r;
}

}  // namespace testprocess

#endif
