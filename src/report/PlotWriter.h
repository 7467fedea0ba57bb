// PlotWriter draws the two pictures a modeller reads to judge whether a
// study has converged, for every reward variable with observations: the
// running mean with its confidence band against the number of observations
// (logarithmic axis), and the histogram of the observations. One picture
// file holds them all, a row per variable.
//
// The drawing is done by gnuplot, run on a generated script that carries its
// data inline; the script is kept beside the picture (<picture>.gp) so a
// user can restyle and redraw it. The picture's kind follows its extension:
// .svg or .png.
//
// A modeller's choices shape the picture: a subset of the variables, and
// reference values (an exact result, a target) drawn as dashed lines named in
// the legend. Every running-mean panel states its final interval in text; a
// title too long for its picture is shortened in the middle ("...").
//
// Not thread-safe. Holds a reference to the results, which must outlive it.
#ifndef PLOT_WRITER_H
#define PLOT_WRITER_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "report/PooledResults.h"
#include "results/SummaryTable.h"

// What a user chose to see, by variable number (VariableNumber resolves names).
struct PlotChoices {
  std::map<int, double> references;  // a reference value per variable
  std::set<int> variables;           // the variables drawn; empty: all
  bool Shows(int pv) const { return variables.empty() || variables.count(pv) > 0; }
};

// The number of the row named nameOrNumber (its name, or its number as
// digits); -1 when no row is.
int VariableNumber(const std::vector<SummaryTable::Row>& rows, const std::string& nameOrNumber);

// text when it has at most maxLength characters, otherwise its start and end
// around "...", maxLength in all. REQUIRES: maxLength >= 5.
std::string ShortenedInTheMiddle(const std::string& text, std::size_t maxLength);

// Writes script to <picturePath>.gp and runs gnuplot on it, waiting at most
// timeoutSeconds. Returns an empty string on success, otherwise the reason it
// failed (gnuplot's own messages go to the error stream).
std::string RunGnuplot(const std::string& script, const std::string& picturePath, int timeoutSeconds);

class PlotWriter {
 public:
  // REQUIRES: results were read with tracks kept; 0 < confidence < 1.
  PlotWriter(const PooledResults& results, double confidence, PlotChoices choices = {});

  // The gnuplot terminal for a picture path (by its extension, any case),
  // or empty when the extension is neither .svg nor .png.
  static std::string TerminalFor(const std::string& picturePath);
  // Whether gnuplot can be found on PATH.
  static bool GnuplotAvailable();

  // The whole script that draws picturePath.
  // REQUIRES: TerminalFor(picturePath) is not empty.
  std::string Script(const std::string& picturePath) const;

  // Writes the script to <picturePath>.gp and runs gnuplot on it, waiting at
  // most timeoutSeconds. Returns an empty string on success, otherwise the
  // reason it failed (gnuplot's own messages go to the error stream).
  std::string Draw(const std::string& picturePath, int timeoutSeconds = 120) const;

 private:
  std::string RunningMeanPanel(int pvIndex, const std::string& name, const ObservationTrack& track) const;
  std::string HistogramPanel(int pvIndex, const std::string& name, const ObservationTrack& track) const;
  std::string Title() const;
  std::string FinalInterval(int pvIndex) const;

  const PooledResults& results_;
  double confidence_;
  PlotChoices choices_;
};

#endif
