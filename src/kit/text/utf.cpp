#include "kit/text/utf.h"

namespace kit {

Utf8Step decodeUtf8At(std::string_view s, std::size_t pos) {
  Utf8Step r;
  if (pos >= s.size()) return r;
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) return {b0, 1, true};
  std::size_t need;
  char32_t cp;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return r;
  }
  if (s.size() - pos - 1 < need) return r;
  for (std::size_t i = 1; i <= need; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return r;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return r;
  return {cp, need + 1, true};
}

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    if (!st.valid) return false;
    i += st.length;
  }
  return true;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string sanitizeUtf8(std::string_view s) {
  if (isValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    appendUtf8(out, st.valid ? st.codePoint : 0xFFFD);
    i += st.length;
  }
  return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    const char32_t c = st.valid ? st.codePoint : 0xFFFD;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += st.length;
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
      ++i;
    } else {
      appendUtf8(out, u);  // a lone surrogate becomes U+FFFD
    }
  }
  return out;
}

std::size_t utf16Length(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    n += (st.valid && st.codePoint >= 0x10000) ? 2 : 1;
    i += st.length;
  }
  return n;
}

char16_t utf16CodeUnitAt(std::string_view s, std::size_t index) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    const char32_t c = st.valid ? st.codePoint : 0xFFFD;
    if (c >= 0x10000) {
      if (index == n) return static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      if (index == n + 1) return static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      n += 2;
    } else {
      if (index == n) return static_cast<char16_t>(c);
      n += 1;
    }
    i += st.length;
  }
  return 0;
}

namespace {

// Byte offset for a UTF-16 index; `roundUp` decides where an index inside a pair goes.
std::size_t offsetFor(std::string_view s, std::size_t index, bool roundUp) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < s.size() && n < index) {
    const Utf8Step st = decodeUtf8At(s, i);
    const std::size_t units = (st.valid && st.codePoint >= 0x10000) ? 2 : 1;
    if (n + units > index) return roundUp ? i + st.length : i;  // inside a pair
    n += units;
    i += st.length;
  }
  return i;
}

}  // namespace

std::size_t utf16IndexToByteOffset(std::string_view s, std::size_t index) {
  return offsetFor(s, index, false);
}

std::size_t byteOffsetToUtf16Index(std::string_view s, std::size_t offset) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    if (i + st.length > offset) break;
    n += (st.valid && st.codePoint >= 0x10000) ? 2 : 1;
    i += st.length;
  }
  return n;
}

std::string utf16Substring(std::string_view s, std::size_t start, std::size_t length) {
  const std::size_t b = offsetFor(s, start, false);
  const std::size_t end = length > SIZE_MAX - start ? SIZE_MAX : start + length;
  const std::size_t e = offsetFor(s, end, true);
  if (e <= b) return {};
  return std::string(s.substr(b, e - b));
}

void utf16Erase(std::string& s, std::size_t start, std::size_t length) {
  const std::size_t b = offsetFor(s, start, false);
  const std::size_t end = length > SIZE_MAX - start ? SIZE_MAX : start + length;
  const std::size_t e = offsetFor(s, end, true);
  if (e > b) s.erase(b, e - b);
}

std::optional<std::string> decodeUtf8(std::span<const std::uint8_t> bytes) {
  std::string_view sv(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (sv.size() >= 3 && sv.substr(0, 3) == "\xEF\xBB\xBF") sv.remove_prefix(3);
  if (!isValidUtf8(sv)) return std::nullopt;
  return std::string(sv);
}

std::optional<std::string> decodeUtf16WithBom(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
  bool big;
  if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
    big = true;
  } else if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
    big = false;
  } else {
    return std::nullopt;
  }
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units += big ? static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1])
                 : static_cast<char16_t>((bytes[i + 1] << 8) | bytes[i]);
  }
  return utf16ToUtf8(units);
}

std::optional<std::string> decodeUtf32WithBom(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || bytes.size() % 4 != 0) return std::nullopt;
  if (!(bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0xFE && bytes[3] == 0xFF)) return std::nullopt;
  std::string out;
  for (std::size_t i = 4; i + 3 < bytes.size(); i += 4) {
    const char32_t c = (char32_t(bytes[i]) << 24) | (char32_t(bytes[i + 1]) << 16) |
                       (char32_t(bytes[i + 2]) << 8) | char32_t(bytes[i + 3]);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    appendUtf8(out, c);
  }
  return out;
}

std::string decodeLatin1(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const std::uint8_t b : bytes) appendUtf8(out, b);
  return out;
}

std::string decodeText(std::span<const std::uint8_t> bytes) {
  const std::size_t n = bytes.size();
  if (n >= 3 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE))) {
    if (auto s = decodeUtf16WithBom(bytes)) return *s;
  } else if (n >= 5 && bytes[0] == 0 && bytes[1] == 0 &&
             ((bytes[2] == 0xFE && bytes[3] == 0xFF) || (bytes[2] == 0xFF && bytes[3] == 0xFE))) {
    if (auto s = decodeUtf32WithBom(bytes)) return *s;
  }
  if (auto s = decodeUtf8(bytes)) return *s;
  return decodeLatin1(bytes);
}

}  // namespace kit
