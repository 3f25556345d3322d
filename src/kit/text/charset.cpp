#include "kit/text/charset.h"

#include <unicode/uchar.h>

#include <algorithm>

#include "kit/text/utf.h"

namespace kit {

CharacterSet CharacterSet::whitespace() {
  CharacterSet s;
  s.kind_ = Kind::Whitespace;
  return s;
}

CharacterSet CharacterSet::whitespaceAndNewline() {
  CharacterSet s;
  s.kind_ = Kind::WhitespaceAndNewline;
  return s;
}

CharacterSet CharacterSet::letters() {
  CharacterSet s;
  s.kind_ = Kind::Letters;
  return s;
}

CharacterSet CharacterSet::fromCharacters(std::string_view utf8) { return CharacterSet().adding(utf8); }

CharacterSet CharacterSet::adding(std::string_view utf8) const {
  CharacterSet s = *this;
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Step st = decodeUtf8At(utf8, i);
    if (st.valid) s.extra_ += st.codePoint;
    i += st.length;
  }
  std::sort(s.extra_.begin(), s.extra_.end());
  s.extra_.erase(std::unique(s.extra_.begin(), s.extra_.end()), s.extra_.end());
  return s;
}

bool CharacterSet::contains(char32_t c) const {
  if (std::binary_search(extra_.begin(), extra_.end(), c)) return true;
  switch (kind_) {
    case Kind::Custom:
      return false;
    case Kind::WhitespaceAndNewline:
      if ((c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029) return true;
      [[fallthrough]];
    case Kind::Whitespace:
      return c == '\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
    case Kind::Letters: {
      const auto mask = U_GET_GC_MASK(static_cast<UChar32>(c));
      return (mask & (U_GC_L_MASK | U_GC_M_MASK)) != 0;
    }
  }
  return false;
}

std::string trim(std::string_view s, const CharacterSet& set) {
  std::size_t b = 0;
  while (b < s.size()) {
    const Utf8Step st = decodeUtf8At(s, b);
    if (!st.valid || !set.contains(st.codePoint)) break;
    b += st.length;
  }
  // Walk forward recording where the last kept character ends.
  std::size_t e = b;
  for (std::size_t i = b; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    i += st.length;
    if (!st.valid || !set.contains(st.codePoint)) e = i;
  }
  return std::string(s.substr(b, e - b));
}

std::vector<std::string> split(std::string_view s, const CharacterSet& set) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    if (st.valid && set.contains(st.codePoint)) {
      out.emplace_back(s.substr(start, i - start));
      start = i + st.length;
    }
    i += st.length;
  }
  out.emplace_back(s.substr(start));
  return out;
}

std::vector<std::string> split(std::string_view s, std::string_view separator) {
  std::vector<std::string> out;
  if (separator.empty()) {
    out.emplace_back(s);
    return out;
  }
  std::size_t start = 0;
  for (std::size_t pos; (pos = s.find(separator, start)) != std::string_view::npos;) {
    out.emplace_back(s.substr(start, pos - start));
    start = pos + separator.size();
  }
  out.emplace_back(s.substr(start));
  return out;
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i) out += separator;
    out += pieces[i];
  }
  return out;
}

}  // namespace kit
