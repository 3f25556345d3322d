#include "helpers/strings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <random>
#include <string>
#include <vector>

#include "kit/text/regex.h"

namespace {

TEST(StringEquality, NilNeverEqualsAndCaseMattersOnlyWithCase) {
  EXPECT_FALSE(strings::isEqualToStringWithCase("", std::nullopt));
  EXPECT_FALSE(strings::isEqualToStringNoCase("", std::nullopt));
  EXPECT_TRUE(strings::isEqualToStringWithCase("", ""));
  EXPECT_FALSE(strings::isEqualToStringWithCase("Rainbow", "rainbow"));
  EXPECT_TRUE(strings::isEqualToStringNoCase("Rainbow", "rainbow"));
  EXPECT_TRUE(strings::isEqualToStringWithCase("Rainbow", std::string("Rainbow")));
}

TEST(StringAffixes, EmptyArgumentsAreNeverFound) {
  EXPECT_FALSE(strings::hasPrefixEx("abc", ""));
  EXPECT_FALSE(strings::hasSuffixEx("abc", ""));
  EXPECT_FALSE(strings::hasCaseInsensitivePrefix("abc", ""));
  EXPECT_FALSE(strings::hasCaseInsensitiveSuffix("abc", ""));
  EXPECT_FALSE(strings::hasCaseInsensitiveSuffix("abc", std::nullopt));
  EXPECT_FALSE(strings::hasPrefixEx("", "a"));
}

TEST(StringAffixes, SuffixIgnoringCaseAlsoWhenTheArgumentOccursEarlier) {
  EXPECT_TRUE(strings::hasCaseInsensitiveSuffix("map.QLM.qlm", ".QLM"));
  EXPECT_TRUE(strings::hasCaseInsensitiveSuffix("ABC", "abc"));
  EXPECT_FALSE(strings::hasCaseInsensitiveSuffix("bc", "abc"));
  EXPECT_TRUE(strings::hasSuffixEx("a.b.b", ".b"));
  EXPECT_TRUE(strings::hasCaseInsensitivePrefix("WWW.x", "www"));
  EXPECT_FALSE(strings::hasPrefixEx("xabc", "abc"));
}

TEST(PathExtensions, LastComponentOnly) {
  EXPECT_EQ(strings::pathExtension("archive.tar.gz"), "gz");
  EXPECT_EQ(strings::pathExtension("/a.b/c"), "");
  EXPECT_EQ(strings::pathExtension("/x/map.qlm/"), "qlm");
  EXPECT_EQ(strings::pathExtension(".hidden"), "");
  EXPECT_TRUE(strings::pathHasExtensionNoCase("/docs/Map.QLMZ", "qlmz"));
  EXPECT_FALSE(strings::pathHasExtension("/docs/Map.QLMZ", "qlmz"));
  EXPECT_FALSE(strings::pathHasExtensionNoCase("/docs/map.qlmz", "qlm"));
}

TEST(Substrings, MissingMarkerGivesNil) {
  EXPECT_EQ(strings::substringToString("key=value", "="), "key");
  EXPECT_EQ(strings::substringAfterString("key=value=x", "="), "value=x");
  EXPECT_FALSE(strings::substringToString("key", "="));
  EXPECT_FALSE(strings::substringAfterString("key", "="));
  EXPECT_FALSE(strings::substringAfterString("key", ""));
  EXPECT_EQ(strings::substringToString("=x", "="), "");
  EXPECT_EQ(strings::substringToStringNoCase("Note START: x", "start:"), "Note ");
  EXPECT_EQ(strings::substringAfterStringNoCase("Note \xC3\x89T\xC3\x89 x", "\xC3\xA9t\xC3\xA9"), " x");
}

TEST(Substrings, CountingIsNonOverlapping) {
  EXPECT_EQ(strings::countOccurencesOf("aaaa", "aa"), 2u);
  EXPECT_EQ(strings::countOccurencesOf("abc", ""), 0u);
  EXPECT_EQ(strings::countOccurencesOf("", "a"), 0u);
  EXPECT_EQ(strings::stringWithString("ab", 3), "ababab");
  EXPECT_EQ(strings::stringWithString(std::nullopt, 3), "");
  EXPECT_EQ(strings::stringWithString("ab", -2), "");
}

TEST(FileSizeText, UnitBoundaries) {
  EXPECT_EQ(strings::stringFromFileSize(-5), "-5 bytes");
  EXPECT_EQ(strings::stringFromFileSize(1022), "1022 bytes");
  EXPECT_EQ(strings::stringFromFileSize(1023), "1.0 KB");
  EXPECT_EQ(strings::stringFromFileSize(1023 * 1024 - 1), "1023.0 KB");  // just under 1023
  EXPECT_EQ(strings::stringFromFileSize(1023 * 1024), "1.0 MB");
  EXPECT_EQ(strings::stringFromFileSize(1023 * 1024 * 1024), "1.0 GB");
  EXPECT_EQ(strings::stringFromFileSize(INT32_MAX), "2.0 GB");
}

TEST(FileSizeText, IgnoresACommaDecimalLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  const std::string kb = strings::stringFromFileSize(1536);
  const std::string mb = strings::stringFromFileSize(3 * 1024 * 1024 / 2);
  const RGB255 c = strings::extractColourComponents("#0A0B0C");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(kb, "1.5 KB");
  EXPECT_EQ(mb, "1.5 MB");
  EXPECT_EQ(c.r, 10);
  EXPECT_EQ(c.b, 12);
}

TEST(Links, SchemesAddressesAndMapPaths) {
  EXPECT_TRUE(strings::hasURLScheme("ftp://x"));
  EXPECT_TRUE(strings::hasURLScheme("MAILTO:a@b.cd"));
  EXPECT_FALSE(strings::hasURLScheme("mailto"));
  EXPECT_TRUE(strings::isEmailAddress("first.last+tag@mail.example.com"));
  EXPECT_FALSE(strings::isEmailAddress("a@b.toolong"));
  EXPECT_FALSE(strings::isEmailAddress(" a@b.cd"));
  EXPECT_FALSE(strings::isEmailAddress("a@b.cd\nx@y.zz"));
  EXPECT_TRUE(strings::isMapPath("Projects/Plan"));
  EXPECT_FALSE(strings::isMapPath(""));
  EXPECT_FALSE(strings::isMapPath("WWWsite"));
  EXPECT_FALSE(strings::isMapPath("a@b.cd"));
  EXPECT_FALSE(strings::isMapPath("http://x"));
}

TEST(Links, UuidsWithOptionalBraces) {
  EXPECT_TRUE(strings::isUUID("0F8FAD5B-D9CB-469F-A165-70867728950E"));
  EXPECT_TRUE(strings::isUUID("{0f8fad5b-d9cb-469f-a165-70867728950e}"));
  EXPECT_TRUE(strings::isUUID("{0f8fad5b-d9cb-469f-a165-70867728950e"));
  EXPECT_FALSE(strings::isUUID("0f8fad5b-d9cb-469f-a165-70867728950"));
  EXPECT_FALSE(strings::isUUID("0f8fad5bd9cb469fa16570867728950e"));
  EXPECT_FALSE(strings::isUUID("g f8fad5b-d9cb-469f-a165-70867728950e"));
}

TEST(Links, MailAddressesBecomeLinksLeftmostAndGreedy) {
  const auto link = [](std::string_view a) { return "<a href=\"mailto:" + std::string(a) + "\">" + std::string(a) + "</a>"; };
  EXPECT_EQ(strings::linkEmailAddresses("Mail Ann.B+x@mail.example.co.uk, not @x.com or a@b or a@.com"),
            "Mail " + link("Ann.B+x@mail.example.co.uk") + ", not @x.com or a@b or a@.com");
  // The top-level part takes up to four letters; the rest may begin the next address.
  EXPECT_EQ(strings::linkEmailAddresses("a@b.comxyz@c.de"), link("a@b.comx") + link("yz@c.de"));
  EXPECT_EQ(strings::linkEmailAddresses("x@a.b.c9.de1.f"), link("x@a.b.c9.de") + "1.f");
  EXPECT_EQ(strings::linkEmailAddresses("a@b@c.org"), "a@" + link("b@c.org"));
  // The case-insensitive letters include the long s and the Kelvin sign.
  EXPECT_EQ(strings::linkEmailAddresses("\u017F@\u212A.com"), link("\u017F@\u212A.com"));
  EXPECT_EQ(strings::linkEmailAddresses("caf\u00e9@x.org"), "caf\u00e9@x.org");
  // Random text over the characters that matter gives what the regular expression gives.
  const kit::Regex pattern("([a-zA-Z0-9._%+-]+@[a-zA-Z0-9.-]+\\.[a-zA-Z]{2,4})", kit::Regex::CaseInsensitive);
  const std::vector<std::string> pieces{"a", "Z", "7", ".", "-", "_", "%", "@", "@", " ", "\n", "\u017F", "\u00e9", "<"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int k = static_cast<int>(random() % 24); k > 0; --k) text += pieces[random() % pieces.size()];
    ASSERT_EQ(strings::linkEmailAddresses(text), pattern.replaceAll(text, "<a href=\"mailto:$1\">$1</a>")) << text;
  }
  // Linear: a long run of address characters without an address, and one with many.
  EXPECT_EQ(strings::linkEmailAddresses(std::string(200000, 'a') + "@b"), std::string(200000, 'a') + "@b");
  std::string many;
  for (int i = 0; i < 20000; ++i) many += "ab@c.de ";
  EXPECT_EQ(strings::countOccurencesOf(strings::linkEmailAddresses(many), "mailto:"), 20000u);
}

