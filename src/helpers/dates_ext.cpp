#include "helpers/dates_ext.h"

#include <cmath>
#include <ctime>
#include <limits>

namespace dates {
namespace {

// Whole seconds at or before the date; nullopt when it does not fit time_t.
std::optional<std::time_t> wholeSeconds(kit::Date date) {
  const double s = std::floor(date.seconds);
  if (!std::isfinite(s) || s < static_cast<double>(std::numeric_limits<std::time_t>::min()) ||
      s >= static_cast<double>(std::numeric_limits<std::time_t>::max())) {
    return std::nullopt;
  }
  return static_cast<std::time_t>(s);
}

}  // namespace

bool hasTimeComponent(kit::Date date) {
  const auto t = wholeSeconds(date);
  std::tm tm{};
  if (!t || !localtime_r(&*t, &tm)) return false;
  return tm.tm_hour != 0 || tm.tm_min != 0;
}

kit::Date dateByRemovingTimeElement(kit::Date date) {
  const auto t = wholeSeconds(date);
  std::tm day{};
  if (!t || !localtime_r(&*t, &day)) return date;
  std::tm tm = day;
  tm.tm_hour = 0;
  tm.tm_min = 0;
  tm.tm_sec = 0;
  tm.tm_isdst = -1;
  std::time_t start = std::mktime(&tm);
  if (start == static_cast<std::time_t>(-1) && tm.tm_year != 69) return date;
  // Where the clocks skip midnight, mktime may land on the evening before; the day then starts
  // at the transition, the first instant whose local date is this day.
  const auto sameDay = [&day](std::time_t x) {
    std::tm l{};
    return localtime_r(&x, &l) && l.tm_year == day.tm_year && l.tm_yday == day.tm_yday;
  };
  if (!sameDay(start) && start < *t) {
    std::time_t lo = start, hi = *t;  // lo is before the day, hi inside it
    while (hi - lo > 1) {
      const std::time_t mid = lo + (hi - lo) / 2;
      (sameDay(mid) ? hi : lo) = mid;
    }
    start = hi;
  }
  return kit::Date{static_cast<double>(start)};
}

bool isLaterThan(kit::Date date, std::optional<kit::Date> other) {
  return !other || date.seconds > other->seconds;
}

}  // namespace dates
