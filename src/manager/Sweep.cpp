#include "manager/Sweep.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

bool ParseNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(*value);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string Spelled(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

bool ParseRange(const std::string& name, const std::string& range, SweepAxis* axis, std::string* error) {
  const std::vector<std::string> parts = Split(range, ':');
  double from = 0.0;
  double to = 0.0;
  double step = 0.0;
  if (parts.size() != 3 || !ParseNumber(parts[0], &from) || !ParseNumber(parts[1], &to) ||
      !ParseNumber(parts[2], &step) || step <= 0.0 || from > to) {
    *error = "--sweep " + name + "=" + range + ": a range is FROM:TO:STEP with FROM <= TO and STEP > 0";
    return false;
  }
  // A bound reached up to rounding is included: 0:1:0.1 ends at 1.
  const double steps = std::floor((to - from) / step + 1e-9);
  if (steps + 1 > kMaxSweepPoints) {
    *error = "--sweep " + name + "=" + range + " has more than " + std::to_string(kMaxSweepPoints) + " values";
    return false;
  }
  for (long i = 0; i <= static_cast<long>(steps); ++i) axis->values.push_back(Spelled(from + i * step));
  return true;
}

// The -O letter of a global's declared type.
char TypeLetter(const std::string& type) {
  static const std::map<std::string, char> letters = {{"bool", 'b'}, {"char", 'c'},  {"short", 's'}, {"int", 'i'},
                                                      {"long", 'l'}, {"float", 'f'}, {"double", 'd'}};
  const auto found = letters.find(type);
  return found == letters.end() ? '\0' : found->second;
}

// Name to type of every global in the metadata.
std::map<std::string, std::string> GlobalTypes(const ResultsMetadata& metadata) {
  std::map<std::string, std::string> types;
  for (const auto& [key, value] : metadata.fields) {
    if (key != "global") continue;
    const std::vector<std::string> parts = Split(value, ',');
    if (parts.size() >= 2) types[parts[0]] = parts[1];
  }
  return types;
}

bool ExperimentAxis(const std::string& experiments, const ResultsMetadata& metadata, SweepAxis* axis,
                    std::string* error) {
  axis->name = "experiment";
  const std::string countText = metadata.Get("experiments");
  const long count = countText.empty() ? -1 : std::atol(countText.c_str());
  if (experiments == "all") {
    if (count <= 0) {
      *error = "--experiments all: the simulator did not say how many experiments its model has; list them";
      return false;
    }
    for (long e = 0; e < count; ++e) axis->values.push_back(std::to_string(e));
    return true;
  }
  for (const std::string& part : Split(experiments, ',')) {
    char* end = nullptr;
    errno = 0;
    const long e = std::strtol(part.c_str(), &end, 10);
    if (part.empty() || *end != '\0' || errno != 0 || e < 0 || (count > 0 && e >= count)) {
      *error = "--experiments: '" + part + "' is not an experiment of the model" +
               (count > 0 ? " (it has " + std::to_string(count) + ", numbered from 0)" : std::string());
      return false;
    }
    axis->values.push_back(std::to_string(e));
  }
  return true;
}

bool HasOption(const std::string& word, char letter) { return word.size() >= 2 && word[0] == '-' && word[1] == letter; }

}  // namespace

bool ParseSweepAxis(const std::string& text, SweepAxis* axis, std::string* error) {
  const std::size_t equals = text.find('=');
  axis->name = text.substr(0, equals);
  axis->values.clear();
  if (equals == std::string::npos || axis->name.empty() || equals + 1 == text.size()) {
    *error = "--sweep needs NAME=v1,v2,... or NAME=FROM:TO:STEP, not '" + text + "'";
    return false;
  }
  const std::string values = text.substr(equals + 1);
  if (values.find(':') != std::string::npos) return ParseRange(axis->name, values, axis, error);
  axis->values = Split(values, ',');
  for (const std::string& value : axis->values) {
    if (value.empty()) {
      *error = "--sweep " + text + " has an empty value";
      return false;
    }
  }
  return true;
}

