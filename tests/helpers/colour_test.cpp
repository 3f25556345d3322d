#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "helpers/global_helpers_colour.h"
#include "helpers/strings.h"

using namespace GlobalHelpers;

namespace {

void expectRGB(RGB255 c, float r, float g, float b, float eps = 1e-4f) {
  EXPECT_NEAR(c.r, r, eps);
  EXPECT_NEAR(c.g, g, eps);
  EXPECT_NEAR(c.b, b, eps);
}

float hueAt(float x, float y) {
  RGB1 c = calculateColourWheelColourForPoint(kit::Point(x, y), kit::Point(0, 0));
  return RGBToHSV(c).h;
}

}  // namespace

TEST(ColourMarker, UnsetMarkerIsExact) {
  EXPECT_TRUE(RGB255IsDefault(RGB255Default()));
  EXPECT_TRUE(RGB255IsDefault(RGB255Make(0, 0, 254)));
  EXPECT_TRUE(RGB255IsDefault(RGB255Make(-0.0f, 0, 254)));  // float comparison
  EXPECT_FALSE(RGB255IsDefault(RGB255Make(0, 0, 254.0001f)));
  EXPECT_FALSE(RGB255IsDefault(RGB255Make(0, 0, 255)));
}

TEST(ColourEquality, BitwiseTellsNegativeZeroApart) {
  RGB255 zero = RGB255Make(0, 0, 0), negZero = RGB255Make(-0.0f, 0, 0);
  EXPECT_FALSE(RGB255EqualToColour(zero, negZero));
  EXPECT_TRUE(RGB255IsBlack(negZero));
  EXPECT_TRUE(RGB255EqualToColour(RGB255Make(1.5f, 2, 3), RGB255Make(1.5f, 2, 3)));
  float nan = std::numeric_limits<float>::quiet_NaN();
  // The same NaN bits are equal bit for bit, though not as floats.
  EXPECT_TRUE(RGB255EqualToColour(RGB255Make(nan, 0, 0), RGB255Make(nan, 0, 0)));
  // IsStandard: -0 black is not the standard black, but the unset marker matches as floats.
  EXPECT_FALSE(RGB255IsStandard(negZero));
  EXPECT_TRUE(RGB255IsStandard(zero));
  EXPECT_TRUE(RGB255IsStandard(RGB255Make(255, 127, 0)));
  EXPECT_FALSE(RGB255IsStandard(RGB255Make(255, 128, 0)));
  EXPECT_TRUE(RGB255IsStandard(RGB255Make(-0.0f, -0.0f, 254)));
}

TEST(ColourScales, UnitRoundTripAndWhiteBlack) {
  RGB255 c = RGB255FromUnit(RGB1Make(1, 0.5f, 0));
  expectRGB(c, 255, 127.5f, 0);
  RGB1 u = RGB255ToUnit(c);
  EXPECT_FLOAT_EQ(u.r, 1);
  EXPECT_FLOAT_EQ(u.g, 0.5f);
  EXPECT_TRUE(RGB255IsWhite(RGB255Make(255, 255, 255)));
  EXPECT_FALSE(RGB255IsWhite(RGB255Make(255, 255, 254.99f)));
  EXPECT_FALSE(RGB255IsBlack(RGB255Default()));
}

TEST(ColourText, TruncatesAndKeepsLowBits) {
  EXPECT_EQ(getColourAsStringWithRGB255(RGB255Make(255, 127.9f, 0)), "FF7F00");
  EXPECT_EQ(getColourAsStringWithRGB255(RGB255Default()), "0000FE");
  EXPECT_EQ(getColourAsStringWithRGB255(RGB255Make(255.9f, 256, 10)), "FF000A");
  EXPECT_EQ(getColourAsStringWithRGB255(RGB255Make(-1, 0.99f, 171)), "FF00AB");
  // Values no integer can hold, and NaN, still give six digits.
  float nan = std::numeric_limits<float>::quiet_NaN();
  float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(getColourAsStringWithRGB255(RGB255Make(nan, inf, -inf)).size(), 6u);
  EXPECT_EQ(getColourAsStringWithRGB255(RGB255Make(1e20f, 0, 0)).size(), 6u);
}

TEST(ColourText, SwitchRGBBGRSwapsPairsOfSixOnly) {
  EXPECT_EQ(switchRGBBGR(std::string_view("FF7F00")), "007FFF");
  EXPECT_EQ(switchRGBBGR(switchRGBBGR(std::string_view("123456"))->c_str()), "123456");
  EXPECT_EQ(switchRGBBGR(std::string_view("#FF7F00")), "#FF7F00");
  EXPECT_EQ(switchRGBBGR(std::string_view("")), "");
  EXPECT_EQ(switchRGBBGR(std::nullopt), std::nullopt);
  // Length counts UTF-16 units, not bytes: three accented letters are 6 bytes but 3 units.
  EXPECT_EQ(switchRGBBGR(std::string_view("\xC3\xA9\xC3\xA9\xC3\xA9")), "\xC3\xA9\xC3\xA9\xC3\xA9");
  EXPECT_EQ(switchRGBBGR(std::string_view("ab\xC3\xA9" "cde")), "de\xC3\xA9" "cab");
}

