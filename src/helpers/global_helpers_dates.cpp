#include "helpers/global_helpers_dates.h"

#include <array>
#include <cstdlib>

#include "helpers/dates_ext.h"
#include "kit/text/date_format.h"

namespace GlobalHelpers {

namespace {

constexpr const char* kIsoSeconds = "%Y-%m-%dT%H:%M:%S";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Fractional seconds go (every point followed by digits), and the colon of a zone "+hh:mm" at
// the very end, so that "%z" can read what is left.
std::string withoutFractionsAndZoneColon(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '.' && i + 1 < text.size() && isDigit(text[i + 1])) {
      ++i;
      while (i < text.size() && isDigit(text[i])) ++i;
      continue;
    }
    out += text[i++];
  }
  const std::size_t n = out.size();
  if (n >= 3 && out[n - 3] == ':' && isDigit(out[n - 2]) && isDigit(out[n - 1])) out.erase(n - 3, 1);
  return out;
}

std::string calendarDateElement(kit::Date date) {
  auto c = kit::localComponents(date);
  auto offset = kit::localUtcOffsetSeconds(date);
  if (!c || !offset) return {};
  // Whole hours, truncated towards zero: +5:30 is 5, -3:30 is -3.
  const long hours = *offset / 3600;
  return "<NSCalendarDate><year>" + std::to_string(c->year) + "</year><month>" +
         std::to_string(c->month) + "</month><day>" + std::to_string(c->day) + "</day><hour>" +
         std::to_string(c->hour) + "</hour><minute>" + std::to_string(c->minute) +
         "</minute><second>00</second><utc>" + std::to_string(hours) + "</utc></NSCalendarDate>";
}

// Making an ICU formatter costs some 50 microseconds, using one about 1; notes and exports
// format dates for every topic. One set per thread, made again when the zone or locale changes.
struct LocalisedFormatters {
  std::string environment;
  kit::DateFormatter mediumDate;
  kit::DateFormatter mediumDateShortTime;
  // The default styles: date and time, date and short time, the date alone. Read strictly: a
  // lenient reading turns text of another shape into a wrong date ("2011-07-04" into 2171).
  std::array<kit::DateFormatter, 3> defaultStyles;

  LocalisedFormatters() {
    mediumDate.setDateStyle(kit::DateStyle::Medium);
    mediumDateShortTime.setDateStyle(kit::DateStyle::Medium);
    mediumDateShortTime.setTimeStyle(kit::DateStyle::Short);
    const kit::DateStyle times[] = {kit::DateStyle::Medium, kit::DateStyle::Short, kit::DateStyle::None};
    for (std::size_t i = 0; i < defaultStyles.size(); ++i) {
      defaultStyles[i].setDateStyle(kit::DateStyle::Medium);
      defaultStyles[i].setTimeStyle(times[i]);
    }
  }
};

LocalisedFormatters& localisedFormatters() {
  thread_local std::optional<LocalisedFormatters> cached;
  std::string environment = kit::formatterEnvironmentKey();
  if (!cached || cached->environment != environment) {
    cached.emplace();
    cached->environment = std::move(environment);
  }
  return *cached;
}

std::optional<std::string> localisedText(kit::Date date) {
  if (!kit::localComponents(date)) return std::nullopt;
  LocalisedFormatters& f = localisedFormatters();
  return (dates::hasTimeComponent(date) ? f.mediumDateShortTime : f.mediumDate).stringFromDate(date);
}

std::optional<kit::Date> localisedDate(std::string_view text) {
  LocalisedFormatters& f = localisedFormatters();
  if (auto d = f.mediumDate.dateFromString(text)) return d;
  return f.mediumDateShortTime.dateFromString(text);
}

std::optional<kit::Date> inDefaultStyles(std::string_view text) {
  for (const kit::DateFormatter& f : localisedFormatters().defaultStyles)
    if (auto d = f.dateFromString(text)) return d;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> _createStringFromDate(kit::Date date, std::string_view formattedAs) {
  return kit::formatPosixDate(date, formattedAs);
}

std::optional<kit::Date> _createDateFromString(std::string_view string,
                                               std::string_view formattedAs) {
  if (string.empty() || formattedAs.empty()) return std::nullopt;
  auto c = kit::parsePosixDate(string, formattedAs);
  if (!c) return std::nullopt;
  return kit::dateFromLocalComponents(*c);
}

std::optional<std::string> createStringFromDate(std::optional<kit::Date> date, int formattedAs) {
  if (!date) return std::nullopt;
  switch (formattedAs) {
    case 1: return _createStringFromDate(*date, "%d%m%y %H%M%S");
    case 2: return localisedText(*date);
    case 3:
    case 6:
    case 9: return _createStringFromDate(*date, kIsoSeconds);
    case 4: {
      std::string s = calendarDateElement(*date);
      if (s.empty()) return std::nullopt;
      return s;
    }
    case 5: return _createStringFromDate(*date, "%Y-%m-%d %H:%M:%S");
    case 7: {
      auto s = _createStringFromDate(*date, "%Y-%m-%dT%H:%M:%S.000%z");
      if (!s || s->size() < 2) return s;
      s->insert(s->size() - 2, 1, ':');  // +0100 becomes +01:00
      return s;
    }
    case 8: return _createStringFromDate(*date, "%Y-%m-%dT%H:%M");
    default: return std::nullopt;
  }
}

std::optional<kit::Date> createDateFromString(std::string_view string, int formattedAs) {
  if (string.empty()) return std::nullopt;
  switch (formattedAs) {
    case 0: return inDefaultStyles(string);
    case 1: return _createDateFromString(string, "%d%m%y %H%M%S");
    case 2: return localisedDate(string);
    case 3:
    case 6:
    case 9: return _createDateFromString(string, kIsoSeconds);
    case 5:
      if (auto d = _createDateFromString(string, "%Y-%m-%d %H:%M:%S")) return d;
      return _createDateFromString(string, "%Y-%m-%d");
    case 7: return _createDateFromString(withoutFractionsAndZoneColon(string), "%Y-%m-%dT%H:%M:%S%z");
    case 8: return _createDateFromString(string, "%Y-%m-%dT%H:%M");
    default: return std::nullopt;  // 4 is never read
  }
}

}  // namespace GlobalHelpers
