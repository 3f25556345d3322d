// Character sets with Unicode semantics, and the trimming and splitting built on them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kit {

class CharacterSet {
 public:
  // Blank, tab and the other Unicode space separators (general category Zs); no line breaks.
  static CharacterSet whitespace();
  // whitespace() plus U+000A-U+000D, U+0085, U+2028 and U+2029.
  static CharacterSet whitespaceAndNewline();
  // Unicode letters and marks (general categories L* and M*).
  static CharacterSet letters();
  // Exactly the code points of a UTF-8 text.
  static CharacterSet fromCharacters(std::string_view utf8);

  bool contains(char32_t c) const;
  // A set that also holds the code points of `utf8`.
  CharacterSet adding(std::string_view utf8) const;

 private:
  enum class Kind { Custom, Whitespace, WhitespaceAndNewline, Letters };
  Kind kind_ = Kind::Custom;
  std::u32string extra_;  // sorted
};

// Removes characters of the set from both ends. Invalid UTF-8 bytes are never in a set.
std::string trim(std::string_view s, const CharacterSet& set);
// Splits at every character of the set; adjacent separators give empty pieces.
std::vector<std::string> split(std::string_view s, const CharacterSet& set);
// Splits at every occurrence of a separator text (an empty separator gives the whole text).
std::vector<std::string> split(std::string_view s, std::string_view separator);
std::string join(const std::vector<std::string>& pieces, std::string_view separator);

}  // namespace kit
