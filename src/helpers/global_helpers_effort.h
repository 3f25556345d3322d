// A task's effort as short text (a number and a unit suffix, "2.50h") and its status and badges.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace GlobalHelpers {

// Effort units: 1 minutes "m", 2 hours "h", 3 days "d" (8 hours), 4 weeks "w" (5 days),
// 5 months "mnth" (4 weeks), 6 years "y" (12 months); 0 none.
std::string getEffortUnitSuffix(int unit);
// The unit whose suffix ends the text (case matters); 0 when none does.
int getEffortUnit(std::string_view text);
// Minutes of an effort text; a text without a known suffix counts in hours.
float getEffortMinutes(std::string_view text);
// The largest unit with a whole part, written with two decimals: 90 gives "1.50h".
std::string getEffortForMinutes(float minutes);
// In words: "2h" gives "2 Hours", "1.50w" gives "1.50 Weeks"; a text without a suffix comes back.
std::string getEffortDescription(std::string_view text);

// Task status: 0 no dates, 1 not started, 2 in progress, 3 started, 4 overdue, 5 complete.
int getTaskStatusForStart(std::optional<kit::Date> start, std::optional<kit::Date> due,
                          int progress);

// Badge image names; nullopt for no image.
std::optional<std::string> getClockImageForTaskStatus(int status);
// -1 means no percentage set.
std::optional<std::string> getPercentCompleteImageFor(int percentage);

}  // namespace GlobalHelpers
