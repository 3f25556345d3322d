#include "formats/xml_text.h"

#include <charconv>
#include <cmath>

#include "kit/text/escape.h"

namespace MapFormats::detail {

namespace {

bool needsWork(std::string_view s) {
  for (unsigned char c : s) {
    if (c < 0x20 || c >= 0x80 || c == '&' || c == '<' || c == '>' || c == '"' || c == '\'') return true;
  }
  return s.find("uuid") != std::string_view::npos;
}

// Characters of the escaped text that still need a reference.
void appendReferenced(std::string& out, std::string_view escaped) {
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    char c = escaped[i];
    switch (c) {
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += "&#9;"; break;
      case 'u':
        if (escaped.compare(i, 4, "uuid") == 0) {
          out += "&#117;";
        } else {
          out += c;
        }
        break;
      default: out += c;
    }
  }
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void appendEscaped(std::string& out, std::string_view s) {
  if (!needsWork(s)) {
    out += s;
    return;
  }
  appendReferenced(out, kit::escapeXmlSanitizing(s));
}

void appendNumber(std::string& out, float v) {
  if (!std::isfinite(v)) v = 0;
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void appendNumber(std::string& out, double v) {
  if (!std::isfinite(v)) v = 0;
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void appendNumber(std::string& out, std::int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void appendAttribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  appendEscaped(out, value);
  out += '"';
}

namespace {

// A whole number in the writer's own form: an optional "-" and 1 to `most` digits, nothing else.
struct WholeNumber {
  bool negative;
  std::uint64_t magnitude;
};
std::optional<WholeNumber> readWholeNumber(std::string_view s, std::size_t most) {
  const bool negative = !s.empty() && s[0] == '-';
  const std::size_t first = negative ? 1 : 0;
  if (s.size() == first || s.size() - first > most) return std::nullopt;
  std::uint64_t n = 0;
  for (std::size_t i = first; i < s.size(); ++i) {
    const unsigned d = static_cast<unsigned char>(s[i]) - unsigned{'0'};
    if (d > 9) return std::nullopt;
    n = n * 10 + d;
  }
  return WholeNumber{negative, n};
}

// Up to 15 digits are exact in a double; the writer's positions are mostly whole numbers.
constexpr std::size_t kExactDigits = 15;

std::optional<double> wholeReal(std::string_view s) {
  const auto w = readWholeNumber(s, kExactDigits);
  if (!w) return std::nullopt;
  const double v = static_cast<double>(w->magnitude);
  return w->negative ? -v : v;
}

}  // namespace

std::optional<std::int64_t> parseInteger(std::string_view s) {
  if (const auto w = readWholeNumber(s, kExactDigits)) {
    const auto v = static_cast<std::int64_t>(w->magnitude);
    return w->negative ? -v : v;
  }
  s = trimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  std::int64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<double> parseReal(std::string_view s) {
  if (const auto v = wholeReal(s)) return v;
  s = trimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (const auto v = wholeReal(s)) return v;
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<RGB255> parseHexColour(std::string_view s) {
  s = trimBlanks(s);
  if (s.size() != 6) return std::nullopt;
  float c[3];
  for (int i = 0; i < 3; ++i) {
    int hi = hexDigit(s[2 * i]), lo = hexDigit(s[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    c[i] = static_cast<float>(hi * 16 + lo);
  }
  return RGB255{c[0], c[1], c[2]};
}

}  // namespace MapFormats::detail
