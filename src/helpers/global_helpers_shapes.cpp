#include "helpers/global_helpers_shapes.h"

#include <array>
#include <utility>

#include "helpers/strings.h"

namespace GlobalHelpers {

namespace {
constexpr int kShapeUnset = 99;
}  // namespace

int getShapeFromNM5(std::optional<std::string_view> name) {
  if (!name) return kShapeUnset;
  static constexpr std::array<std::pair<std::string_view, int>, 5> kNames{{
      {"RoundedRectangle", 0},
      {"ChamferedRectangle", 0},
      {"Rectangle", 1},
      {"Oval", 2},
      {"Line", 3},
  }};
  for (const auto& [text, shape] : kNames)
    if (strings::isEqualToStringWithCase(text, name)) return shape;
  return kShapeUnset;
}

int getShapeFromCDMZ(std::optional<std::string_view> code) {
  if (!code) return kShapeUnset;
  static constexpr std::array<std::pair<std::string_view, int>, 8> kCodes{{
      {"3", 0}, {"4", 0}, {"5", 0}, {"2", 1}, {"6", 2}, {"7", 2}, {"0", 3}, {"1", 3},
  }};
  for (const auto& [text, shape] : kCodes)
    if (strings::isEqualToStringNoCase(text, code)) return shape;
  return kShapeUnset;
}

}  // namespace GlobalHelpers
