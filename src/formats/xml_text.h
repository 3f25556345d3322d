// Small text pieces shared by the format writers and readers: escaping into one growing string
// and locale-independent numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "helpers/colour_types.h"

namespace MapFormats::detail {

// XML-escapes s onto out for use in attribute values or text. Line breaks and tabs become
// character references (attribute values would otherwise fold them into spaces), characters XML
// cannot carry are dropped, and the "u" of every "uuid" is written as a reference so that the
// clipboard's renaming of uuid attributes can never touch the text itself.
void appendEscaped(std::string& out, std::string_view s);

// Shortest text that reads back to the same value.
void appendNumber(std::string& out, float v);
void appendNumber(std::string& out, double v);
void appendNumber(std::string& out, std::int64_t v);

// name="value" with a leading space.
void appendAttribute(std::string& out, std::string_view name, std::string_view value);
template <typename N>
void appendNumberAttribute(std::string& out, std::string_view name, N v) {
  out += ' ';
  out += name;
  out += "=\"";
  appendNumber(out, v);
  out += '"';
}

// Whole-text parses: leading/trailing blanks allowed, nothing else; nullopt otherwise. Reals
// must be finite.
std::optional<std::int64_t> parseInteger(std::string_view s);
std::optional<double> parseReal(std::string_view s);
// Exactly six hexadecimal digits.
std::optional<RGB255> parseHexColour(std::string_view s);

}  // namespace MapFormats::detail
