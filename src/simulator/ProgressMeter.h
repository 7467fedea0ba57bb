// ProgressMeter keeps one line on the error stream up to date while a long
// run goes on: replications (or batches) done and their rate, and, when the
// run has a limit, the percentage done and an estimate of the time left. The
// line is rewritten in place ("\r", then an erase to the end of the line) at
// most kRedrawsPerSecond times a second, and ends with a summary line when
// the run finishes.
//
// It draws only when asked to at Start (see WantedOnStandardError): when the
// error stream is not a terminal, the run's output stays exactly what it is
// without it.
//
// Cost: Count is one decrement and one test; the clock is read only every
// so many calls, a stride that adapts so that reads happen about a hundred
// times a second whatever the length of a replication. A meter that is off
// never reads the clock.
//
// Not thread-safe: used by the simulation thread only. It writes straight to
// file descriptor 2, so nothing is buffered behind other error output.
#ifndef PROGRESS_METER_H
#define PROGRESS_METER_H

#include <chrono>
#include <climits>
#include <string>

class ProgressMeter {
 public:
  static constexpr int kRedrawsPerSecond = 4;

  // True when the error stream is a terminal and the environment variable
  // GPUSIM_PROGRESS is not set to 0 (or "off", "no", "false").
  static bool WantedOnStandardError();

  // Starts a run of units ("replications", "batches"); limit <= 0 means the
  // run has none. A meter started with enabled false stays silent.
  void Start(const char* unit, long limit, bool enabled);
  // Called once per completed unit with the total done so far.
  void Count(long done) {
    if (--countdown_ == 0) Check(done);
  }
  // Replaces the line by the run's summary and ends it. No effect when off.
  void Finish(long done);

  // The text of the line for done units after elapsedSeconds; exposed for
  // the tests.
  static std::string LineText(const char* unit, long done, long limit, double elapsedSeconds);

 private:
  using Clock = std::chrono::steady_clock;

  void Check(long done);
  void Draw(const std::string& text, bool endLine);

  bool enabled_ = false;
  const char* unit_ = "";
  long limit_ = 0;
  long countdown_ = LONG_MAX;
  long stride_ = 1;
  Clock::time_point start_;
  Clock::time_point lastCheck_;
  Clock::time_point lastDraw_;
};

#endif
