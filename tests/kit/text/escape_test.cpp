#include "kit/text/escape.h"

#include <gtest/gtest.h>

namespace {

TEST(PercentEscape, EscapesIllegalAndRequestedCharactersAsUtf8) {
  EXPECT_EQ(kit::percentEscape("a b\xC3\xA9"), "a%20b%C3%A9");
  EXPECT_EQ(kit::percentEscape("a/b?c"), "a/b?c");
  EXPECT_EQ(kit::percentEscape("a/b?c", "/?"), "a%2Fb%3Fc");
  EXPECT_EQ(kit::percentEscape("50%"), "50%25");
}

TEST(PercentEscape, UnescapeRoundTripsAndRefusesBrokenInput) {
  const std::string text = "50% of \"caf\xC3\xA9\" & more/{x}";
  EXPECT_EQ(kit::percentUnescape(kit::percentEscape(text, ":/?#[]@!$&'()*+,;=")), text);
  EXPECT_EQ(kit::percentUnescape("a+b%20c"), "a+b c");
  EXPECT_FALSE(kit::percentUnescape("%"));
  EXPECT_FALSE(kit::percentUnescape("%4"));
  EXPECT_FALSE(kit::percentUnescape("%zz"));
  EXPECT_FALSE(kit::percentUnescape("%E9"));  // Latin-1 byte, not UTF-8
}

TEST(XmlEscape, EscapesMarkupAndDropsWhatXmlForbids) {
  EXPECT_EQ(kit::escapeXmlSanitizing("<a href=\"x\">Tom's & Jerry</a>"),
            "&lt;a href=&quot;x&quot;&gt;Tom&apos;s &amp; Jerry&lt;/a&gt;");
  EXPECT_EQ(kit::escapeXmlSanitizing(std::string("a\0b\x01\tc\nd\re\xEF\xBF\xBF\xFF" "f", 15)), "ab\tc\nd\ref");
  EXPECT_EQ(kit::escapeXmlSanitizing("\xC3\xA9\xF0\x9F\x98\x80"), "\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(HtmlEscape, UnicodeVariantKeepsNonAscii) {
  EXPECT_EQ(kit::escapeHtml("<b>\xC3\xA9 & '</b>"), "&lt;b&gt;\xC3\xA9 &amp; &#39;&lt;/b&gt;");
}

TEST(HtmlEscape, AsciiVariantUsesNamesThenNumbers) {
  EXPECT_EQ(kit::escapeHtmlAscii("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 <"),
            "caf&eacute; &euro; &#128512; &lt;");
  EXPECT_EQ(kit::escapeHtmlAscii("a\nb"), "a\nb");
}

TEST(HtmlUnescape, NamedDecimalAndHexReferences) {
  EXPECT_EQ(kit::unescapeHtml("&lt;p&gt; caf&eacute; &#233; &#xE9; &#XE9; &apos;&amp;&quot;"),
            "<p> caf\xC3\xA9 \xC3\xA9 \xC3\xA9 \xC3\xA9 '&\"");
  EXPECT_EQ(kit::unescapeHtml("&#128512;"), "\xF0\x9F\x98\x80");
}

TEST(HtmlUnescape, LeavesWhatIsNotAReference) {
  for (const char* s : {"AT&T", "a & b", "&;", "&#;", "&#x;", "&#0;", "&#xD800;", "&#1114112;",
                        "&#99999999999999999999;", "&unknown;", "&EACUTE;", "&#12a;", "&", "&amp"}) {
    EXPECT_EQ(kit::unescapeHtml(s), s) << s;
  }
  EXPECT_EQ(kit::unescapeHtml("&&amp;"), "&&");
  EXPECT_EQ(kit::escapeHtml(kit::unescapeHtml("&amp;lt;")), "&amp;lt;");
}

TEST(HtmlEscape, UnescapeUndoesBothEscapes) {
  const std::string text = "Tom's <b>\"caf\xC3\xA9\"</b> & \xE2\x80\x94 \xF0\x9F\x98\x80";
  EXPECT_EQ(kit::unescapeHtml(kit::escapeHtml(text)), text);
  EXPECT_EQ(kit::unescapeHtml(kit::escapeHtmlAscii(text)), text);
}

}  // namespace
