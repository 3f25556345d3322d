#include "kit/typography/font.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kit {
namespace {

TEST(FontTest, SystemFontsCarrySizeAndStyle) {
  Font f = Font::systemFont(14);
  EXPECT_EQ(f.pointSize(), 14);
  EXPECT_FALSE(f.isBold());
  EXPECT_FALSE(f.isItalic());
  EXPECT_EQ(f.familyName(), "DejaVu Sans");
  EXPECT_TRUE(Font::boldSystemFont(12).isBold());
  EXPECT_TRUE(Font::italicSystemFont(12).isItalic());
  EXPECT_EQ(f.withSize(20).pointSize(), 20);
  EXPECT_EQ(f.withSize(20).fontName(), f.fontName());
}

TEST(FontTest, HelveticaNamesMapOntoDejaVuFaces) {
  auto bo = Font::fontWithName("Helvetica-BoldOblique", 18);
  ASSERT_TRUE(bo);
  EXPECT_TRUE(bo->isBold());
  EXPECT_TRUE(bo->isItalic());
  EXPECT_EQ(bo->pointSize(), 18);
  EXPECT_EQ(bo->fontName(), "DejaVuSans-BoldOblique");
  auto plain = Font::fontWithName("Helvetica", 10);
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->isBold());
  EXPECT_FALSE(Font::fontWithName("Comic Sans", 10));
  EXPECT_FALSE(Font::fontWithName("", 10));
}

TEST(FontTest, FontNameRoundTrips) {
  for (const Font& f : {Font::systemFont(9), Font::boldSystemFont(9), Font::italicSystemFont(9),
                        *Font::fontWithName("Helvetica-BoldOblique", 9)}) {
    auto again = Font::fontWithName(f.fontName(), f.pointSize());
    ASSERT_TRUE(again) << f.fontName();
    EXPECT_EQ(*again, f);
  }
}

TEST(FontTest, MetricsAreConsistentAndScaleWithSize) {
  Font f = Font::systemFont(14);
  EXPECT_GT(f.ascender(), 0);
  EXPECT_LT(f.descender(), 0);
  EXPECT_FLOAT_EQ(f.lineHeight(), f.ascender() - f.descender());
  EXPECT_GT(f.lineHeight(), 14);
  EXPECT_LT(f.lineHeight(), 14 * 1.4);
  Font big = f.withSize(28);
  EXPECT_NEAR(big.lineHeight(), 2 * f.lineHeight(), 0.05);
}

TEST(FontTest, NonsenseSizesFallBackToADefault) {
  EXPECT_EQ(Font::systemFont(0).pointSize(), 12);
  EXPECT_EQ(Font::systemFont(-3).pointSize(), 12);
  EXPECT_EQ(Font::systemFont(NAN).pointSize(), 12);
  EXPECT_TRUE(std::isfinite(Font::systemFont(1e30f).lineHeight()));
}

}  // namespace
}  // namespace kit