bool PlanSweep(const std::string& experiments, const std::vector<SweepAxis>& axes,
               const std::vector<std::string>& simulatorArguments, const ResultsMetadata& metadata,
               std::vector<SweepPoint>* points, std::string* error) {
  std::vector<SweepAxis> all;
  if (!experiments.empty()) {
    for (const std::string& word : simulatorArguments) {
      if (HasOption(word, 'e')) {
        *error = "--experiments chooses the experiments: simulator option -e is not accepted with it";
        return false;
      }
    }
    all.emplace_back();
    if (!ExperimentAxis(experiments, metadata, &all.back(), error)) return false;
  }
  const std::map<std::string, std::string> types = GlobalTypes(metadata);
  std::map<std::string, char> letters;
  for (const SweepAxis& axis : axes) {
    const auto type = types.find(axis.name);
    if (type == types.end() || TypeLetter(type->second) == '\0') {
      std::string known;
      for (const auto& [name, unused] : types) known += (known.empty() ? "" : ", ") + name;
      *error = "--sweep " + axis.name + ": the model has no global of that name" +
               (known.empty() ? std::string(" (it has none)") : " (its globals: " + known + ")");
      return false;
    }
    if (letters.count(axis.name) != 0) {
      *error = "--sweep " + axis.name + " is given twice";
      return false;
    }
    letters[axis.name] = TypeLetter(type->second);
    all.push_back(axis);
  }
  std::size_t count = 1;
  for (const SweepAxis& axis : all) {
    count *= axis.values.size();
    if (count > kMaxSweepPoints) {
      *error = "the sweep has more than " + std::to_string(kMaxSweepPoints) + " points";
      return false;
    }
  }
  // The user's own -O, which the swept values follow.
  std::vector<std::string> base;
  std::string userOverrides;
  for (std::size_t i = 0; i < simulatorArguments.size(); ++i) {
    const std::string& word = simulatorArguments[i];
    if (!HasOption(word, 'O')) {
      base.push_back(word);
    } else if (word.size() > 2) {
      userOverrides = word.substr(2);
    } else if (i + 1 < simulatorArguments.size()) {
      userOverrides = simulatorArguments[++i];
    }
  }
  points->clear();
  std::vector<std::size_t> at(all.size(), 0);
  for (std::size_t n = 0; n < count; ++n) {
    SweepPoint point;
    point.number = static_cast<int>(n + 1);
    point.simulatorArguments = base;
    std::string overrides = userOverrides;
    for (std::size_t a = 0; a < all.size(); ++a) {
      const std::string& value = all[a].values[at[a]];
      point.values.emplace_back(all[a].name, value);
      if (!experiments.empty() && a == 0) {
        point.simulatorArguments.insert(point.simulatorArguments.end(), {"-e", value});
      } else {
        overrides +=
            (overrides.empty() ? "" : ":") + std::string(1, letters[all[a].name]) + ":" + all[a].name + ":" + value;
      }
    }
    if (!overrides.empty()) point.simulatorArguments.insert(point.simulatorArguments.end(), {"-O", overrides});
    points->push_back(point);
    // The odometer: the last axis turns fastest.
    for (std::size_t a = all.size(); a-- > 0;) {
      if (++at[a] < all[a].values.size()) break;
      at[a] = 0;
    }
  }
  return true;
}

std::string DescribePoint(const SweepPoint& point) {
  std::string text;
  for (const auto& [name, value] : point.values) text += (text.empty() ? "" : ", ") + name + "=" + value;
  return text;
}

std::string SweepKey(const std::vector<SweepPoint>& points) {
  std::string key;
  if (points.empty()) return key;
  for (const auto& [name, value] : points.front().values) key += (key.empty() ? "" : ",") + name;
  return key;
}
