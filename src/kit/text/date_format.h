// Dates as text: POSIX strftime/strptime on the local time breakdown, and ICU date formatters
// with date and time styles or localised templates. The local time zone is the environment's
// (TZ), re-read on every call so that a change followed by tzset() is seen at once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace kit {

// Gregorian calendar fields; month 1-12, day 1-31. Out-of-range fields given to
// dateFromLocalComponents() carry over (day 0 is the last day of the month before).
struct DateComponents {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

// The date's whole seconds (truncated towards zero) broken down in the local time zone;
// nullopt for a date that cannot be broken down (not finite, or beyond the C library's years).
std::optional<DateComponents> localComponents(Date d);
// The local zone's offset from UTC at that date, in seconds (east positive).
std::optional<long> localUtcOffsetSeconds(Date d);
// The date of wall-clock components in the local zone; nullopt when out of range.
std::optional<Date> dateFromLocalComponents(const DateComponents& c);

// strftime of the date's local breakdown into a 200-byte buffer, in the "C" locale. Empty when
// the result does not fit; nullopt when the date cannot be broken down.
std::optional<std::string> formatPosixDate(Date d, std::string_view pattern);
// strptime in the "C" locale, matching the pattern from the start of the text (characters left
// after the match are ignored). Fields the pattern does not set are 0 (so month 1, year 1900);
// a "%z" offset is read but not applied. nullopt when the text does not match.
std::optional<DateComponents> parsePosixDate(std::string_view text, std::string_view pattern);

// The device's locale id for formatters (ICU's default locale, "en_US_POSIX" under LANG=C).
std::string defaultLocaleId();
// What a cached formatter depends on (the TZ variable and ICU's default locale): a formatter kept
// across calls is made again when this changes.
std::string formatterEnvironmentKey();

enum class DateStyle { None, Short, Medium, Long, Full };

// An ICU date formatter for one locale and the time zone current when it was made (or last
// reset). Not for use from several threads at once.
class DateFormatter {
 public:
  // The device's locale (ICU's default locale, from the environment).
  DateFormatter();
  // A locale id such as "en_US" or "de-DE"; an empty id is the device's locale.
  explicit DateFormatter(std::string_view localeId);
  ~DateFormatter();
  DateFormatter(DateFormatter&&) noexcept;
  DateFormatter& operator=(DateFormatter&&) noexcept;
  DateFormatter(const DateFormatter&) = delete;
  DateFormatter& operator=(const DateFormatter&) = delete;

  // Styles replace a pattern set before. DateStyle::None for both (the initial state) with no
  // pattern formats to the empty text and parses nothing.
  void setDateStyle(DateStyle s);
  void setTimeStyle(DateStyle s);
  // An explicit ICU pattern ("yyyy-MM-dd").
  void setDateFormat(std::string_view pattern);
  // The locale's best pattern for a skeleton of fields ("ddMMMyy" gives "MMM dd, yy" in en_US).
  void setLocalizedDateFormatFromTemplate(std::string_view skeleton);
  // The pattern in use (empty when none).
  std::string dateFormat() const;
  // Lenient parsing is off initially.
  void setLenient(bool lenient);
  // Takes the environment's time zone again.
  void resetTimeZone();

  std::string stringFromDate(Date d) const;
  // The whole text must be read. Narrow and ordinary no-break spaces (ICU puts U+202F before
  // "AM"/"PM") and ordinary blanks are interchangeable, so that typed text and ICU's own output
  // both parse.
  std::optional<Date> dateFromString(std::string_view text) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kit