TEST(ColourText, ReadsBackWhatItWrites) {
  RGB255 c = RGB255Make(18, 52, 86);
  EXPECT_EQ(getColourAsStringWithRGB255(c), "123456");
  EXPECT_EQ(RGB255ToARGBInteger(c), 0xFF123456u);
  // Whole components survive text and back; swapping twice is the identity.
  for (int i = 0; i < 256; i += 5) {
    RGB255 w = RGB255Make(static_cast<float>(i), static_cast<float>(255 - i), static_cast<float>(i * 7 % 256));
    std::string text = getColourAsStringWithRGB255(w);
    EXPECT_TRUE(RGB255EqualToColour(strings::extractColourComponents(text), w)) << text;
    EXPECT_TRUE(RGB255EqualToColour(strings::extractColourComponents("#" + text), w)) << text;
    EXPECT_EQ(switchRGBBGR(*switchRGBBGR(std::string_view(text))), text);
  }
}

TEST(ColourInteger, CarriesAndClampsNegatives) {
  EXPECT_EQ(RGB255ToARGBInteger(RGB255Make(255, 255, 255)), 0xFFFFFFFFu);
  EXPECT_EQ(RGB255ToARGBInteger(RGB255Make(0, 0, 0)), 0xFF000000u);
  EXPECT_EQ(RGB255ToARGBInteger(RGB255Make(-5, -0.5f, 254.9f)), 0xFF0000FEu);
  // 256 blue carries into green; 256 red wraps the alpha byte round.
  EXPECT_EQ(RGB255ToARGBInteger(RGB255Make(0, 0, 256)), 0xFF000100u);
  EXPECT_EQ(RGB255ToARGBInteger(RGB255Make(256, 0, 0)), 0x00000000u + 0xFF000000u + 0x01000000u);
  float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(RGB255ToARGBInteger(RGB255Make(nan, 0, 0)), 0xFF000000u);
}

TEST(ColourDictionary, RoundTripAndMissingParts) {
  RGB255 c = RGB255Make(12.5f, 0, 254);
  kit::Dictionary d = RGB255ToDictionary(c);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_TRUE(d["r"].isReal());
  EXPECT_TRUE(RGB255EqualToColour(RGB255FromDictionary(kit::Value(d)), c));
  EXPECT_TRUE(RGB255IsDefault(RGB255FromDictionary(kit::Value())));
  EXPECT_TRUE(RGB255IsDefault(RGB255FromDictionary(kit::Value("FF0000"))));
  expectRGB(RGB255FromDictionary(kit::Value(kit::Dictionary{{"g", kit::Value(7)}})), 0, 7, 0);
  // Numbers stored as text are read as numbers.
  expectRGB(RGB255FromDictionary(kit::Value(kit::Dictionary{{"r", kit::Value(" 9.5")}})), 9.5f, 0, 0);
}

TEST(ColourHSV, KnownConversions) {
  HSV red = RGBToHSV(RGB255Make(255, 0, 0));
  EXPECT_FLOAT_EQ(red.h, 0);
  EXPECT_FLOAT_EQ(red.s, 1);
  EXPECT_FLOAT_EQ(red.v, 255);
  HSV blue = RGBToHSV(RGB255Make(0, 0, 255));
  EXPECT_NEAR(blue.h, 2.0f / 3.0f, 1e-6);
  EXPECT_FLOAT_EQ(blue.v, 255);
  HSV grey = RGBToHSV(RGB255Make(128, 128, 128));
  EXPECT_EQ(grey.h, 0);
  EXPECT_EQ(grey.s, 0);
  EXPECT_EQ(grey.v, 128);
  expectRGB(HSVToRGB(HSVMake(1.0f, 1, 1)), 1, 0, 0);
  HSV green = RGBToHSV(RGB1Make(0, 1, 0));
  EXPECT_NEAR(green.h, 1.0f / 3.0f, 1e-6);
  EXPECT_FLOAT_EQ(green.v, 1);
}

