#include "kit/text/escape.h"

#include <libxml/HTMLparser.h>

#include <charconv>
#include <cstring>

#include "kit/text/utf.h"

namespace kit {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool isUrlLegal(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && std::strchr("-._~:/?#[]@!$&'()*+,;=", c) != nullptr;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendDecimalEntity(std::string& out, char32_t c) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned long>(c));
  out += "&#";
  out.append(buf, r.ptr);
  out += ';';
}

bool appendMarkupEscape(std::string& out, char32_t c) {
  switch (c) {
    case '&': out += "&amp;"; return true;
    case '<': out += "&lt;"; return true;
    case '>': out += "&gt;"; return true;
    case '"': out += "&quot;"; return true;
    case '\'': out += "&#39;"; return true;
    default: return false;
  }
}

bool isScalar(unsigned long v) { return v != 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF); }

}  // namespace

std::string percentEscape(std::string_view s, std::string_view alsoEscape) {
  std::string out;
  out.reserve(s.size() + s.size() / 2);
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    const bool extra = c != 0 && alsoEscape.find(ch) != std::string_view::npos;
    if (isUrlLegal(c) && !extra) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::optional<std::string> percentUnescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (s.size() - i < 3) return std::nullopt;
    const int hi = hexValue(s[i + 1]);
    const int lo = hexValue(s[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  if (!isValidUtf8(out)) return std::nullopt;
  return out;
}

std::string escapeXmlSanitizing(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    const std::size_t at = i;
    i += st.length;
    if (!st.valid) continue;
    const char32_t c = st.codePoint;
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0xFFFE || c == 0xFFFF) continue;
    if (c == '\'') {
      out += "&apos;";
    } else if (!appendMarkupEscape(out, c)) {
      out.append(s.substr(at, st.length));
    }
  }
  return out;
}

std::string escapeHtml(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (const char ch : s) {
    if (!appendMarkupEscape(out, static_cast<unsigned char>(ch))) out += ch;
  }
  return out;
}

std::string escapeHtmlAscii(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 4);
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    const char32_t c = st.valid ? st.codePoint : 0xFFFD;
    i += st.length;
    if (appendMarkupEscape(out, c)) continue;
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    const htmlEntityDesc* e = htmlEntityValueLookup(static_cast<unsigned int>(c));
    if (e && e->name) {
      out += '&';
      out += reinterpret_cast<const char*>(e->name);
      out += ';';
    } else {
      appendDecimalEntity(out, c);
    }
  }
  return out;
}

std::string unescapeHtml(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t amp = s.find('&', i);
    if (amp == std::string_view::npos) break;
    out.append(s.substr(i, amp - i));
    i = amp;
    // Entities are short; a ";" far away does not close this one.
    const std::size_t semi = s.substr(amp, 40).find(';');
    if (semi == std::string_view::npos || semi < 2) {
      out += '&';
      ++i;
      continue;
    }
    const std::string_view body = s.substr(amp + 1, semi - 1);
    bool done = false;
    if (body[0] == '#') {
      std::string_view digits = body.substr(1);
      int base = 10;
      if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
        base = 16;
        digits.remove_prefix(1);
      }
      unsigned long v = 0;
      if (!digits.empty()) {
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
        if (r.ec == std::errc() && r.ptr == digits.data() + digits.size() && isScalar(v)) {
          appendUtf8(out, static_cast<char32_t>(v));
          done = true;
        }
      }
    } else if (body == "apos") {
      out += '\'';
      done = true;
    } else {
      const std::string name(body);
      const htmlEntityDesc* e = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()));
      if (e && isScalar(e->value)) {
        appendUtf8(out, static_cast<char32_t>(e->value));
        done = true;
      }
    }
    if (done) {
      i = amp + semi + 1;
    } else {
      out += '&';
      ++i;
    }
  }
  out.append(s.substr(i));
  return out;
}

}  // namespace kit
