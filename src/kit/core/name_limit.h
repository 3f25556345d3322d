// Names that fit the system's limit on one name in a path (NAME_MAX, 255 bytes): a name made by
// adding to another name (a copy's stamp, a key's hash, an extension) is shortened in what it
// was made from, never in what was added.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kit {

inline constexpr std::size_t kNameLimit = 255;

// stem + ending, the stem cut at a UTF-8 character boundary so that the whole is at most limit
// bytes; the ending (an extension, a stamp, a counter) is kept whole.
std::string fitName(std::string_view stem, std::string_view ending, std::size_t limit = kNameLimit);

// The longest name the folder's file system takes (kNameLimit when it does not say).
std::size_t nameLimitIn(const std::string& folder);

}  // namespace kit
