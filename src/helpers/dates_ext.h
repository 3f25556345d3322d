// Calendar tests on points in time, in the Gregorian calendar and the local time zone (TZ).
#pragma once

#include <optional>

#include "kit/core/value.h"

namespace dates {

// YES when the local hour or minute is not 0 (seconds are not looked at).
bool hasTimeComponent(kit::Date date);
// The same local day at 00:00:00 (the first valid time of the day where midnight is skipped).
kit::Date dateByRemovingTimeElement(kit::Date date);
// YES when other is nil or the date is strictly later.
bool isLaterThan(kit::Date date, std::optional<kit::Date> other);

}  // namespace dates
