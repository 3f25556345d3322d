// Number formatting and parsing that ignore the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <fmt/printf.h>

#include "kit/core/value.h"

namespace kit {

namespace detail {
std::string vformatPrintf(std::string_view format, fmt::printf_args args);
// Turns each "%@" conversion into "%s" (a Value argument is passed as its description).
std::string rewriteObjectConversions(std::string_view format);
template <typename T>
decltype(auto) printfArgument(const T& v) {
  if constexpr (std::is_same_v<T, Value>) return v.description();
  else return (v);
}
}  // namespace detail

// printf-style formatting, always with the "C" locale's decimal point. "%@" prints a Value's
// description (or any string). A malformed format gives an empty string.
template <typename... Args>
std::string format(std::string_view fmtString, const Args&... args) {
  std::string f = detail::rewriteObjectConversions(fmtString);
  return [&](const auto&... converted) {
    return detail::vformatPrintf(f, fmt::make_printf_args(converted...));
  }(detail::printfArgument(args)...);
}

// Shortest text that reads back as the same double ("0.5", "1", "1e+100").
std::string formatDouble(double d);
std::string formatFloat(float f);

// The number at the start of s, as NSString reads it: leading blanks skipped, an optional sign,
// as many characters as form a number; 0 when none do. Integers saturate.
double parseDouble(std::string_view s);
std::int64_t parseInt(std::string_view s);
// NSString's boolValue: after blanks, an optional sign and leading zeros, the first character
// is Y, y, T, t or a digit 1-9.
bool parseBool(std::string_view s);

}  // namespace kit