TEST(Links, CompletionAndHost) {
  EXPECT_EQ(strings::getFullyQualifiedURL("a@b.cd"), "mailto:a@b.cd");
  EXPECT_EQ(strings::getFullyQualifiedURL("WWW.x.org"), "http://WWW.x.org");
  EXPECT_EQ(strings::getFullyQualifiedURL("https://x"), "https://x");
  EXPECT_EQ(strings::getFullyQualifiedURL("wwwx"), "wwwx");
  EXPECT_EQ(strings::extractURLHost("mailto:joe@x.com?subject=Hi"), "joe@x.com");
  EXPECT_EQ(strings::extractURLHost("http://host.org/p?q=1"), "host.org/p");
  EXPECT_EQ(strings::extractURLHost("http://host.org:8080/p"), "8080/p");
  EXPECT_EQ(strings::extractURLHost("plain"), "plain");
}

TEST(Links, QueryPairsAreUnescapedAndMalformedOnesSkipped) {
  const kit::Dictionary q =
      strings::extractURLQuery("mailto:a@b.cd?subject=Caf%C3%A9%20plan&body=x&body=y&bad&a=b=c&bin=%E9&=v");
  EXPECT_EQ(q.at("subject").string(), "Caf\xC3\xA9 plan");
  EXPECT_EQ(q.at("body").string(), "y");
  EXPECT_EQ(q.at("").string(), "v");
  EXPECT_EQ(q.count("bad"), 0u);
  EXPECT_EQ(q.count("a"), 0u);
  EXPECT_EQ(q.count("bin"), 0u);
  EXPECT_TRUE(strings::extractURLQuery("no query").empty());
}

