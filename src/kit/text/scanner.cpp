#include "kit/text/scanner.h"

#include "kit/text/search.h"
#include "kit/text/utf.h"

namespace kit {

Scanner::Scanner(std::string text) : text_(std::move(text)) {}

std::size_t Scanner::skipped() const {
  std::size_t p = pos_;
  while (p < text_.size()) {
    const Utf8Step st = decodeUtf8At(text_, p);
    if (!st.valid || !skip_.contains(st.codePoint)) break;
    p += st.length;
  }
  return p;
}

bool Scanner::isAtEnd() const { return skipped() >= text_.size(); }

bool Scanner::scanUpToString(std::string_view marker, std::string* out) {
  const std::size_t start = skipped();
  if (start >= text_.size()) {
    pos_ = start;
    return false;
  }
  const std::string_view rest = std::string_view(text_).substr(start);
  std::size_t end;
  if (caseSensitive_) {
    const std::size_t f = marker.empty() ? std::string_view::npos : rest.find(marker);
    end = f == std::string_view::npos ? text_.size() : start + f;
  } else {
    const FoundRange f = findNoCase(rest, marker);
    end = f.found() ? start + f.location : text_.size();
  }
  pos_ = start;
  if (end == start) return false;
  if (out) *out = text_.substr(start, end - start);
  pos_ = end;
  return true;
}

bool Scanner::scanString(std::string_view s, std::string* out) {
  const std::size_t start = skipped();
  const std::string_view rest = std::string_view(text_).substr(start);
  std::size_t len = 0;
  if (s.empty()) return false;
  if (caseSensitive_) {
    if (rest.substr(0, s.size()) != s) return false;
    len = s.size();
  } else {
    const FoundRange f = findNoCase(rest.substr(0, s.size() * 4), s);
    if (!f.found() || f.location != 0) return false;
    len = f.length;
  }
  pos_ = start;
  if (out) *out = text_.substr(start, len);
  pos_ = start + len;
  return true;
}

}  // namespace kit
