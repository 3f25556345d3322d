// Searching UTF-8 text ignoring case (Unicode simple case folding, code point by code point).
// Results are byte offsets into the searched text; npos when nothing is found. An empty needle
// is never found.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kit {

struct FoundRange {
  std::size_t location = std::string_view::npos;  // byte offset
  std::size_t length = 0;                         // bytes of the match in the searched text
  bool found() const { return location != std::string_view::npos; }
};

FoundRange findNoCase(std::string_view haystack, std::string_view needle);
FoundRange rfindNoCase(std::string_view haystack, std::string_view needle);
bool hasPrefixNoCase(std::string_view s, std::string_view prefix);
bool hasSuffixNoCase(std::string_view s, std::string_view suffix);
// Simple case folding of a whole text (the form the two texts above are compared in).
std::string foldCase(std::string_view s);

}  // namespace kit
