#include "kit/text/regex.h"

#include <gtest/gtest.h>

namespace {

TEST(Regex, WholeMatchAndSearchDiffer) {
  const kit::Regex re("[0-9]+");
  EXPECT_TRUE(re.matchesWhole("123"));
  EXPECT_FALSE(re.matchesWhole("a123"));
  EXPECT_TRUE(re.search("a123"));
}

TEST(Regex, GroupsOfTheFirstMatch) {
  const kit::Regex re("Start:(.+?)\\|", kit::Regex::CaseInsensitive);
  const auto m = re.firstMatch("x start:2011-07-04|Due:2011-07-05|");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->size(), 2u);
  EXPECT_EQ((*m)[1], "2011-07-04");
  EXPECT_FALSE(re.firstMatch("nothing here"));
}

TEST(Regex, ReplaceAllWithTemplatesKeepsNonAscii) {
  const kit::Regex re("\\b(https?://)(\\S+)\\b", kit::Regex::CaseInsensitive);
  EXPECT_EQ(re.replaceAll("\xC3\xA9 see http://a.b/c now", "<a href=\"$1$2\">$2</a>"),
            "\xC3\xA9 see <a href=\"http://a.b/c\">a.b/c</a> now");
}

TEST(Regex, InvalidPatternOrTemplateChangesNothing) {
  const kit::Regex bad("(unclosed");
  EXPECT_FALSE(bad.isValid());
  EXPECT_FALSE(bad.matchesWhole("(unclosed"));
  EXPECT_EQ(bad.replaceAll("text", "x"), "text");
  const kit::Regex re("a");
  EXPECT_EQ(re.replaceAll("banana", "$9"), "banana");
}

}  // namespace