TEST(ColourHSV, RoundTripOverAGrid) {
  for (int r = 0; r <= 255; r += 17) {
    for (int g = 0; g <= 255; g += 51) {
      for (int b = 0; b <= 255; b += 85) {
        RGB255 c = RGB255Make(static_cast<float>(r), static_cast<float>(g), static_cast<float>(b));
        HSV h = RGBToHSV(c);
        EXPECT_GE(h.h, 0);
        EXPECT_LE(h.h, 1);
        expectRGB(HSVToRGB(h), c.r, c.g, c.b, 0.01f);
      }
    }
  }
}

TEST(ColourHSV, HuesOutsideTheWheelAndNaNDoNotMisbehave) {
  // Any sector other than 0-4 takes the last branch.
  expectRGB(HSVToRGB(HSVMake(-0.5f, 1, 1)), 1, 0, 1);
  expectRGB(HSVToRGB(HSVMake(0.0f, 0, 0.7f)), 0.7f, 0.7f, 0.7f);
  float nan = std::numeric_limits<float>::quiet_NaN();
  (void)HSVToRGB(HSVMake(nan, 1, 1));
  (void)HSVToRGB(HSVMake(1e30f, 1, 1));
  HSV h = RGBToHSV(RGB255Make(nan, 10, 20));
  (void)h;
}

TEST(ColourHSV, DarkBrightnessSaturation) {
  EXPECT_TRUE(HSVIsDark(HSVMake(0, 0, 0.29f)));
  EXPECT_FALSE(HSVIsDark(HSVMake(0, 0, 0.3f)));
  HSV d = HSVReduceBrightness(HSVMake(0.5f, 0.5f, 200), 25);
  EXPECT_FLOAT_EQ(d.v, 150);
  EXPECT_FLOAT_EQ(d.h, 0.5f);
  EXPECT_FLOAT_EQ(HSVReduceBrightness(HSVMake(0, 0, 100), -10).v, 110);
  HSV s = HSVReduceSaturation(HSVMake(0.1f, 0.8f, 9), 50);
  EXPECT_FLOAT_EQ(s.s, 0.4f);
  EXPECT_FLOAT_EQ(s.v, 9);
}

TEST(ColourCanvas, LineColoursStayVisible) {
  expectRGB(adjustColour(RGB255Make(0, 0, 0), 1, false), 56, 56, 56);
  expectRGB(adjustColour(RGB255Make(0, 0, 0), 1, true), 56, 56, 56);
  expectRGB(adjustColour(RGB255Make(0, 0, 0), 2, false), 0, 0, 0);
  expectRGB(adjustColour(RGB255Make(255, 255, 255), 7, false), 230, 230, 230);
  expectRGB(adjustColour(RGB255Make(255, 255, 255), 1, false), 230, 230, 230);
  expectRGB(adjustColour(RGB255Make(255, 255, 255), 0, true), 255, 255, 255);
  expectRGB(adjustColour(RGB255Make(10, 20, 30), 1, false), 10, 20, 30);
}

TEST(ColourWheel, StepsClockwiseFromStraightUp) {
  EXPECT_FLOAT_EQ(hueAt(0, -100), 0);  // hue 1.0 is red, which reads back as hue 0
  RGB1 up = calculateColourWheelColourForPoint(kit::Point(0, -100), kit::Point(0, 0));
  EXPECT_FLOAT_EQ(up.r, 1);
  EXPECT_FLOAT_EQ(up.g, 0);
  EXPECT_FLOAT_EQ(up.b, 0);
  // Just clockwise of straight up: the first step, hue 0, still red.
  float x = 100 * std::tan(9.9f * 3.14159265f / 180);
  RGB1 near = calculateColourWheelColourForPoint(kit::Point(x, -100), kit::Point(0, 0));
  EXPECT_FLOAT_EQ(near.r, 1);
  EXPECT_FLOAT_EQ(near.g, 0);
  // Straight right is 90 degrees: hue 0.25.
  EXPECT_NEAR(hueAt(100, 0), 0.25f, 1e-6);
  // Straight down is 180 degrees, straight left 270.
  EXPECT_NEAR(hueAt(0, 100), 0.5f, 1e-6);
  EXPECT_NEAR(hueAt(-100, 0), 0.75f, 1e-6);
  // Just anticlockwise of straight up: 350 degrees.
  EXPECT_NEAR(hueAt(-1, -100), 350.0f / 360.0f, 1e-5);
  // Quadrants: 45 degrees lower right is 135.
  EXPECT_NEAR(hueAt(100, 100), 130.0f / 360.0f, 1e-5);
}

TEST(ColourWheel, CentreItselfIsRed) {
  RGB1 c = calculateColourWheelColourForPoint(kit::Point(5, 5), kit::Point(5, 5));
  EXPECT_FLOAT_EQ(c.r, 1);
  EXPECT_FLOAT_EQ(c.g, 0);
  EXPECT_FLOAT_EQ(c.b, 0);
}
