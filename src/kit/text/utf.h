// UTF-8 text with UTF-16 code-unit views, and decoding of byte buffers into UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kit {

// One step of UTF-8 decoding: the code point at byte `pos` of `s` and the bytes it takes.
// Invalid or truncated sequences (overlong forms, surrogates, values above U+10FFFF) give
// `valid == false` with a length of 1, so a caller always makes progress.
struct Utf8Step {
  char32_t codePoint = 0;
  std::size_t length = 1;
  bool valid = false;
};
Utf8Step decodeUtf8At(std::string_view s, std::size_t pos);

bool isValidUtf8(std::string_view s);
// Appends the UTF-8 form of c; surrogates and values above U+10FFFF append U+FFFD.
void appendUtf8(std::string& out, char32_t c);
// Invalid bytes become U+FFFD each.
std::string sanitizeUtf8(std::string_view s);

// Conversions; invalid input is replaced by U+FFFD (a lone surrogate in UTF-16, an invalid
// byte in UTF-8), never dropped silently and never read past the end.
std::u16string utf8ToUtf16(std::string_view s);
std::string utf16ToUtf8(std::u16string_view s);

// UTF-16 views of UTF-8 text. Invalid bytes count as one unit each (as U+FFFD would).
std::size_t utf16Length(std::string_view s);
// The code unit at a UTF-16 index; 0 when the index is not below the length.
char16_t utf16CodeUnitAt(std::string_view s, std::size_t index);
// Byte offset of a UTF-16 index. An index inside a surrogate pair is moved back to the pair's
// start; an index past the end gives s.size().
std::size_t utf16IndexToByteOffset(std::string_view s, std::size_t index);
// UTF-16 index of a byte offset (offsets inside a sequence count up to that sequence's start).
std::size_t byteOffsetToUtf16Index(std::string_view s, std::size_t offset);
// Substring by UTF-16 range, clamped to the text; a boundary inside a surrogate pair is widened
// outward so that a pair is never split.
std::string utf16Substring(std::string_view s, std::size_t start, std::size_t length);
// Deletes the UTF-16 range [start, start + length) with the same widening.
void utf16Erase(std::string& s, std::size_t start, std::size_t length);

// Decoding byte buffers.
std::optional<std::string> decodeUtf8(std::span<const std::uint8_t> bytes);  // strips a UTF-8 BOM
// UTF-16 starting with a byte-order mark (FE FF big-endian, FF FE little-endian); the mark is
// not part of the text. nullopt without a mark or with an odd byte count. Lone surrogates
// become U+FFFD.
std::optional<std::string> decodeUtf16WithBom(std::span<const std::uint8_t> bytes);
// UTF-32 big-endian starting with 00 00 FE FF; nullopt for anything else or invalid values.
std::optional<std::string> decodeUtf32WithBom(std::span<const std::uint8_t> bytes);
// ISO Latin-1: always succeeds.
std::string decodeLatin1(std::span<const std::uint8_t> bytes);
// The text of a buffer of unknown encoding: UTF-16 with a mark (at least 3 bytes), else UTF-32
// with a 00 00 FE FF mark (at least 5 bytes; 00 00 FF FE is recognised as marked but no decoding
// accepts it), else UTF-8, else Latin-1.
std::string decodeText(std::span<const std::uint8_t> bytes);
inline std::string decodeText(std::string_view bytes) {
  return decodeText(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace kit
