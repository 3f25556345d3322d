// Escaping for URLs, XML and HTML, and HTML entity decoding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kit {

// Percent-escapes (as UTF-8 bytes) every character that may not stand in a URL — anything but
// ASCII letters, digits, "-._~" and the reserved ":/?#[]@!$&'()*+,;=" — plus each character
// of `alsoEscape`. "%" itself is always escaped, so the result unescapes to the input. Invalid
// UTF-8 bytes are escaped as they are.
std::string percentEscape(std::string_view s, std::string_view alsoEscape = {});
// Decodes %XX sequences; nullopt when a "%" is not followed by two hexadecimal digits or the
// decoded bytes are not valid UTF-8.
std::optional<std::string> percentUnescape(std::string_view s);

// XML text and attribute content: & < > " ' escaped, and every character XML 1.0 does not allow
// removed (controls other than tab, line feed and carriage return; U+FFFE, U+FFFF; invalid
// UTF-8 bytes).
std::string escapeXmlSanitizing(std::string_view s);
// HTML escaping of & < > " ' that leaves every other character as it is.
std::string escapeHtml(std::string_view s);
// HTML escaping that also writes each non-ASCII character as an entity: its HTML 4 name when it
// has one, else its decimal number. Invalid UTF-8 bytes become U+FFFD.
std::string escapeHtmlAscii(std::string_view s);
// Replaces named entities (the HTML 4 table and &apos;) and decimal or hexadecimal character
// references by their characters; anything that is not a complete, known reference to a
// Unicode scalar value other than NUL is left as written.
std::string unescapeHtml(std::string_view s);

}  // namespace kit
