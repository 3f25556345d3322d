#include "helpers/strings.h"

#include <algorithm>
#include <vector>

#include "kit/core/format.h"
#include "kit/text/charset.h"
#include "kit/text/collation.h"
#include "kit/text/escape.h"
#include "kit/text/regex.h"
#include "kit/text/search.h"
#include "kit/text/utf.h"

namespace strings {

// ---- Equality and affixes ----

bool isEqualToStringWithCase(std::string_view s, OptionalText other) {
  return other && kit::localizedEquals(s, *other);
}

bool isEqualToStringNoCase(std::string_view s, OptionalText other) {
  return other && kit::localizedEqualsNoCase(s, *other);
}

bool hasPrefixEx(std::string_view s, std::string_view prefix) {
  return !prefix.empty() && s.substr(0, prefix.size()) == prefix;
}

bool hasSuffixEx(std::string_view s, std::string_view suffix) {
  return !suffix.empty() && s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool hasCaseInsensitivePrefix(std::string_view s, OptionalText prefix) {
  return prefix && kit::hasPrefixNoCase(s, *prefix);
}

bool hasCaseInsensitiveSuffix(std::string_view s, OptionalText suffix) {
  return suffix && kit::hasSuffixNoCase(s, *suffix);
}

std::string pathExtension(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = last.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return std::string(last.substr(dot + 1));
}

std::optional<std::string> stringByAppendingPathExtension(std::string_view path, std::string_view extension) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  if (path.empty() || path == "/" || extension.find('/') != std::string_view::npos) return std::nullopt;
  std::string out(path);
  out += '.';
  out += extension;
  return out;
}

bool pathHasExtension(std::string_view path, std::string_view extension) {
  return isEqualToStringWithCase(pathExtension(path), extension);
}

bool pathHasExtensionNoCase(std::string_view path, std::string_view extension) {
  return isEqualToStringNoCase(pathExtension(path), extension);
}

// ---- Substrings and counting ----

std::optional<std::string> substringToString(std::string_view s, std::string_view marker) {
  const std::size_t p = marker.empty() ? std::string_view::npos : s.find(marker);
  if (p == std::string_view::npos) return std::nullopt;
  return std::string(s.substr(0, p));
}

std::optional<std::string> substringToStringNoCase(std::string_view s, std::string_view marker) {
  const kit::FoundRange r = kit::findNoCase(s, marker);
  if (!r.found()) return std::nullopt;
  return std::string(s.substr(0, r.location));
}

std::optional<std::string> substringAfterString(std::string_view s, std::string_view marker) {
  const std::size_t p = marker.empty() ? std::string_view::npos : s.find(marker);
  if (p == std::string_view::npos) return std::nullopt;
  return std::string(s.substr(p + marker.size()));
}

std::optional<std::string> substringAfterStringNoCase(std::string_view s, std::string_view marker) {
  const kit::FoundRange r = kit::findNoCase(s, marker);
  if (!r.found()) return std::nullopt;
  return std::string(s.substr(r.location + r.length));
}

std::size_t countOccurencesOf(std::string_view s, std::string_view what) {
  if (what.empty()) return 0;
  std::size_t n = 0;
  for (std::size_t p = s.find(what); p != std::string_view::npos; p = s.find(what, p + what.size())) ++n;
  return n;
}

std::string stringWithString(OptionalText string, int repeatedN) {
  std::string out;
  appendString(out, string, repeatedN);
  return out;
}

std::string stringFromFileSize(std::int32_t size) {
  if (size <= 1022) return kit::format("%i bytes", size);
  float v = static_cast<float>(size) / 1024.0f;
  if (v < 1023.0f) return kit::format("%1.1f KB", static_cast<double>(v));
  v /= 1024.0f;
  if (v < 1023.0f) return kit::format("%1.1f MB", static_cast<double>(v));
  v /= 1024.0f;
  return kit::format("%1.1f GB", static_cast<double>(v));
}

// ---- Links and URLs ----

bool hasURLScheme(std::string_view s) {
  return s.find("://") != std::string_view::npos || kit::hasPrefixNoCase(s, "mailto:");
}

bool isEmailAddress(std::string_view s) {
  static const kit::Regex re("^([a-zA-Z0-9._%+-]+@[a-zA-Z0-9.-]+\\.[a-zA-Z]{2,4})$");
  return re.matchesWhole(s);
}

namespace {

// Letters as a case-insensitive [a-zA-Z] reads them: the class is closed over case folding,
// which brings in the long s and the Kelvin sign.
bool isMailLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == 0x17F || c == 0x212A; }
bool isMailDomainChar(char32_t c) { return isMailLetter(c) || (c >= '0' && c <= '9') || c == '.' || c == '-'; }
bool isMailLocalChar(char32_t c) { return isMailDomainChar(c) || c == '_' || c == '%' || c == '+'; }

}  // namespace