TEST(Links, JoiningPathComponentsWithOneSlash) {
  EXPECT_EQ(strings::stringByAppendingURLPathComponent("http://x/", "/a"), "http://x/a");
  EXPECT_EQ(strings::stringByAppendingURLPathComponent("http://x", "a"), "http://x/a");
  EXPECT_EQ(strings::stringByAppendingURLPathComponent("http://x", ""), "http://x");
  EXPECT_EQ(strings::stringByAppendingURLPathComponent("http://x/", "a"), "http://x/a");
  EXPECT_EQ(strings::stringByAppendingURLPathComponent("http://x", "/a"), "http://x/a");
}

TEST(Links, UrlEscaping) {
  EXPECT_EQ(strings::escapeForURL("My Map/1: 50%?"), "My%20Map%2F1%3A%2050%25%3F");
  EXPECT_EQ(strings::escapeSimplePathForURL("a b/c#d"), "a%20b/c%23d");
}

TEST(Escaping, WindowsCsvFields) {
  EXPECT_EQ(strings::FormatForWindowsCSV("say \"hi\"\r\nnext\nlast\rend", false), "say \"\"hi\"\"\rnext\rlast\rend");
  EXPECT_EQ(strings::FormatForWindowsCSV("a\r\nb\nc\rd\"", true), "a b c d\"\"");
  EXPECT_EQ(strings::FormatForWindowsCSV("\r\n\r\n", true), "  ");
}

