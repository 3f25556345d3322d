#include "helpers/rtf.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "kit/text/utf.h"

namespace {

TEST(RtfReading, FontTableSkippedAndParagraphsBecomeLines) {
  EXPECT_EQ(strings::textFromRTF("{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs24 Hello\\par World}"),
            "Hello\nWorld");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}x}"), "x");
}

TEST(RtfReading, StarredDestinationsContributeNothing) {
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 a{\\*\\generator Writer 1.0;}b{\\*\\x{nested}c}d}"), "abd");
  // A starred group inside a skipped table keeps the whole table skipped.
  EXPECT_EQ(strings::textFromRTF("{\\rtf1{\\fonttbl{\\f0{\\*\\panose 0202}Times New Roman;}{\\f1 Arial;}}"
                                 "{\\stylesheet{\\s0{\\*\\keycode x}Normal;}{\\s1 Heading;}}Hello}"),
            "Hello");
}

TEST(RtfReading, UnicodeEscapesDropTheirFallback) {
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 caf\\u233 ?s}"), "caf\xC3\xA9s");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 caf\\u233?s}"), "caf\xC3\xA9s");
  // The fallback written as a hexadecimal escape goes as a whole.
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 it\\u8217\\'92s}"), "it\xE2\x80\x99s");
  // Negative parameters wrap to 16 bits; pairs combine.
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 \\u-3913 ?}"), "\xEF\x82\xB7");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 \\u55357 ?\\u56832 ?!}"), "\xF0\x9F\x98\x80!");
  // A half pair is replaced, never written as broken UTF-8.
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 \\u55357 ?x}"), "\xEF\xBF\xBDx");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 \\u233{\\b x}}"), "\xC3\xA9x");
}

TEST(RtfReading, HexEscapesReadInTheDocumentsCodePage) {
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 caf\\'e9 \\'80}"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 \\'cf;}}\\'cf\\'f0}"), "\xD0\x9F\xD1\x80");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1\\ansicpg932 \\'82\\'a0!}"), "\xE3\x81\x82!");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 line1\\line line2\\tab x}"), "line1\nline2\tx");
}

TEST(RtfReading, RawControlsAreDropped) {
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 a\tb\r\nc\xC3\xA9}"), "abc");
  EXPECT_EQ(strings::textFromRTF("{\\rtf1 \\{x\\}\\\\}"), "{x}\\");
}

TEST(RtfReading, MalformedInputNeverFails) {
  for (const char* rtf : {"", "\\", "{", "}}}}", "\\'", "\\'4", "\\u", "\\u-", "\\u99999999999999999999999 x",
                          "{\\*", "\\par", "{\\rtf1 \\u233", "{\\fonttbl", "\\\\\\"}) {
    EXPECT_TRUE(kit::isValidUtf8(strings::textFromRTF(rtf))) << rtf;
  }
  EXPECT_EQ(strings::textFromRTF("}}} a"), " a");  // depth below zero is just a number
  const std::string longWord = "{\\rtf1 \\" + std::string(500, 'x') + "123456789012345678901234567890 ok}";
  EXPECT_EQ(strings::textFromRTF(longWord), "ok");
}

TEST(RtfReading, RandomBytesGiveValidText) {
  std::mt19937 rng(7);
  const std::string alphabet = "{}\\'*u-0123456789 abpar\n\xC3\xA9\xFF";
  for (int i = 0; i < 2000; ++i) {
    std::string s;
    const int n = static_cast<int>(rng() % 40);
    for (int j = 0; j < n; ++j) s += alphabet[rng() % alphabet.size()];
    EXPECT_TRUE(kit::isValidUtf8(strings::textFromRTF(s))) << s;
  }
}

TEST(RtfWriting, EscapesBracesAndWritesParagraphs) {
  EXPECT_EQ(strings::rtfDocFromText("a{b}\\c\nd"),
            "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}a\\{b\\}\\\\c\\par d}");
  EXPECT_EQ(strings::rtfDocFromText("a\r\nb\tc"), "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}a\\par \\par bc}");
  EXPECT_EQ(strings::rtfDocFromText("\xC3\xA9\xF0\x9F\x98\x80"),
            "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\u233 ?\\u55357 ?\\u56832 ?}");
}

TEST(RtfWriting, StyleAndSize) {
  const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}";
  EXPECT_EQ(strings::rtfDocFromTextWithTextStyle("x", 2 | 4 | 64, 36.7f), head + "\\f0\\qc\\b\\i\\fs36 x}");
  EXPECT_EQ(strings::rtfDocFromTextWithTextStyle("x", 16 | 32 | 64, 0), head + "\\f0\\ql x}");
  EXPECT_EQ(strings::rtfDocFromTextWithTextStyle("x", 32, 0), head + "\\f0\\qr x}");
  EXPECT_EQ(strings::rtfDocFromTextWithTextStyle("x", 0, 28), head + "\\f0\\fs28 x}");
  EXPECT_EQ(strings::rtfDocFromTextWithTextStyle("x", 0, 1e30f), head + "\\f0\\fs2147483647 x}");
}

TEST(RtfRoundTrip, WrittenTextReadsBack) {
  for (const char* text : {"Hello\nWorld", "  leading blanks", "{braces} and \\ back",
                           "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC", "1\n2\n\n3",
                           "par\npar"}) {
    EXPECT_EQ(strings::textFromRTF(strings::rtfDocFromTextWithTextStyle(text, 2, 24)), text);
    EXPECT_EQ(strings::textFromRTF(strings::rtfDocFromText(text)), text);
  }
}

}  // namespace
