// Test helper: runs xmllint on a file and reports its exit status and
// messages. Validation uses the document type shipped at the top of the
// source tree, whatever system identifier the document names.
#ifndef TESTS_TRACE_XML_LINT_H
#define TESTS_TRACE_XML_LINT_H

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// Returns xmllint's exit status (0: well-formed, and valid when validating);
// -1 when it could not be run. Its messages go to *report.
inline int RunXmllint(const std::string& path, bool validate, std::string* report) {
  const std::string messages = path + ".xmllint";
  std::string command = "xmllint --noout ";
  if (validate) command += "--dtdvalid '" GPUSIM_SOURCE_DIR "/trace.dtd' ";
  command += "'" + path + "' 2>'" + messages + "'";
  const int status = std::system(command.c_str());
  std::ifstream in(messages);
  std::stringstream text;
  text << in.rdbuf();
  *report = text.str();
  std::remove(messages.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  // 127: the shell found no xmllint (Debian package libxml2-utils).
  if (WEXITSTATUS(status) == 127) *report = "xmllint is not installed\n" + *report;
  return WEXITSTATUS(status);
}

inline int ValidateWithXmllint(const std::string& path, std::string* report) {
  return RunXmllint(path, true, report);
}

inline int CheckWellFormed(const std::string& path, std::string* report) {
  return RunXmllint(path, false, report);
}

#endif
