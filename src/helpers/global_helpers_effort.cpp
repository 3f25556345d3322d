#include "helpers/global_helpers_effort.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>

#include "kit/core/clock.h"
#include "kit/core/format.h"
#include "kit/text/charset.h"

namespace GlobalHelpers {

namespace {

struct Unit {
  const char* suffix;
  float minutes;
  const char* singular;
  const char* plural;
};

// Indexed by unit number.
constexpr std::array<Unit, 7> kUnits = {{
    {"", 0, "", ""},
    {"m", 1, " Minute", " Minutes"},
    {"h", 60, " Hour", " Hours"},
    {"d", 480, " Day", " Days"},
    {"w", 2400, " Week", " Weeks"},
    {"mnth", 9600, " Month", " Months"},
    {"y", 115200, " Year", " Years"},
}};

bool isUnit(int unit) { return unit >= 1 && unit <= 6; }

// NSString's floatValue: the leading number, 0 when there is none; too large is infinite.
float floatValue(std::string_view s) {
  const double d = kit::parseDouble(s);
  if (std::isnan(d)) return 0.0f;
  if (d > FLT_MAX) return HUGE_VALF;
  if (d < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(d);
}

std::string trimmedNumber(std::string_view text) {
  static const kit::CharacterSet letters = kit::CharacterSet::letters();
  return kit::trim(text, letters);
}

}  // namespace

std::string getEffortUnitSuffix(int unit) { return isUnit(unit) ? kUnits[unit].suffix : ""; }

int getEffortUnit(std::string_view text) {
  // "mnth" first: it also ends in "h".
  for (int unit : {5, 1, 2, 3, 4, 6})
    if (text.ends_with(kUnits[unit].suffix)) return unit;
  return 0;
}

float getEffortMinutes(std::string_view text) {
  if (text.empty()) return 0.0f;
  const float value = floatValue(trimmedNumber(text));
  const int unit = getEffortUnit(text);
  return value * (isUnit(unit) ? kUnits[unit].minutes : 60.0f);
}

std::string getEffortForMinutes(float minutes) {
  // Keep the text a number: no "nan" or "inf" efforts.
  if (std::isnan(minutes)) minutes = 0.0f;
  minutes = std::clamp(minutes, -FLT_MAX, FLT_MAX);
  int unit = 1;
  float value = minutes;
  for (int u = 6; u >= 2; --u) {
    const float q = minutes / kUnits[u].minutes;
    if (std::trunc(q) != 0.0f) {
      unit = u;
      value = q;
      break;
    }
  }
  return kit::format("%.2f", static_cast<double>(value)) + kUnits[unit].suffix;
}

std::string getEffortDescription(std::string_view text) {
  const int unit = getEffortUnit(text);
  if (!isUnit(unit)) return std::string(text);
  const std::string number = trimmedNumber(text);
  const float value = floatValue(number);
  float whole = 0.0f;
  const float fraction = std::modf(value, &whole);
  std::string words =
      fraction == 0.0f ? kit::format("%.0f", static_cast<double>(whole)) : number;
  words += (whole == 1.0f && fraction == 0.0f) ? kUnits[unit].singular : kUnits[unit].plural;
  return words;
}

int getTaskStatusForStart(std::optional<kit::Date> start, std::optional<kit::Date> due,
                          int progress) {
  if (progress == 100) return 5;
  if (!start && !due) return 0;
  const kit::Date now = kit::now();
  int status;
  if (!start) {
    if (*due < now) return 4;
    status = 1;
  } else if (!(now.seconds > start->seconds)) {
    status = 1;
  } else if (due && *due < now) {
    return 4;
  } else {
    status = 3;
  }
  if (progress >= 1) status = 2;
  return status;
}

std::optional<std::string> getClockImageForTaskStatus(int status) {
  switch (status) {
    case 1:
    case 2: return "task-clock.png";
    case 3:
    case 4: return "task-clock-overdue.png";
    default: return std::nullopt;
  }
}

std::optional<std::string> getPercentCompleteImageFor(int percentage) {
  if (percentage == -1) return std::nullopt;
  if (percentage <= 4) return "percent-complete-0.png";
  if (percentage <= 34) return "percent-complete-25.png";
  if (percentage <= 59) return "percent-complete-50.png";
  if (percentage <= 99) return "percent-complete-75.png";
  return "percent-complete-100.png";
}

}  // namespace GlobalHelpers
