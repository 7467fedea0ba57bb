// The number and string forms shared by every summary the programs print
// (the simulator's results summary, gpusim-report's text, CSV and JSON and
// its gnuplot scripts, gpusim-manager's study summary), so that one figure
// reads the same wherever it appears.
//
// Numbers: ten significant digits in the shortest C form ("%.10g"): 0.1 ->
// "0.1", 1e20 -> "1e+20". What a non-finite value becomes differs by output
// (empty in CSV, null in JSON, "n/a" in a table), so callers choose it.
//
// Strings: double-quoted with '"' and '\' escaped. JSON keeps control
// characters as \u escapes; the other form drops them, for readers (gnuplot,
// a one-line JSON field) where a raw newline would break the line.
//
// Pure functions: no state, safe from any thread.
#ifndef TEXT_TEXT_FORMAT_H
#define TEXT_TEXT_FORMAT_H

#include <string>

// "%.10g" of value, including "nan", "inf" and "-inf".
std::string NumberText(double value);
// NumberText(value) for a finite value, otherwise missing.
std::string FiniteNumberText(double value, const char* missing);

// A JSON string: "a\"b\\c\u000a" for a"b\c and a newline.
std::string JsonString(const std::string& text);
// A double-quoted string with '"' and '\' escaped and control characters
// (below 0x20) left out.
std::string QuotedWithoutControls(const std::string& text);

#endif