// A backtracking search costs the length of a run of address characters at each of its
// positions. Here: the local part is the run of local characters that ends at the "@" (no other
// ending can be followed by one), and the domain ends at the last "." of the run after the "@"
// that two letters follow, the top-level part taking up to four letters, which is the match the
// greedy pattern finds. Each character is looked at a bounded number of times.
std::string linkEmailAddresses(std::string_view text) {
  const std::string valid = kit::sanitizeUtf8(text);
  std::vector<char32_t> cp;
  std::vector<std::size_t> at;  // byte offset of each code point, and of the end
  cp.reserve(valid.size());
  at.reserve(valid.size() + 1);
  for (std::size_t i = 0; i < valid.size();) {
    const kit::Utf8Step step = kit::decodeUtf8At(valid, i);
    cp.push_back(step.codePoint);
    at.push_back(i);
    i += step.length;
  }
  at.push_back(valid.size());
  const std::size_t n = cp.size();
  std::string out;
  std::size_t copied = 0;
  for (std::size_t i = 0; i < n;) {
    if (!isMailLocalChar(cp[i])) {
      ++i;
      continue;
    }
    std::size_t sign = i;
    while (sign < n && isMailLocalChar(cp[sign])) ++sign;
    if (sign == n || cp[sign] != '@') {
      i = sign;
      continue;
    }
    std::size_t runEnd = sign + 1;
    while (runEnd < n && isMailDomainChar(cp[runEnd])) ++runEnd;
    std::size_t dot = runEnd;
    for (std::size_t d = runEnd; d-- > sign + 2;) {
      if (cp[d] == '.' && d + 2 < runEnd && isMailLetter(cp[d + 1]) && isMailLetter(cp[d + 2])) {
        dot = d;
        break;
      }
    }
    if (dot == runEnd) {
      // No start before the "@" can match; the domain run may begin a local part of its own.
      i = sign + 1;
      continue;
    }
    std::size_t end = dot + 1;
    while (end < runEnd && end - dot <= 4 && isMailLetter(cp[end])) ++end;
    const std::string_view address = std::string_view(valid).substr(at[i], at[end] - at[i]);
    out.append(valid, copied, at[i] - copied);
    out.append("<a href=\"mailto:").append(address).append("\">").append(address).append("</a>");
    copied = at[end];
    i = end;
  }
  if (copied == 0) return valid;
  out.append(valid, copied, std::string::npos);
  return out;
}

bool isUUID(std::string_view s) {
  static const kit::Regex re(
      "^(\\{{0,1}([0-9a-fA-F]){8}-([0-9a-fA-F]){4}-([0-9a-fA-F]){4}-([0-9a-fA-F]){4}-([0-9a-fA-F]){12}\\}{0,1})$");
  return re.matchesWhole(s);
}

bool isMapPath(std::string_view s) {
  return !s.empty() && !hasURLScheme(s) && !kit::hasPrefixNoCase(s, "www") && !isEmailAddress(s);
}

std::string getFullyQualifiedURL(std::string_view s) {
  if (hasURLScheme(s)) return std::string(s);
  if (isEmailAddress(s)) return "mailto:" + std::string(s);
  if (kit::hasPrefixNoCase(s, "www.")) return "http://" + std::string(s);
  return std::string(s);
}

bool runsScript(std::string_view url) {
  std::string scheme;
  bool started = false;
  for (char ch : url) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (!started && c <= 0x20) continue;
    started = true;
    if (c == ':') break;
    if (scheme.size() > 16) return false;
    scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return scheme == "javascript" || scheme == "vbscript" || scheme == "data";
}

std::string extractURLHost(std::string_view s) {
  if (const std::size_t q = s.find('?'); q != std::string_view::npos) s = s.substr(0, q);
  if (const std::size_t p = s.find("://"); p != std::string_view::npos) s = s.substr(p + 3);
  if (const std::size_t c = s.find(':'); c != std::string_view::npos) s = s.substr(c + 1);
  return std::string(s);
}