TEST(Escaping, XmlAndHtml) {
  EXPECT_EQ(strings::FormatForXML("a<b & \x01\"c\""), "a&lt;b &amp; &quot;c&quot;");
  EXPECT_EQ(strings::FormatForUnicodeHTML("\xC3\xA9<"), "\xC3\xA9&lt;");
  EXPECT_EQ(strings::FormatForAsciiHTML("\xC3\xA9<"), "&eacute;&lt;");
}

TEST(Whitespace, CompressingKeepsLineBreaks) {
  EXPECT_EQ(strings::stringByCompressingWhitespaceTo("  a \t b\xC2\xA0 \n c  ", "_"), "a_b_\n_c");
  EXPECT_EQ(strings::stringByCompressingWhitespaceTo(" \t ", "_"), "");
  EXPECT_EQ(strings::stringByCleaningParsedHTML("  one  \n  two \xC2\xA0 three \n\n"), "one \ntwo three");  // only blanks after a break go
}

TEST(FlattenHtml, ParagraphsAndBreaksBecomeLines) {
  EXPECT_EQ(strings::flattenHTML("<p>First</p><p>Second<br>Third</p>"), "First\nSecond\nThird");
  EXPECT_EQ(strings::flattenHTML("<P>a</P ><BR /><br/>b"), "a\n\nb");
}

TEST(FlattenHtml, HtmlDocumentsJoinSourceLinesAndEntitiesDecode) {
  EXPECT_EQ(strings::flattenHTML("<html><body>one\ntwo &amp; three&nbsp;four</body></html>"),
            "one two & three\xC2\xA0" "four");
  EXPECT_EQ(strings::flattenHTML("plain\ntext"), "plain\ntext");
  EXPECT_EQ(strings::flattenHTML("&lt;b&gt; is a tag"), "<b> is a tag");
}

TEST(FlattenHtml, WhiteSpaceBetweenPiecesAndALessThanThatStartsNoTagStay) {
  EXPECT_EQ(strings::flattenHTML("Hello <b>big</b> world"), "Hello big world");
  EXPECT_EQ(strings::flattenHTML("x < y and y > z"), "x < y and y > z");
  EXPECT_EQ(strings::flattenHTML("<i>a</i>\n\t <i>b</i>\n<p>one</p>\n<p>two</p>"), "a b one\ntwo");
}

TEST(FlattenHtml, MalformedMarkupNeverFails) {
  EXPECT_EQ(strings::flattenHTML(""), "");
  EXPECT_EQ(strings::flattenHTML("<"), "<");
  EXPECT_EQ(strings::flattenHTML("text <unclosed tag"), "text <unclosed tag");
  EXPECT_EQ(strings::flattenHTML("a > b"), "a > b");
  EXPECT_EQ(strings::flattenHTML("<<>>x"), "<<>>x");
  EXPECT_EQ(strings::flattenHTML("\xFF<b>\xFE"), "\xFF\xFE");
}

TEST(FlattenHtml, LinearOnLargeInput) {
  std::string html;
  for (int i = 0; i < 50000; ++i) html += "<p>line</p>";
  const std::string text = strings::flattenHTML(html);
  EXPECT_EQ(text.size(), 50000u * 5 - 1);
}

