#include "kit/core/format.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kit {

namespace detail {

std::string vformatPrintf(std::string_view format, fmt::printf_args args) {
  try {
    return fmt::vsprintf(format, args);
  } catch (...) {
    return {};
  }
}

std::string rewriteObjectConversions(std::string_view format) {
  std::string out;
  out.reserve(format.size());
  std::size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    out += c;
    ++i;
    if (c != '%') continue;
    if (i < format.size() && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // Flags, width, precision and length, then the conversion.
    while (i < format.size() && std::string_view("-+ #0123456789.*'hlLqjzt").find(format[i]) != std::string_view::npos) {
      out += format[i];
      ++i;
    }
    if (i < format.size()) {
      out += format[i] == '@' ? 's' : format[i];
      ++i;
    }
  }
  return out;
}

}  // namespace detail

std::string formatDouble(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

std::string formatFloat(float f) {
  if (std::isnan(f)) return "nan";
  if (std::isinf(f)) return f < 0 ? "-inf" : "inf";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, f);
  return std::string(buf, r.ptr);
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Leading blanks skipped; returns the start of the number text and its sign handled by the
// caller for '+' (from_chars takes '-' but not '+').
std::string_view numberStart(std::string_view s, bool& negative) {
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  return s.substr(i);
}

}  // namespace

double parseDouble(std::string_view s) {
  bool negative;
  std::string_view t = numberStart(s, negative);
  // Only decimal notation: no "inf", "nan" or hexadecimal.
  if (t.empty() || !((t[0] >= '0' && t[0] <= '9') || t[0] == '.')) return 0.0;
  double d = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), d, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow saturates; underflow is 0.
    bool tiny = false;
    for (const char* p = t.data(); p < r.ptr; ++p) {
      if (*p == 'e' || *p == 'E') {
        tiny = p + 1 < r.ptr && p[1] == '-';
        break;
      }
    }
    d = tiny ? 0.0 : HUGE_VAL;
  } else if (r.ec != std::errc()) {
    return 0.0;
  }
  return negative ? -d : d;
}

std::int64_t parseInt(std::string_view s) {
  bool negative;
  std::string_view t = numberStart(s, negative);
  std::size_t n = 0;
  while (n < t.size() && t[n] >= '0' && t[n] <= '9') ++n;
  if (n == 0) return 0;
  std::uint64_t v = 0;
  constexpr std::uint64_t kMaxPositive = std::numeric_limits<std::int64_t>::max();
  constexpr std::uint64_t kMaxNegative = kMaxPositive + 1;
  const std::uint64_t limit = negative ? kMaxNegative : kMaxPositive;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t digit = static_cast<std::uint64_t>(t[i] - '0');
    if (v > (limit - digit) / 10) {
      v = limit;
      break;
    }
    v = v * 10 + digit;
  }
  if (negative) return v == kMaxNegative ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(v);
  return static_cast<std::int64_t>(v);
}

bool parseBool(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && s[i] == '0') ++i;
  if (i >= s.size()) return false;
  char c = s[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace kit
