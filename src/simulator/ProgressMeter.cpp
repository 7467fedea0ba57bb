#include "simulator/ProgressMeter.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reads of the clock aim at this spacing; the stride between reads doubles
// or halves to follow it.
constexpr double kCheckSpacingSeconds = 0.01;
constexpr long kMaxStride = 1L << 24;

double SecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

std::string Duration(double seconds) {
  char text[32];
  const long whole = static_cast<long>(seconds + 0.5);
  if (whole < 60) {
    std::snprintf(text, sizeof text, "%lds", whole);
  } else if (whole < 3600) {
    std::snprintf(text, sizeof text, "%ldm%02lds", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ldh%02ldm", whole / 3600, whole / 60 % 60);
  }
  return text;
}

}  // namespace

bool ProgressMeter::WantedOnStandardError() {
  const char* setting = std::getenv("GPUSIM_PROGRESS");
  if (setting != nullptr) {
    for (const char* off : {"0", "off", "no", "false"}) {
      if (std::strcmp(setting, off) == 0) return false;
    }
  }
  return isatty(STDERR_FILENO) == 1;
}

void ProgressMeter::Start(const char* unit, long limit, bool enabled) {
  enabled_ = enabled;
  unit_ = unit;
  limit_ = limit;
  stride_ = 1;
  countdown_ = enabled ? stride_ : LONG_MAX;
  start_ = lastCheck_ = lastDraw_ = Clock::now();
}

void ProgressMeter::Check(long done) {
  const Clock::time_point now = Clock::now();
  const double sinceCheck = SecondsBetween(lastCheck_, now);
  if (sinceCheck < kCheckSpacingSeconds / 2 && stride_ < kMaxStride) {
    stride_ *= 2;
  } else if (sinceCheck > kCheckSpacingSeconds * 2 && stride_ > 1) {
    stride_ /= 2;
  }
  countdown_ = stride_;
  lastCheck_ = now;
  if (SecondsBetween(lastDraw_, now) < 1.0 / kRedrawsPerSecond) return;
  lastDraw_ = now;
  Draw(LineText(unit_, done, limit_, SecondsBetween(start_, now)), false);
}

void ProgressMeter::Finish(long done) {
  if (!enabled_) return;
  const double elapsed = SecondsBetween(start_, Clock::now());
  char text[128];
  std::snprintf(text, sizeof text, "%ld %s in %.2f s", done, unit_, elapsed);
  std::string line = text;
  if (elapsed > 0) {
    std::snprintf(text, sizeof text, " (%.0f/s)", done / elapsed);
    line += text;
  }
  Draw(line, true);
  enabled_ = false;
  countdown_ = LONG_MAX;
}

std::string ProgressMeter::LineText(const char* unit, long done, long limit, double elapsedSeconds) {
  const double rate = elapsedSeconds > 0 ? done / elapsedSeconds : 0.0;
  char text[160];
  if (limit > 0) {
    const std::string left = rate > 0 ? Duration((limit - done) / rate) : std::string("?");
    std::snprintf(text, sizeof text, "%ld/%ld %s (%.1f%%), %.0f/s, %s left", done, limit, unit,
                  100.0 * done / limit, rate, left.c_str());
  } else {
    std::snprintf(text, sizeof text, "%ld %s, %.0f/s, %s", done, unit, rate, Duration(elapsedSeconds).c_str());
  }
  return text;
}

void ProgressMeter::Draw(const std::string& text, bool endLine) {
  // Carriage return, the text, then erase whatever a longer earlier line left.
  const std::string line = "\r" + text + "\033[K" + (endLine ? "\n" : "");
  // A terminal that cannot be written is not worth stopping a run for.
  if (write(STDERR_FILENO, line.data(), line.size()) < 0) {
    enabled_ = false;
    countdown_ = LONG_MAX;
  }
}
