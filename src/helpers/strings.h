// Text operations the whole program shares: equality, affixes, substrings, links, escaping,
// conversions and colour text. Text is UTF-8; "nil" arguments are std::nullopt.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "helpers/colour_types.h"
#include "kit/core/value.h"

namespace strings {

using OptionalText = std::optional<std::string_view>;

// Equality and affix tests.
// Localised, case-sensitive equality; NO for nil.
bool isEqualToStringWithCase(std::string_view s, OptionalText other);
// Localised, case-insensitive equality; NO for nil.
bool isEqualToStringNoCase(std::string_view s, OptionalText other);
// The first occurrence of the prefix is at 0 (never for an empty prefix).
bool hasPrefixEx(std::string_view s, std::string_view prefix);
// The last occurrence of the suffix ends at the end (never for an empty suffix).
bool hasSuffixEx(std::string_view s, std::string_view suffix);
bool hasCaseInsensitivePrefix(std::string_view s, OptionalText prefix);
bool hasCaseInsensitiveSuffix(std::string_view s, OptionalText suffix);
bool pathHasExtension(std::string_view path, std::string_view extension);
bool pathHasExtensionNoCase(std::string_view path, std::string_view extension);
// The text after the last "." of the last path component ("" when none).
std::string pathExtension(std::string_view path);
// The path without its trailing slashes, then "." and the extension; nothing for an empty path,
// the root, or an extension that holds a "/".
std::optional<std::string> stringByAppendingPathExtension(std::string_view path, std::string_view extension);

// Substrings and counting; nullopt when the marker does not occur.
std::optional<std::string> substringToString(std::string_view s, std::string_view marker);
std::optional<std::string> substringToStringNoCase(std::string_view s, std::string_view marker);
std::optional<std::string> substringAfterString(std::string_view s, std::string_view marker);
std::optional<std::string> substringAfterStringNoCase(std::string_view s, std::string_view marker);
// Non-overlapping occurrences, left to right; 0 for an empty argument.
std::size_t countOccurencesOf(std::string_view s, std::string_view what);
// The string n times (nil counts as empty; n below 1 gives "").
std::string stringWithString(OptionalText string, int repeatedN);
// "%i bytes", "%1.1f KB", "%1.1f MB" or "%1.1f GB", whatever the process locale.
std::string stringFromFileSize(std::int32_t size);

// Links and URLs.
bool hasURLScheme(std::string_view s);
bool isEmailAddress(std::string_view s);
bool isUUID(std::string_view s);
// A link that names a map of the library rather than an address.
bool isMapPath(std::string_view s);
std::string getFullyQualifiedURL(std::string_view s);
// Whether a browser or reader would run the address as script or inline content
// ("javascript:", "vbscript:", "data:", read as a browser reads them: tabs and line breaks
// dropped, leading blanks and controls skipped, any case). Such links from a map never reach an
// exported page or PDF.
bool runsScript(std::string_view url);
std::string extractURLHost(std::string_view s);
// Key/value pairs after the first "?", percent-unescaped; a pair whose escapes do not decode to
// UTF-8 is left out.
kit::Dictionary extractURLQuery(std::string_view s);
std::string stringByAppendingURLPathComponent(std::string_view s, std::string_view component);
std::string escapeForURL(std::string_view s);
std::string escapeSimplePathForURL(std::string_view s);
// Every e-mail address in the text (leftmost first, as the case-insensitive pattern
// "[a-zA-Z0-9._%+-]+@[a-zA-Z0-9.-]+\.[a-zA-Z]{2,4}" finds them) wrapped in a mailto link, in
// time linear in the text's length; invalid UTF-8 becomes U+FFFD.
std::string linkEmailAddresses(std::string_view s);

// Escaping and conversions.
std::string FormatForXML(std::string_view s);
std::string FormatForUnicodeHTML(std::string_view s);
std::string FormatForAsciiHTML(std::string_view s);
// Every occurrence of what replaced by with (literal, left to right); an empty what changes nothing.
std::string replaceAll(std::string_view s, std::string_view what, std::string_view with);
std::string FormatForWindowsCSV(std::string_view s, bool oneLine);
std::string stringByCompressingWhitespaceTo(std::string_view s, std::string_view separator);
std::string stringByCleaningParsedHTML(std::string_view s);
std::string flattenHTML(std::string_view s);
// "RRGGBB", "#RRGGBB" or "AARRGGBB" with alpha FF; anything else gives (0, 0, 254).
RGB255 extractColourComponents(std::string_view s);

// Single-line title truncation, measured by the caller's font: the text before its first line
// break, shortened to the longest prefix that fits `width` with "..." in place of its last
// character. `measure` gives a text's width.
using TextMeasure = std::function<float(std::string_view)>;
std::string stringByTruncatingToWidth(std::string_view s, float width, const TextMeasure& measure);
std::string truncateToWidth(std::string_view s, float width, const TextMeasure& measure);

// Mutable strings.
void appendStringSafe(std::string& s, OptionalText other);
void appendString(std::string& s, OptionalText other, int nTimes);
void replaceFirstOccurrenceOf(std::string& s, std::string_view what, std::string_view with);
// Rewrites encoding="..." in the XML declaration to encoding="UTF-8".
void forceXMLEncodingUTF8(std::string& s);

}  // namespace strings
