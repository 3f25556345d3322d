#include "kit/typography/attributed_string.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kit/graphics/image_context.h"

namespace kit {
namespace {

const Font kFont = Font::systemFont(14);

Float lines(Float n) { return std::ceil(n * kFont.lineHeight()); }

TEST(AttributedStringTest, LineBreakNumbersMapAsThePlatformDoes) {
  EXPECT_EQ(lineBreakModeFromNumber(0), LineBreakMode::WordWrap);
  EXPECT_EQ(lineBreakModeFromNumber(1), LineBreakMode::CharacterWrap);
  EXPECT_EQ(lineBreakModeFromNumber(2), LineBreakMode::Clip);
  EXPECT_EQ(lineBreakModeFromNumber(3), LineBreakMode::HeadTruncation);
  EXPECT_EQ(lineBreakModeFromNumber(4), LineBreakMode::TailTruncation);
  EXPECT_EQ(lineBreakModeFromNumber(5), LineBreakMode::MiddleTruncation);
  EXPECT_EQ(lineBreakModeFromNumber(6), LineBreakMode::TailTruncation);
  EXPECT_EQ(lineBreakModeFromNumber(-1), LineBreakMode::TailTruncation);
}

TEST(AttributedStringTest, EmptyFrameMeasuresNothing) {
  AttributedString s;
  EXPECT_EQ(measureFrame(s, Size(100, 100)), Size());
}

TEST(AttributedStringTest, FrameMatchesPlainMeasurementInOneFont) {
  std::string text = "The quick brown fox jumps over the lazy dog";
  AttributedString s(text);
  s.setFont(kFont);
  EXPECT_EQ(measureFrame(s, Size(120, 1000)), sizeWithFont(text, kFont, Size(120, 1000)));
}

TEST(AttributedStringTest, FrameKeepsOnlyLinesThatFit) {
  AttributedString s("one\ntwo\nthree\nfour");
  s.setFont(kFont);
  EXPECT_EQ(measureFrame(s, Size(300, lines(3) + 0.5f)).height, lines(3));
}

TEST(AttributedStringTest, TruncatingModesKeepEachParagraphOnOneLine) {
  std::string text = "alpha beta gamma delta epsilon zeta\nsecond paragraph here and more words";
  AttributedString s(text);
  s.setFont(kFont);
  s.setLineBreakMode(LineBreakMode::TailTruncation);
  Size m = measureFrame(s, Size(100, 1000));
  EXPECT_EQ(m.height, lines(2));
  EXPECT_LE(m.width, 100);
  s.setLineBreakMode(LineBreakMode::WordWrap);
  EXPECT_GT(measureFrame(s, Size(100, 1000)).height, lines(2));
}

TEST(AttributedStringTest, ABiggerFontOverPartOfTheTextGrowsTheLine) {
  AttributedString s("small BIG small");
  s.setFont(kFont);
  Size plain = measureFrame(s, Size(1000, 1000));
  s.setFont(Font::boldSystemFont(30), AttributedString::Range{6, 3});
  Size mixed = measureFrame(s, Size(1000, 1000));
  EXPECT_GT(mixed.height, plain.height);
  EXPECT_GT(mixed.width, plain.width);
  // Ranges beyond the text are clamped, not trusted.
  s.setFont(Font::boldSystemFont(30), AttributedString::Range{100, 5});
  s.setColor(Color(1, 0, 0), AttributedString::Range{3, 1000});
  EXPECT_EQ(measureFrame(s, Size(1000, 1000)), mixed);
}

TEST(AttributedStringTest, RunColoursAreDrawn) {
  AttributedString s("RRRR");
  s.setFont(Font::boldSystemFont(30));
  s.setColor(Color(0, 0.5f, 0));
  s.setUnderline(true);
  auto ic = ImageContext::create(Size(200, 60));
  drawFrame(ic->context(), s, Rect(0, 0, 200, 60));
  ImageRef img = ic->image();
  bool green = false;
  for (int y = 0; y < 60 && !green; ++y)
    for (int x = 0; x < 200 && !green; ++x) {
      auto p = *img->pixelAt(x, y);
      green = p.alpha > 200 && p.green > 100 && p.red < 30;
    }
  EXPECT_TRUE(green);
}

}  // namespace
}  // namespace kit