kit::Dictionary extractURLQuery(std::string_view s) {
  kit::Dictionary out;
  const std::size_t q = s.find('?');
  if (q == std::string_view::npos) return out;
  for (const std::string& piece : kit::split(s.substr(q + 1), "&")) {
    const std::vector<std::string> kv = kit::split(piece, "=");
    if (kv.size() != 2) continue;
    auto key = kit::percentUnescape(kv[0]);
    auto value = kit::percentUnescape(kv[1]);
    if (!key || !value) continue;
    out[*key] = kit::Value(std::move(*value));
  }
  return out;
}

std::string stringByAppendingURLPathComponent(std::string_view s, std::string_view component) {
  const bool endsWithSlash = !s.empty() && s.back() == '/';
  const bool beginsWithSlash = !component.empty() && component.front() == '/';
  std::string out(s);
  if (endsWithSlash && beginsWithSlash) {
    out.append(component.substr(1));
  } else if (!endsWithSlash && !beginsWithSlash) {
    if (!component.empty()) {
      out += '/';
      out.append(component);
    }
  } else {
    out.append(component);
  }
  return out;
}

std::string escapeForURL(std::string_view s) { return kit::percentEscape(s, ":/?#[]@!$&'()*+,;="); }

std::string escapeSimplePathForURL(std::string_view s) { return kit::percentEscape(s, ":?#[]@!$&'()*+,;="); }

// ---- Escaping and conversions ----

std::string FormatForXML(std::string_view s) { return kit::escapeXmlSanitizing(s); }

std::string FormatForUnicodeHTML(std::string_view s) { return kit::escapeHtml(s); }

std::string FormatForAsciiHTML(std::string_view s) { return kit::escapeHtmlAscii(s); }

