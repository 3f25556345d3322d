#include "kit/text/search.h"

#include <unicode/uchar.h>

#include <vector>

#include "kit/text/utf.h"

namespace kit {
namespace {

struct Folded {
  std::u32string chars;
  std::vector<std::size_t> offsets;  // byte offset of each char, plus the end
};

// Invalid bytes fold to values outside Unicode so that they only match the same byte.
Folded fold(std::string_view s) {
  Folded f;
  f.chars.reserve(s.size());
  f.offsets.reserve(s.size() + 1);
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    f.offsets.push_back(i);
    f.chars += st.valid ? static_cast<char32_t>(u_foldCase(static_cast<UChar32>(st.codePoint),
                                                           U_FOLD_CASE_DEFAULT))
                        : 0x110000 + static_cast<unsigned char>(s[i]);
    i += st.length;
  }
  f.offsets.push_back(s.size());
  return f;
}

// ASCII without letters folds to itself, and nothing else folds into it: a byte search is exact.
bool foldsToItself(std::string_view s) {
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return false;
  }
  return true;
}

FoundRange rangeAt(const Folded& h, std::size_t index, std::size_t count) {
  return {h.offsets[index], h.offsets[index + count] - h.offsets[index]};
}

}  // namespace

FoundRange findNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty() || haystack.empty()) return {};
  if (foldsToItself(needle)) {
    const std::size_t p = haystack.find(needle);
    return p == std::string_view::npos ? FoundRange{} : FoundRange{p, needle.size()};
  }
  const Folded h = fold(haystack);
  const Folded n = fold(needle);
  const std::size_t pos = h.chars.find(n.chars);
  if (pos == std::u32string::npos) return {};
  return rangeAt(h, pos, n.chars.size());
}

FoundRange rfindNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty() || haystack.empty()) return {};
  if (foldsToItself(needle)) {
    const std::size_t p = haystack.rfind(needle);
    return p == std::string_view::npos ? FoundRange{} : FoundRange{p, needle.size()};
  }
  const Folded h = fold(haystack);
  const Folded n = fold(needle);
  const std::size_t pos = h.chars.rfind(n.chars);
  if (pos == std::u32string::npos) return {};
  return rangeAt(h, pos, n.chars.size());
}

bool hasPrefixNoCase(std::string_view s, std::string_view prefix) {
  if (prefix.empty() || s.empty()) return false;
  const Folded h = fold(s);
  const Folded n = fold(prefix);
  return h.chars.compare(0, n.chars.size(), n.chars) == 0 && h.chars.size() >= n.chars.size();
}

bool hasSuffixNoCase(std::string_view s, std::string_view suffix) {
  if (suffix.empty() || s.empty()) return false;
  const Folded h = fold(s);
  const Folded n = fold(suffix);
  return h.chars.size() >= n.chars.size() &&
         h.chars.compare(h.chars.size() - n.chars.size(), n.chars.size(), n.chars) == 0;
}

std::string foldCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const Utf8Step st = decodeUtf8At(s, i);
    if (st.valid) {
      appendUtf8(out, static_cast<char32_t>(u_foldCase(static_cast<UChar32>(st.codePoint), U_FOLD_CASE_DEFAULT)));
    } else {
      out += s[i];
    }
    i += st.length;
  }
  return out;
}

}  // namespace kit
