// Dates as text, keyed by a date format number (task dates, note stamps, file names, the dates
// inside foreign map formats), over strftime/strptime patterns applied in local time.
//
//   0  read only: the locale's default styles; text of any other shape reads as no date
//   1  "%d%m%y %H%M%S"
//   2  the locale's medium date, plus its short time when the date has a time of day
//   3, 6, 9  "%Y-%m-%dT%H:%M:%S"
//   4  write only: an <NSCalendarDate> element
//   5  "%Y-%m-%d %H:%M:%S", read also as "%Y-%m-%d"
//   7  "%Y-%m-%dT%H:%M:%S.000+hh:mm"; read with the zone ignored
//   8  "%Y-%m-%dT%H:%M"
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace GlobalHelpers {

// strftime of the date's whole seconds in local time (nullopt for a date beyond the calendar).
std::optional<std::string> _createStringFromDate(kit::Date date, std::string_view formattedAs);
// strptime from the start of the text (the rest ignored); the wall-clock time is taken as local,
// whatever "%z" read. nullopt for an empty text or pattern, or no match.
std::optional<kit::Date> _createDateFromString(std::string_view string,
                                               std::string_view formattedAs);

// nullopt for no date, or a format outside 1 to 9 (0 is read-only).
std::optional<std::string> createStringFromDate(std::optional<kit::Date> date, int formattedAs);
// nullopt for an empty text, format 4, a format outside 0 to 9, or text that does not read.
std::optional<kit::Date> createDateFromString(std::string_view string, int formattedAs);

}  // namespace GlobalHelpers
