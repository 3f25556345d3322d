// Canvas background colours, the swatch image and the drawing shadow.
#include <gtest/gtest.h>

#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_geometry.h"
#include "kit/graphics/image_context.h"

using kit::Color;
using kit::Rect;
using kit::Size;

namespace {

TEST(CanvasColour, PlainStylesAndTheWhiteDefault) {
  for (int style : {0, 10, -1, 1000}) EXPECT_EQ(GlobalHelpers::getCanvasColourFromStyle(style), Color::white());
  EXPECT_EQ(GlobalHelpers::getCanvasColourFromStyle(1), Color::black());
  EXPECT_EQ(GlobalHelpers::getCanvasColourFromStyle(7), Color::gray(2.0f / 3.0f));
  EXPECT_EQ(GlobalHelpers::getCanvasColourFromStyle(8), Color::gray(1.0f / 3.0f));
  EXPECT_EQ(GlobalHelpers::getCanvasColourFromStyle(9), Color(253 / 255.0f, 247 / 255.0f, 184 / 255.0f, 1));
  EXPECT_FALSE(GlobalHelpers::getCanvasColourFromStyle(2).isPattern());
  for (int style : {1, 2, 7, 8, 9, 0})
    EXPECT_EQ(GlobalHelpers::getIndicatorCanvasColourFromStyle(style), GlobalHelpers::getCanvasColourFromStyle(style));
}

TEST(CanvasColour, PaperStylesArePatternsAndTheIndicatorsUseSmallerTiles) {
  for (int style = 3; style <= 6; ++style) {
    Color canvas = GlobalHelpers::getCanvasColourFromStyle(style);
    Color indicator = GlobalHelpers::getIndicatorCanvasColourFromStyle(style);
    ASSERT_TRUE(canvas.isPattern()) << style;
    ASSERT_TRUE(indicator.isPattern()) << style;
    EXPECT_LT(indicator.pattern->size().width, canvas.pattern->size().width);
  }
  EXPECT_NE(GlobalHelpers::getCanvasColourFromStyle(3).pattern, GlobalHelpers::getCanvasColourFromStyle(5).pattern);
}

TEST(SwatchImage, FilledRectangleFourPointsSmallerWithAShadow) {
  auto img = GlobalHelpers::rectImageWithColor(Color(0, 0, 1), Size(40, 30), false);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->size(), Size(40, 30));
  auto p = *img->pixelAt(18, 13);
  EXPECT_EQ(p, (kit::Pixel{0, 0, 255, 255}));
  EXPECT_EQ(img->pixelAt(1, 1)->blue, 255);       // the plain rectangle fills its corner
  EXPECT_GT(img->pixelAt(37, 20)->alpha, 0);       // the shadow, offset down and right
  EXPECT_EQ(img->pixelAt(37, 20)->blue, 0);        // in the shadow's black
}

TEST(SwatchImage, RoundedSwatchLeavesItsCornersClear) {
  auto img = GlobalHelpers::rectImageWithColor(Color(1, 0, 0), Size(40, 30), true);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->pixelAt(0, 0)->alpha, 0);
  EXPECT_EQ(*img->pixelAt(18, 13), (kit::Pixel{255, 0, 0, 255}));
}

TEST(SwatchImage, SizesTooSmallGiveAClearImageOrNone) {
  EXPECT_EQ(GlobalHelpers::rectImageWithColor(Color(1, 0, 0), Size(0, 0), false), nullptr);
  auto tiny = GlobalHelpers::rectImageWithColor(Color(1, 0, 0), Size(3, 3), true);
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->pixelAt(1, 1)->alpha, 0);
}

// The shadow of a filled square at (20, 20, 20, 20) as seen below and above it.
struct ShadowSample {
  int below, above;
};
ShadowSample shadowOf(bool on, int type) {
  auto ic = kit::ImageContext::create(Size(60, 60));
  GlobalHelpers::setShadow(on, ic->context(), type);
  ic->context().setFillColor(Color::black());
  ic->context().fillRect(Rect(20, 20, 20, 20));
  auto img = ic->image();
  return {img->pixelAt(30, 41)->alpha, img->pixelAt(30, 18)->alpha};
}

TEST(DrawingShadow, OffsetDownRightOnScreenAndFlippedForPdfPages) {
  ShadowSample screen = shadowOf(true, 0);
  EXPECT_GT(screen.below, 0);
  EXPECT_EQ(screen.above, 0);
  // Type 1 is for y-up PDF base space; in a y-down image it falls upwards.
  ShadowSample pdf = shadowOf(true, 1);
  EXPECT_EQ(pdf.below, 0);
  EXPECT_GT(pdf.above, 0);
  ShadowSample off = shadowOf(false, 0);
  EXPECT_EQ(off.below, 0);
  EXPECT_EQ(off.above, 0);
}

// Blur 2 is a Gaussian of about one point either way: the shadow of an edge is at half strength
// on the edge offset by 3, and gone 3 points beyond it.
TEST(DrawingShadow, FadesOutWithinThreePointsOfTheOffsetEdge) {
  auto ic = kit::ImageContext::create(Size(80, 80));
  GlobalHelpers::setShadow(true, ic->context(), 0);
  ic->context().setFillColor(Color::white());
  ic->context().fillRect(Rect(20, 20, 20, 20));
  auto img = ic->image();
  for (bool across : {true, false}) {
    auto alpha = [&](int at) { return int(across ? img->pixelAt(at, 30)->alpha : img->pixelAt(30, at)->alpha); };
    SCOPED_TRACE(across ? "right" : "below");
    EXPECT_NEAR(alpha(40), 85, 5);  // well inside the shadow: black at a third
    EXPECT_NEAR(alpha(42) + alpha(43), 85, 4);  // either side of the edge at 40 + 3
    EXPECT_GT(alpha(44), 0);
    EXPECT_EQ(alpha(46), 0);
  }
}

TEST(DrawingShadow, SwitchingOffStopsTheShadowOfLaterDrawing) {
  auto ic = kit::ImageContext::create(Size(60, 60));
  GlobalHelpers::setShadow(true, ic->context(), 0);
  GlobalHelpers::setShadow(false, ic->context(), 0);
  ic->context().fillRect(Rect(20, 20, 20, 20));
  EXPECT_EQ(ic->image()->pixelAt(30, 41)->alpha, 0);
}

}  // namespace