std::string replaceAll(std::string_view s, std::string_view what, std::string_view with) {
  if (what.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  std::size_t start = 0;
  for (std::size_t p; (p = s.find(what, start)) != std::string_view::npos; start = p + what.size()) {
    out.append(s.substr(start, p - start));
    out.append(with);
  }
  out.append(s.substr(start));
  return out;
}

std::string FormatForWindowsCSV(std::string_view s, bool oneLine) {
  std::string out = replaceAll(s, "\"", "\"\"");
  if (oneLine) {
    out = replaceAll(out, "\r\n", " ");
    out = replaceAll(out, "\r", " ");
    out = replaceAll(out, "\n", " ");
  } else {
    out = replaceAll(out, "\r\n", "\r");
    out = replaceAll(out, "\n", "\r");
  }
  return out;
}

std::string stringByCompressingWhitespaceTo(std::string_view s, std::string_view separator) {
  std::vector<std::string> pieces = kit::split(s, kit::CharacterSet::whitespace());
  std::erase_if(pieces, [](const std::string& p) { return p.empty(); });
  return kit::join(pieces, separator);
}

std::string stringByCleaningParsedHTML(std::string_view s) {
  std::string out = stringByCompressingWhitespaceTo(s, " ");
  out = replaceAll(out, "\n ", "\n");
  out = kit::trim(out, kit::CharacterSet::whitespaceAndNewline());
  return replaceAll(out, "\xC2\xA0", " ");
}

namespace {

// The length of the run of blanks and line breaks (Unicode white space) at `at`.
std::size_t whiteSpaceAt(std::string_view s, std::size_t at) {
  static const kit::CharacterSet space = kit::CharacterSet::whitespaceAndNewline();
  std::size_t p = at;
  while (p < s.size()) {
    const kit::Utf8Step st = kit::decodeUtf8At(s, p);
    if (!st.valid || !space.contains(st.codePoint)) break;
    p += st.length;
  }
  return p - at;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::string flattenHTML(std::string_view s) {
  std::string text(s);
  if (kit::findNoCase(text, "<html>").found()) std::replace(text.begin(), text.end(), '\n', ' ');
  // A "<" starts a tag only before a name, "/", "!" or "?" and with a ">" after it; any other
  // "<" is text, as in "x < y".
  const std::size_t lastClose = text.rfind('>');
  auto opensTag = [&](std::size_t at) {
    if (lastClose == std::string::npos || at + 1 >= lastClose) return false;
    const char c = text[at + 1];
    return isAsciiLetter(c) || c == '/' || c == '!' || c == '?';
  };
  static constexpr std::string_view kBreaks[] = {"</p", "<p/", "<p /", "<br", "<br/", "<br /"};
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    // White space before a piece separates it from the one before: one blank stands for it.
    if (const std::size_t blank = whiteSpaceAt(text, at)) {
      out += ' ';
      at += blank;
    }
    std::size_t tag = text.find('<', at);
    while (tag != std::string::npos && !opensTag(tag)) tag = text.find('<', tag + 1);
    if (tag == std::string::npos) {
      out.append(text, at);
      break;
    }
    out.append(text, at, tag - at);
    const std::size_t close = text.find('>', tag);
    const std::string_view name = std::string_view(text).substr(tag, close - tag);
    for (const std::string_view b : kBreaks) {
      if (name.size() == b.size() && kit::hasPrefixNoCase(name, b)) {
        out += '\n';
        break;
      }
    }
    at = close + 1;
  }
  return kit::unescapeHtml(stringByCleaningParsedHTML(out));
}

namespace {

// Exactly two hexadecimal digits.
bool readHexPair(std::string_view s, std::size_t at, float& out) {
  int v = 0;
  for (std::size_t i = at; i < at + 2; ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * 16 + d;
  }
  out = static_cast<float>(v);
  return true;
}

}  // namespace

RGB255 extractColourComponents(std::string_view s) {
  const RGB255 unset{0, 0, 254};
  if (s.size() < 6) return unset;
  if (s.front() == '#') s.remove_prefix(1);
  RGB255 c;
  if (s.size() == 6) {
    if (readHexPair(s, 0, c.r) && readHexPair(s, 2, c.g) && readHexPair(s, 4, c.b)) return c;
    return unset;
  }
  if (s.size() == 8) {
    float alpha = 0;
    if (readHexPair(s, 0, alpha) && alpha == 255.0f && readHexPair(s, 2, c.r) && readHexPair(s, 4, c.g) &&
        readHexPair(s, 6, c.b)) {
      return c;
    }
  }
  return unset;
}

std::string stringByTruncatingToWidth(std::string_view s, float width, const TextMeasure& measure) {
  const std::size_t nl = s.find('\n');
  return truncateToWidth(nl == std::string_view::npos ? s : s.substr(0, nl), width, measure);
}

std::string truncateToWidth(std::string_view s, float width, const TextMeasure& measure) {
  std::string text(s);
  if (!measure || !(measure(text) > width)) return text;
  const float available = width - measure("...");
  // Whole characters go, so a surrogate pair (a 4-byte sequence) is never split.
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size();) {
    starts.push_back(i);
    i += kit::decodeUtf8At(text, i).length;
  }
  while (!starts.empty() && measure(text) > available) {
    text.resize(starts.back());
    starts.pop_back();
  }
  if (starts.empty()) return "...";  // not even one character fits
  text.resize(starts.back());
  return text + "...";
}

// ---- Mutable strings ----

void appendStringSafe(std::string& s, OptionalText other) {
  if (other) s.append(*other);
}

void appendString(std::string& s, OptionalText other, int nTimes) {
  if (!other || nTimes < 1 || other->empty()) return;
  s.reserve(s.size() + other->size() * static_cast<std::size_t>(nTimes));
  for (int i = 0; i < nTimes; ++i) s.append(*other);
}

void replaceFirstOccurrenceOf(std::string& s, std::string_view what, std::string_view with) {
  if (what.empty()) return;
  const std::size_t p = s.find(what);
  if (p != std::string::npos) s.replace(p, what.size(), with);
}

void forceXMLEncodingUTF8(std::string& s) {
  // Only the declaration itself, which stands first (after a byte-order mark, if any); without
  // one an element's attribute named encoding is text and stays.
  const std::size_t start = s.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  const std::string_view decl = std::string_view(s).substr(start, 6);
  if (decl.size() < 6 || !decl.starts_with("<?xml") || std::string_view(" \t\r\n").find(decl[5]) == std::string_view::npos)
    return;
  const std::size_t end = s.find("?>");
  if (end == std::string::npos) return;
  // XML allows blanks round "=" and either quote.
  static const kit::Regex re("encoding[ \\t\\r\\n]*=[ \\t\\r\\n]*(?:\"[^\"\\r\\n]*\"|'[^'\\r\\n]*')");
  if (!re.search(std::string_view(s).substr(0, end))) return;
  const std::string head = re.replaceAll(std::string_view(s).substr(0, end), "encoding=\"UTF-8\"");
  s.replace(0, end, head);
}

}  // namespace strings
