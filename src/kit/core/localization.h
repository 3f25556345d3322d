// The application's localised strings: a key/value table for the user's language. A key without
// an entry is its own translation (the platform's rule for an empty default value).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace kit {

// The text of `key` in the default table; the key itself when the table has no entry.
std::string localizedString(std::string_view key);

// Replaces the default table (the application loads it from its resources at start).
void setLocalizedStrings(std::unordered_map<std::string, std::string> table);

}  // namespace kit
