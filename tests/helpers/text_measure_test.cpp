// Text measured and drawn in a font: wrapped sizes in whole points, drawing inside the
// rectangle in the colour, frame sizes, single-line truncation and the test measurer hook.
#include "helpers/text_measure.h"

#include <gtest/gtest.h>

#include <cmath>

#include "helpers/attributed_strings.h"
#include "kit/graphics/image_context.h"
#include "kit/typography/string_drawing.h"

using kit::Font;
using kit::Rect;
using kit::Size;

namespace {

bool whole(float v) { return v == std::ceil(v); }

TEST(TextMeasure, EmptyTextMeasuresNothing) {
  EXPECT_EQ(strings::sizeWithFontEx("", Font::systemFont(14), Size(300, 500)), Size());
  EXPECT_EQ(strings::_measureFrame(kit::AttributedString(""), Size(300, 500)), Size());
}

TEST(TextMeasure, SizesAreWholePointsAndGrowWithTheFont) {
  Size small = strings::sizeWithFontEx("Mind map", Font::systemFont(14), Size(300, 500));
  Size big = strings::sizeWithFontEx("Mind map", Font::systemFont(28), Size(600, 500));
  EXPECT_TRUE(whole(small.width) && whole(small.height));
  EXPECT_GT(small.width, 0);
  EXPECT_GT(big.width, small.width * 1.8f);
  EXPECT_GT(big.height, small.height * 1.8f);
  // One line is about the font's line height, not the default 96 dpi's third more.
  EXPECT_NEAR(small.height, Font::systemFont(14).lineHeight(), 1.5f);
}

TEST(TextMeasure, WrapsAtWordsWithinTheWidth) {
  const Font f = Font::systemFont(14);
  const std::string text = "one two three four five six seven eight nine ten";
  Size wide = strings::sizeWithFontEx(text, f, Size(1000, 500));
  Size narrow = strings::sizeWithFontEx(text, f, Size(100, 500));
  EXPECT_LE(narrow.width, 100);
  EXPECT_GT(narrow.height, 2 * wide.height);
  // A word longer than the line breaks inside the word rather than overflowing.
  Size longWord = strings::sizeWithFontEx(std::string(80, 'w'), f, Size(100, 500));
  EXPECT_LE(longWord.width, 100);
  EXPECT_GT(longWord.height, wide.height);
}

TEST(TextMeasure, HeightKeepsOnlyTheWholeLinesThatFit) {
  const Font f = Font::systemFont(14);
  std::string lines = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10";
  Size all = strings::sizeWithFontEx(lines, f, Size(300, 500));
  Size cut = strings::sizeWithFontEx(lines, f, Size(300, 3.5f * f.lineHeight()));
  EXPECT_NEAR(cut.height, std::ceil(3 * f.lineHeight()), 1.0f);
  EXPECT_GT(all.height, cut.height);
}

TEST(TextMeasure, TrailingLineBreakCountsOnlyWithSomethingAfterIt) {
  const Font f = Font::systemFont(14);
  Size one = strings::sizeWithFontEx("Line", f, Size(300, 500));
  EXPECT_EQ(strings::sizeWithFontEx("Line\n", f, Size(300, 500)).height, one.height);
  EXPECT_GT(strings::sizeWithFontEx("Line\n ", f, Size(300, 500)).height, one.height * 1.8f);
}

TEST(TextMeasure, BadUtf8IsMeasuredNotRefused) {
  Size s = strings::sizeWithFontEx(std::string("ab\xff\xfe" "cd", 6), Font::systemFont(14), Size(300, 500));
  EXPECT_GT(s.width, 0);
}

TEST(TextMeasure, DrawsInTheColourInsideTheRectangleOnly) {
  auto ic = kit::ImageContext::create(Size(200, 100));
  ASSERT_TRUE(ic);
  const Rect box(20, 20, 80, 40);
  strings::drawInContext("Wrapped words in a box of text", ic->context(), box, Font::boldSystemFont(14),
                         kit::Color(1, 0, 0));
  EXPECT_EQ(ic->context().fillColor(), kit::Color(1, 0, 0));
  EXPECT_EQ(ic->context().strokeColor(), kit::Color(1, 0, 0));
  auto img = ic->image();
  int inside = 0, outside = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) {
      auto p = img->pixelAt(x, y);
      if (!p || p->alpha < 128) continue;
      EXPECT_GT(p->red, 200);
      EXPECT_LT(p->green, 60);
      if (box.insetBy(-2, -2).contains(kit::Point(float(x), float(y)))) ++inside;
      else ++outside;
    }
  EXPECT_GT(inside, 50);
  EXPECT_EQ(outside, 0);
}

