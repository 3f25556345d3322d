// Topic shape codes from the shape names and numbers that foreign map and style files use.
#pragma once

#include <optional>
#include <string_view>

namespace GlobalHelpers {

// "RoundedRectangle"/"ChamferedRectangle" 0, "Rectangle" 1, "Oval" 2, "Line" 3; else (nil too) 99.
int getShapeFromNM5(std::optional<std::string_view> name);
// "3"-"5" 0, "2" 1, "6"/"7" 2, "0"/"1" 3, compared without case; else (nil too) 99.
int getShapeFromCDMZ(std::optional<std::string_view> code);

}  // namespace GlobalHelpers
