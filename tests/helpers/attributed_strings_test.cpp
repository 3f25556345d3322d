#include "helpers/attributed_strings.h"

#include <gtest/gtest.h>

namespace {

TEST(AttributedStringSetters, LineBreakNumbersOutsideTheTableTruncateTheTail) {
  kit::AttributedString s("text");
  attributed_strings::setLineBreakMode(s, 5);
  EXPECT_EQ(s.lineBreakMode(), kit::lineBreakModeFromNumber(5));
  for (int n : {4, 6, -1, 99}) {
    attributed_strings::setLineBreakMode(s, n);
    EXPECT_EQ(s.lineBreakMode(), kit::LineBreakMode::TailTruncation) << n;
  }
}

TEST(AttributedStringSetters, ColoursCoverTheWholeTextAndAreOpaque) {
  kit::AttributedString s("text");
  attributed_strings::setColourWithRGB1(s, RGB1{0.25f, 0.5f, 1.0f});
  ASSERT_FALSE(s.runs().empty());
  const auto& run = s.runs().back();
  ASSERT_TRUE(run.color);
  EXPECT_EQ(*run.color, kit::Color(0.25f, 0.5f, 1.0f, 1.0f));
  EXPECT_EQ(run.range.start, 0u);
  attributed_strings::setFont(s, kit::Font::boldSystemFont(20));
  ASSERT_TRUE(s.runs().back().font);
  EXPECT_EQ(s.runs().back().font->pointSize(), 20);
}

}  // namespace