TEST(TextMeasure, FrameSizeIsTheWidestLineAndWholeLines) {
  kit::AttributedString s("short\na much longer line");
  attributed_strings::setFont(s, Font::systemFont(16));
  Size frame = strings::_measureFrame(s, Size(1000, 1000));
  Size longer = strings::sizeWithFontEx("a much longer line", Font::systemFont(16), Size(1000, 1000));
  EXPECT_EQ(frame.width, longer.width);
  EXPECT_TRUE(whole(frame.height));
  EXPECT_GT(frame.height, longer.height * 1.8f);
}

TEST(TextMeasure, TruncationFitsTheWidthWithAnEllipsis) {
  const Font f = Font::systemFont(14);
  auto width = [&](const std::string& t) { return kit::sizeWithFont(t, f).width; };
  EXPECT_EQ(strings::stringByTruncatingToWidth("Short", 200, f), "Short");
  std::string cut = strings::stringByTruncatingToWidth("A rather long title for a narrow cell", 100, f);
  ASSERT_GE(cut.size(), 4u);
  EXPECT_EQ(cut.substr(cut.size() - 3), "...");
  EXPECT_LE(width(cut), 100 + width("..."));
  EXPECT_EQ(cut.rfind("A rather", 0), 0u);
  // Only the first line counts.
  EXPECT_EQ(strings::stringByTruncatingToWidth("First\nSecond line", 200, f), "First");
  // Multi-byte characters are never split.
  std::string accented = strings::stringByTruncatingToWidth("éééééééééééééééééééééééé", 60, f);
  EXPECT_EQ(accented.substr(accented.size() - 3), "...");
  EXPECT_EQ((accented.size() - 3) % 2, 0u);
}

// Kept sizes answer only for the same text, face, size and constraint: each variant here
// measures differently, and a kept size given for the wrong one would show.
TEST(TextMeasure, KeptSizesAnswerOnlyForTheSameTextFontAndConstraint) {
  strings::forgetMeasuredSizes();
  const std::string text = "one two three four five six seven eight nine ten";
  const Font regular = Font::systemFont(14);
  const Size wide(1000, 500);
  const Size first = strings::sizeWithFontEx(text, regular, wide);
  struct Variant {
    std::string text;
    Font font;
    Size constraint;
  };
  const Variant variants[] = {{text, Font::boldSystemFont(14), wide},
                              {text, Font::systemFont(15), wide},
                              {text, regular, Size(100, 500)},
                              {text, regular, Size(100, 2.5f * regular.lineHeight())},
                              {text + " eleven", regular, wide}};
  for (const Variant& v : variants) {
    const Size kit = kit::sizeWithFont(v.text, v.font, v.constraint, kit::LineBreakMode::WordWrap);
    EXPECT_NE(kit, first);
    EXPECT_EQ(strings::sizeWithFontEx(v.text, v.font, v.constraint), kit);
    EXPECT_EQ(strings::sizeWithFontEx(v.text, v.font, v.constraint), kit);  // now a kept one
  }
  EXPECT_EQ(strings::sizeWithFontEx(text, regular, wide), first);
  strings::forgetMeasuredSizes();
  EXPECT_EQ(strings::sizeWithFontEx(text, regular, wide), first);
}

kit::Size fixedSize(std::string_view, const Font&, Size) { return Size(7, 9); }

TEST(TextMeasure, TestMeasurerReplacesAndRestores) {
  const Font f = Font::systemFont(14);
  Size real = strings::sizeWithFontEx("Hello", f, Size(300, 500));
  strings::setSizeMeasurerForTesting(&fixedSize);
  EXPECT_EQ(strings::sizeWithFontEx("Hello", f, Size(300, 500)), Size(7, 9));
  strings::setSizeMeasurerForTesting(nullptr);
  EXPECT_EQ(strings::sizeWithFontEx("Hello", f, Size(300, 500)), real);
}

}  // namespace
