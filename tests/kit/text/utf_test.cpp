#include "kit/text/utf.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint8_t> bytes(std::string_view s) { return {s.begin(), s.end()}; }

// "a" U+1F600 (a surrogate pair in UTF-16) "b"
const std::string kEmoji = "a\xF0\x9F\x98\x80" "b";

TEST(Utf16View, CountsSurrogatePairsAsTwoUnits) {
  EXPECT_EQ(kit::utf16Length(kEmoji), 4u);
  EXPECT_EQ(kit::utf16Length("\xC3\xA9"), 1u);
  EXPECT_EQ(kit::utf16CodeUnitAt(kEmoji, 1), 0xD83D);
  EXPECT_EQ(kit::utf16CodeUnitAt(kEmoji, 2), 0xDE00);
  EXPECT_EQ(kit::utf16CodeUnitAt(kEmoji, 3), u'b');
  EXPECT_EQ(kit::utf16CodeUnitAt(kEmoji, 4), 0);
}

TEST(Utf16View, SubstringAndEraseNeverSplitAPair) {
  EXPECT_EQ(kit::utf16Substring(kEmoji, 0, 2), "a\xF0\x9F\x98\x80");  // widened to the pair's end
  EXPECT_EQ(kit::utf16Substring(kEmoji, 2, 2), "\xF0\x9F\x98\x80" "b");  // widened to its start
  EXPECT_EQ(kit::utf16Substring(kEmoji, 3, 100), "b");
  EXPECT_EQ(kit::utf16Substring(kEmoji, 9, 1), "");
  std::string s = kEmoji;
  kit::utf16Erase(s, 2, 1);
  EXPECT_EQ(s, "ab");
  EXPECT_TRUE(kit::isValidUtf8(s));
}

TEST(Utf16View, OffsetsRoundTrip) {
  EXPECT_EQ(kit::utf16IndexToByteOffset(kEmoji, 3), 5u);
  EXPECT_EQ(kit::byteOffsetToUtf16Index(kEmoji, 5), 3u);
  EXPECT_EQ(kit::utf16IndexToByteOffset(kEmoji, 99), kEmoji.size());
}

TEST(Utf16Conversion, RoundTripsAndReplacesBrokenInput) {
  EXPECT_EQ(kit::utf16ToUtf8(kit::utf8ToUtf16(kEmoji)), kEmoji);
  EXPECT_EQ(kit::utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  // A truncated sequence at the very end is one replacement, not a read past the end.
  EXPECT_EQ(kit::utf8ToUtf16("a\xE2\x82"), (std::u16string{u'a', 0xFFFD, 0xFFFD}));
}

TEST(Utf8Validity, RejectsOverlongSurrogatesAndOutOfRange) {
  EXPECT_TRUE(kit::isValidUtf8(kEmoji));
  EXPECT_FALSE(kit::isValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(kit::isValidUtf8("\xED\xA0\x80"));      // encoded surrogate
  EXPECT_FALSE(kit::isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(kit::isValidUtf8("\xE9"));
}

TEST(DecodeText, FollowsByteOrderMarksThenUtf8ThenLatin1) {
  EXPECT_EQ(kit::decodeText(bytes(std::string("\xFF\xFE" "A\0", 4))), "A");
  EXPECT_EQ(kit::decodeText(bytes(std::string("\xFE\xFF\0A\0B", 6))), "AB");
  EXPECT_EQ(kit::decodeText(bytes("plain \xC3\xA9")), "plain \xC3\xA9");
  EXPECT_EQ(kit::decodeText(bytes("\xE9")), "\xC3\xA9");  // Latin-1 fallback
  EXPECT_EQ(kit::decodeText(bytes("\xEF\xBB\xBFxml")), "xml");
  EXPECT_EQ(kit::decodeText(bytes(std::string("\0\0\xFE\xFF\0\0\0A", 8))), "A");
}

TEST(DecodeText, OddOrBrokenMarkedTextFallsBackWithoutFailing) {
  // Odd length UTF-16: not UTF-16, not UTF-8, so Latin-1 (FF FE 41 -> three characters).
  EXPECT_EQ(kit::decodeText(bytes("\xFF\xFE" "A")), "\xC3\xBF\xC3\xBE" "A");
  // A UTF-16 text ending in half a pair keeps the rest and replaces the half.
  const std::string t("\xFF\xFE" "A\0\x3D\xD8", 6);
  EXPECT_EQ(kit::decodeText(bytes(t)), "A\xEF\xBF\xBD");
  EXPECT_EQ(kit::decodeText(std::span<const std::uint8_t>()), "");
}

}  // namespace