TEST(ColourText, SixOrEightDigitsWithOptionalHash) {
  const auto eq = [](RGB255 c, float r, float g, float b) { return c.r == r && c.g == g && c.b == b; };
  EXPECT_TRUE(eq(strings::extractColourComponents("FF8000"), 255, 128, 0));
  EXPECT_TRUE(eq(strings::extractColourComponents("#ff8000"), 255, 128, 0));
  EXPECT_TRUE(eq(strings::extractColourComponents("FF102030"), 16, 32, 48));
  EXPECT_TRUE(eq(strings::extractColourComponents("#FF102030"), 16, 32, 48));
  for (const char* bad : {"", "#", "FFF", "#FFFFF", "FE102030", "00102030", "1234567", "#12345678A",
                          "GG0000", "12 34 5", "+1+2+3", "0x1234", "#-10000", "FF\xC3\xA9" "00", "##123456"}) {
    EXPECT_TRUE(eq(strings::extractColourComponents(bad), 0, 0, 254)) << bad;
  }
}

TEST(Truncation, LongestFittingPrefixLessOneCharacterPlusDots) {
  const auto measure = [](std::string_view s) { return static_cast<float>(s.size()); };  // 1 per byte
  EXPECT_EQ(strings::truncateToWidth("short", 5, measure), "short");
  // available = 8 - 3 = 5: "abcde" fits, its last character gives way to "...".
  EXPECT_EQ(strings::truncateToWidth("abcdefghij", 8, measure), "abcd...");
  EXPECT_EQ(strings::stringByTruncatingToWidth("ab\ncdefghij", 2, measure), "ab");
  EXPECT_EQ(strings::truncateToWidth("abcdef", 1, measure), "...");
}

TEST(Truncation, NeverSplitsAPair) {
  const auto measure = [](std::string_view s) { return static_cast<float>(s.size()); };
  const std::string t = "a\xF0\x9F\x98\x80\xF0\x9F\x98\x80xyz";  // a, two emoji, xyz
  const std::string r = strings::truncateToWidth(t, 9, measure);  // available 6 bytes
  EXPECT_EQ(r, "a...");
}

TEST(MutableStrings, AppendingAndReplacing) {
  std::string s = "x";
  strings::appendStringSafe(s, std::nullopt);
  strings::appendStringSafe(s, "y");
  strings::appendString(s, "ab", 2);
  strings::appendString(s, std::nullopt, 5);
  strings::appendString(s, "q", 0);
  EXPECT_EQ(s, "xyabab");
  strings::replaceFirstOccurrenceOf(s, "ab", "-");
  EXPECT_EQ(s, "xy-ab");
  strings::replaceFirstOccurrenceOf(s, "zz", "-");
  strings::replaceFirstOccurrenceOf(s, "", "-");
  EXPECT_EQ(s, "xy-ab");
}

TEST(XmlEncoding, RewrittenOnlyInTheDeclaration) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a encoding=\"x\"/>";
  strings::forceXMLEncodingUTF8(xml);
  EXPECT_EQ(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a encoding=\"x\"/>");
  for (const char* declaration : {"<?xml version='1.0' encoding='ISO-8859-1'?>", "<?xml version=\"1.0\" encoding = \"latin1\" ?>",
                                  "<?xml version=\"1.0\"\n encoding\t=\n'cp1252'?>"}) {
    std::string spaced = std::string(declaration) + "<a/>";
    strings::forceXMLEncodingUTF8(spaced);
    EXPECT_NE(spaced.find("encoding=\"UTF-8\""), std::string::npos) << declaration;
    EXPECT_EQ(spaced.find("atin1"), std::string::npos);
    EXPECT_EQ(spaced.find("ISO"), std::string::npos);
    EXPECT_EQ(spaced.find("cp1252"), std::string::npos);
  }
  for (const char* noDeclaration : {"<a encoding=\"latin1\"/>", "<a encoding=\"latin1\"/><?pi x?>"}) {
    std::string text = noDeclaration;
    strings::forceXMLEncodingUTF8(text);
    EXPECT_EQ(text, noDeclaration);
  }
  std::string broken = "<?xml encoding=\"a\nb\"?>\xE9";
  strings::forceXMLEncodingUTF8(broken);
  EXPECT_EQ(broken, "<?xml encoding=\"a\nb\"?>\xE9");
}

}  // namespace
