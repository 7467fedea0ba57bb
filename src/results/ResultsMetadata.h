// ResultsMetadata is what a results file does not say about its run, kept in
// a companion text file beside it (<results file>.meta), so that the results
// file itself keeps every byte readers have always seen. It names the model
// (file and digest, or the built-in GPU model), the experiment and its global
// values, the overrides, the simulation type, the generator, the seeds, the
// software version, and every reward variable with its number, name, kind and
// time point: enough to label the observations and to run them again.
//
// Text format, one "key=value" per line, in the order written; lines that
// start with '#' and empty lines are ignored; an unknown key is kept and
// ignored, so that later versions may add keys:
//   format=gpusim-metadata 1
//   model=<path>                   or "built-in GPU model"
//   model_digest=fnv1a64:<16 hex>  of the model file's bytes (file models only)
//   experiment=<number>
//   experiments=<count>            the experiments the model has (0 .. count-1)
//   global=<name>,<type>,<value>   one per global variable, after overrides
//   overrides=<the -O text>        when given
//   simulation=terminating | steady-state
//   generator=<generator name>
//   seed=<seed>                    the simulator's own; a manager's merged
//                                  file has base_seed=<seed> and one
//                                  simulator=<index>,<seed>,<where> per simulator
//   version=<software version>
//   sweep=<name>[,<name>...]       a point of a manager's sweep (merged file
//                                  DIR/point-<k>.bin): the axes that vary
//                                  across the sweep, each a global's name or
//                                  "experiment"; this point's values are its
//                                  global= lines and experiment=
//   variable=<number>,<name>,<kind>,<time>
// <kind> is instant-of-time, interval-of-time, steady-state-instant or
// steady-state-interval; <time> is the observation's time point (instant
// of time) or "<start>:<stop>" (interval, or a steady-state batch window).
//
// Plain data; not thread-safe. Parsing never throws.
#ifndef RESULTS_RESULTS_METADATA_H
#define RESULTS_RESULTS_METADATA_H

#include <string>
#include <utility>
#include <vector>

struct ResultsMetadata {
  struct Variable {
    int number = 0;
    std::string name;
    std::string kind;
    std::string time;
  };

  std::vector<std::pair<std::string, std::string>> fields;  // in file order, variables included

  // The companion file of a results file: <file>.meta; of a results folder
  // (ResultsFolder.h), the index.meta in it.
  static std::string PathFor(const std::string& resultsPath);
  // Reads path; false when it cannot be opened (a results file without
  // metadata). Malformed lines are skipped: metadata only labels.
  static bool ReadFile(const std::string& path, ResultsMetadata* metadata);
  static ResultsMetadata Parse(const std::string& text);

  std::string Text() const;
  // Writes Text() to path; false with *error set when it cannot.
  bool WriteFile(const std::string& path, std::string* error) const;

  // The value of the first field named key; empty when absent.
  std::string Get(const std::string& key) const;
  void Add(const std::string& key, const std::string& value) { fields.emplace_back(key, value); }
  void Remove(const std::string& key);
  std::vector<Variable> Variables() const;
  // names[i] is variable i's name; numbers without a line have an empty name.
  std::vector<std::string> Names() const;
};

// "fnv1a64:<16 hex digits>" of bytes: a digest that tells one model text
// from another, not a protection against a forged one.
std::string ModelDigest(const std::string& bytes);

#endif
