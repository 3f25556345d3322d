// A scanner over UTF-8 text with the platform's rules: characters of the skip set (blanks and
// line breaks by default) are passed over before each scanned piece.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "kit/text/charset.h"

namespace kit {

class Scanner {
 public:
  explicit Scanner(std::string text);

  void setCharactersToBeSkipped(CharacterSet set) { skip_ = std::move(set); }
  void setCaseSensitive(bool yes) { caseSensitive_ = yes; }

  // Byte offset into the text.
  std::size_t scanLocation() const { return pos_; }
  void setScanLocation(std::size_t pos) { pos_ = pos < text_.size() ? pos : text_.size(); }
  const std::string& text() const { return text_; }

  // YES when nothing but skipped characters remains.
  bool isAtEnd() const;
  // Skips, then reads up to (not including) the next occurrence of `marker`, or to the end.
  // NO, with `out` untouched, when nothing was read.
  bool scanUpToString(std::string_view marker, std::string* out);
  // Skips, then steps over `s` when it stands at the current location.
  bool scanString(std::string_view s, std::string* out = nullptr);

 private:
  std::size_t skipped() const;

  std::string text_;
  std::size_t pos_ = 0;
  CharacterSet skip_ = CharacterSet::whitespaceAndNewline();
  bool caseSensitive_ = false;
};

}  // namespace kit
