#include "report/PlotWriter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "report/ReportWriter.h"
#include "text/TextFormat.h"

namespace {

constexpr int kWidth = 1100;
constexpr int kRowHeight = 300;
// The band of the first few observations is so wide (the t quantile of one
// degree of freedom is 12.7) that it would flatten the rest of the picture:
// the y range follows the band only from this share of the run on.
constexpr double kBandRangeFrom = 0.05;
// What fits on one line at the picture's font: the whole width for the
// picture's title, half of it for a panel's.
constexpr std::size_t kTitleLength = 140;
constexpr std::size_t kPanelTitleLength = 80;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A gnuplot double-quoted string; a line break would end the command.
std::string Quoted(const std::string& text) { return QuotedWithoutControls(text); }

// [low, high] padded by 5%, or a unit-wide range around a constant.
std::string Range(double low, double high) {
  double pad = (high - low) * 0.05;
  if (!(pad > 0)) pad = std::max(std::fabs(low) * 0.05, 0.5);
  return "[" + NumberText(low - pad) + ":" + NumberText(high + pad) + "]";
}

// Waits for pid at most timeoutSeconds; kills it when it takes longer.
// Returns its wait status, or -1 when it had to be killed.
int WaitBounded(pid_t pid, int timeoutSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

int VariableNumber(const std::vector<SummaryTable::Row>& rows, const std::string& nameOrNumber) {
  for (const SummaryTable::Row& row : rows) {
    if (row.name == nameOrNumber) return row.pv;
  }
  const bool digits = !nameOrNumber.empty() && nameOrNumber.size() < 6 &&
                      nameOrNumber.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) return -1;
  const int pv = std::atoi(nameOrNumber.c_str());
  for (const SummaryTable::Row& row : rows) {
    if (row.pv == pv) return pv;
  }
  return -1;
}

std::string ShortenedInTheMiddle(const std::string& text, std::size_t maxLength) {
  if (text.size() <= maxLength) return text;
  const std::size_t kept = maxLength - 3;
  const std::size_t head = (kept + 1) / 2;
  return text.substr(0, head) + "..." + text.substr(text.size() - (kept - head));
}

PlotWriter::PlotWriter(const PooledResults& results, double confidence, PlotChoices choices)
    : results_(results), confidence_(confidence), choices_(std::move(choices)) {}

std::string PlotWriter::TerminalFor(const std::string& picturePath) {
  const std::string lower = Lower(picturePath);
  if (EndsWith(lower, ".svg")) return "svg noenhanced dynamic background rgb 'white'";
  if (EndsWith(lower, ".png")) return "pngcairo noenhanced";
  return "";
}

bool PlotWriter::GnuplotAvailable() {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "");
  for (std::string directory; std::getline(directories, directory, ':');) {
    if (directory.empty()) directory = ".";
    if (access((directory + "/gnuplot").c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string PlotWriter::Title() const {
  std::string title;
  const std::vector<PooledResults::File>& files = results_.Files();
  if (!files.empty() && !files.front().metadata.Get("model").empty()) title = files.front().metadata.Get("model") + ": ";
  for (const PooledResults::File& file : files) {
    title += (&file == &files.front() ? "" : "; ") + file.path + " (experiment " + file.experiment + ", seed " +
             file.seed + ", " + file.generator + ")";
  }
  return ShortenedInTheMiddle(title, kTitleLength);
}

std::string PlotWriter::FinalInterval(int pvIndex) const {
  for (const SummaryTable::Row& row : results_.Rows(confidence_)) {
    if (row.pv != pvIndex) continue;
    if (!std::isfinite(row.halfWidth)) return "mean " + NumberText(row.mean) + " (no interval from one observation)";
    char text[160];
    std::snprintf(text, sizeof text, "mean %.6g, %s%% interval [%.6g, %.6g] (half-width %.3g)", row.mean,
                  ReportWriter::PercentText(confidence_).c_str(), row.ciLow, row.ciHigh, row.halfWidth);
    return text;
  }
  return "";
}

std::string PlotWriter::Script(const std::string& picturePath) const {
  const auto& tracks = results_.Tracks();
  int rows = 0;
  for (const auto& entry : tracks) rows += entry.second.Observations() > 0 && choices_.Shows(entry.first) ? 1 : 0;
  std::ostringstream script;
  script << "# Written by gpusim-report; gnuplot redraws the picture from this file alone.\n"
         << "set terminal " << TerminalFor(picturePath) << " size " << kWidth << ","
         << kRowHeight * std::max(rows, 1) + 40 << " font 'sans,10'\n"
         << "set output " << Quoted(picturePath) << "\n"
         // One legend line under each panel; the interval's text on an opaque box.
         << "set grid\nset key below horizontal maxrows 1 samplen 2\nset style fill solid 0.5 border\n"
         << "set style textbox opaque noborder\n"
         << "set multiplot layout " << std::max(rows, 1) << ",2 title " << Quoted(Title()) << "\n";
  int shown = 0;
  for (const auto& [pvIndex, track] : tracks) {
    if (track.Observations() == 0 || !choices_.Shows(pvIndex)) continue;
    // Names come from the table, so both agree.
    std::string name = "pv" + std::to_string(pvIndex);
    for (const PooledResults::Row& row : results_.Rows(confidence_)) {
      if (row.pv == pvIndex) name = row.name;
    }
    script << RunningMeanPanel(pvIndex, name, track) << HistogramPanel(pvIndex, name, track);
    ++shown;
  }
  if (shown == 0) script << "set title 'No observations'\nunset border\nunset tics\nplot [0:1][0:1] NaN notitle\n";
  script << "unset multiplot\nset output\n";
  return script.str();
}

std::string PlotWriter::RunningMeanPanel(int pvIndex, const std::string& name, const ObservationTrack& track) const {
  const std::vector<ObservationTrack::Point> points = track.Points();
  std::ostringstream data;
  double low = points.front().mean;
  double high = low;
  const double rangeFrom = std::max(30.0, kBandRangeFrom * static_cast<double>(track.Observations()));
  for (const ObservationTrack::Point& p : points) {
    // No band below two observations: it is drawn as the mean itself.
    const double halfWidth = p.observations >= 2 ? ConfidenceHalfWidth(confidence_, p.observations, p.standardDeviation) : 0.0;
    data << p.observations << ' ' << NumberText(p.mean) << ' ' << NumberText(p.mean - halfWidth) << ' '
         << NumberText(p.mean + halfWidth) << '\n';
    low = std::min(low, p.mean);
    high = std::max(high, p.mean);
    if (p.observations >= rangeFrom || &p == &points.back()) {
      low = std::min(low, p.mean - halfWidth);
      high = std::max(high, p.mean + halfWidth);
    }
  }
  const auto reference = choices_.references.find(pvIndex);
  std::string referenceLine;
  if (reference != choices_.references.end()) {
    low = std::min(low, reference->second);
    high = std::max(high, reference->second);
    referenceLine = ", " + NumberText(reference->second) + " with lines dt 2 lw 2 lc rgb '#d62728' title " +
                    Quoted("reference " + NumberText(reference->second));
  }
  const std::string block = "$mean" + std::to_string(pvIndex);
  const std::string percent = ReportWriter::PercentText(confidence_);
  std::ostringstream panel;
  panel << block << " << EOD\n" << data.str() << "EOD\n"
        << "set title " << Quoted(ShortenedInTheMiddle(name, kPanelTitleLength - 40) + ": running mean and " + percent +
                                  "% confidence band")
        << "\n"
        << "set label 1 " << Quoted(FinalInterval(pvIndex)) << " at graph 0.02, graph 0.93 front boxed\n"
        << "set logscale x\nset xlabel 'observations'\nset ylabel 'mean'\n"
        << "set xrange [1:" << NumberText(std::max(2.0, static_cast<double>(track.Observations()))) << "]\n"
        // Room above the curves for the interval's text.
        << "set yrange " << Range(low, high + (high - low) * 0.15) << "\n"
        << "plot " << block << " using 1:3:4 with filledcurves lc rgb '#9ecae1' title " << Quoted(percent + "% band")
        << ", " << block << " using 1:2 with lines lw 2 lc rgb '#08519c' title 'running mean'" << referenceLine << "\n"
        << "unset label 1\nunset logscale x\n";
  return panel.str();
}

std::string PlotWriter::HistogramPanel(int pvIndex, const std::string& name, const ObservationTrack& track) const {
  const double width = track.BarWidth();
  double highest = 0.0;
  std::ostringstream data;
  const double n = static_cast<double>(track.Observations());
  for (const ObservationTrack::Bar& bar : track.Histogram()) {
    data << NumberText(bar.value) << ' ' << NumberText(bar.count / n) << '\n';
    highest = std::max(highest, bar.count / n);
  }
  const std::string block = "$hist" + std::to_string(pvIndex);
  std::ostringstream panel;
  panel << block << " << EOD\n" << data.str() << "EOD\n"
        << "set title "
        << Quoted(ShortenedInTheMiddle(name, kPanelTitleLength - 40) + ": histogram of " +
                  std::to_string(track.Observations()) + " observations")
        << "\n"
        << "set xlabel 'value'\nset ylabel 'fraction of observations'\n"
        << "set xrange " << Range(track.Min() - width / 2, track.Max() + width / 2) << "\n"
        << "set yrange [0:" << NumberText(std::max(highest, 1e-12) * 1.1) << "]\n"
        << "set boxwidth " << NumberText(width * (track.NeedsBins() ? 1.0 : 0.8)) << " absolute\n"
        << "plot " << block << " using 1:2 with boxes lc rgb '#3182bd' notitle\n";
  return panel.str();
}

std::string PlotWriter::Draw(const std::string& picturePath, int timeoutSeconds) const {
  if (TerminalFor(picturePath).empty()) return "the picture's name must end in .svg or .png";
  return RunGnuplot(Script(picturePath), picturePath, timeoutSeconds);
}

std::string RunGnuplot(const std::string& text, const std::string& picturePath, int timeoutSeconds) {
  if (!PlotWriter::GnuplotAvailable()) return "gnuplot is not installed or not on PATH (Debian: apt-get install gnuplot-nox)";
  const std::string scriptPath = picturePath + ".gp";
  {
    std::ofstream script(scriptPath, std::ios::binary | std::ios::trunc);
    script << text;
    script.close();
    if (!script) return "cannot write " + scriptPath + ": " + std::strerror(errno);
  }
  const pid_t pid = fork();
  if (pid < 0) return std::string("cannot start gnuplot: ") + std::strerror(errno);
  if (pid == 0) {
    // gnuplot's own messages reach the user on the error stream; its
    // standard output is not part of the report.
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
    execlp("gnuplot", "gnuplot", scriptPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const int status = WaitBounded(pid, timeoutSeconds);
  if (status == -1) return "gnuplot did not finish within " + std::to_string(timeoutSeconds) + " s";
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "gnuplot failed on " + scriptPath;
  return "";
}
