#include "kit/text/scanner.h"

#include <gtest/gtest.h>

#include "kit/text/charset.h"
#include "kit/text/search.h"

namespace {

TEST(Scanner, SkipsBlanksAndLineBreaksBeforeEachPiece) {
  kit::Scanner s("  \n abc <x>");
  std::string out = "unchanged";
  EXPECT_TRUE(s.scanUpToString("<", &out));
  EXPECT_EQ(out, "abc ");
  EXPECT_FALSE(s.scanUpToString("<", &out));  // already there: nothing read, out untouched
  EXPECT_EQ(out, "abc ");
  EXPECT_TRUE(s.scanString("<X"));  // case-insensitive by default
  EXPECT_TRUE(s.scanUpToString("zzz", &out));
  EXPECT_EQ(out, ">");
  EXPECT_TRUE(s.isAtEnd());
}

TEST(Scanner, AtEndWhenOnlySkippedCharactersRemain) {
  kit::Scanner s("x \n\t ");
  std::string out;
  EXPECT_FALSE(s.isAtEnd());
  EXPECT_TRUE(s.scanUpToString(" ", &out));
  EXPECT_TRUE(s.isAtEnd());
  EXPECT_FALSE(s.scanUpToString("y", &out));
  EXPECT_TRUE(kit::Scanner("").isAtEnd());
}

TEST(CharacterSets, UnicodeWhitespaceWithAndWithoutLineBreaks) {
  const auto ws = kit::CharacterSet::whitespace();
  const auto wsn = kit::CharacterSet::whitespaceAndNewline();
  for (char32_t c : {U' ', U'\t', U'\u00A0', U'\u2003', U'\u3000'}) {
    EXPECT_TRUE(ws.contains(c)) << unsigned(c);
    EXPECT_TRUE(wsn.contains(c)) << unsigned(c);
  }
  for (char32_t c : {U'\n', U'\r', U'\v', U'\f', U'\u0085', U'\u2028', U'\u2029'}) {
    EXPECT_FALSE(ws.contains(c)) << unsigned(c);
    EXPECT_TRUE(wsn.contains(c)) << unsigned(c);
  }
  EXPECT_FALSE(wsn.contains(U'x'));
  EXPECT_FALSE(wsn.contains(U'\u200B'));  // zero-width space is not a space separator
}

TEST(CharacterSets, LettersIncludeMarksButNotDigits) {
  const auto letters = kit::CharacterSet::letters();
  EXPECT_TRUE(letters.contains(U'h'));
  EXPECT_TRUE(letters.contains(U'\u00E9'));
  EXPECT_TRUE(letters.contains(U'\u0301'));  // combining acute
  EXPECT_TRUE(letters.contains(U'\u65E5'));
  EXPECT_FALSE(letters.contains(U'5'));
  EXPECT_FALSE(letters.contains(U'.'));
  EXPECT_EQ(kit::trim("3.5 h\xC3\xA9ures", letters), "3.5 ");
}

TEST(CharacterSets, TrimAndSplitKeepInvalidBytes) {
  const auto wsn = kit::CharacterSet::whitespaceAndNewline();
  EXPECT_EQ(kit::trim(" \n\xE2\x80\xA8 a b\xC2\xA0\t", wsn), "a b");
  EXPECT_EQ(kit::trim("\xFF ", wsn), "\xFF");
  EXPECT_EQ(kit::trim(" \n ", wsn), "");
  const auto custom = kit::CharacterSet::fromCharacters(",\xE3\x80\x82");
  EXPECT_EQ(kit::split("a,b\xE3\x80\x82,c", custom), (std::vector<std::string>{"a", "b", "", "c"}));
}

TEST(CaseInsensitiveSearch, FindsWithUnicodeFoldingAndReportsOriginalBytes) {
  const auto r = kit::findNoCase("Stra\xC3\x9F" "e \xC3\x89T\xC3\x89 x", "\xC3\xA9t\xC3\xA9");
  ASSERT_TRUE(r.found());
  EXPECT_EQ(r.location, 8u);
  EXPECT_EQ(r.length, 5u);
  EXPECT_FALSE(kit::findNoCase("abc", "").found());
  EXPECT_EQ(kit::rfindNoCase("aXa xa", "XA").location, 4u);
  EXPECT_TRUE(kit::hasSuffixNoCase("Notes.TXT", ".txt"));
  EXPECT_FALSE(kit::hasSuffixNoCase("txt", "a.txt"));
  EXPECT_TRUE(kit::hasPrefixNoCase("\xC3\x89t\xC3\xA9", "\xC3\xA9T"));
}

}  // namespace
