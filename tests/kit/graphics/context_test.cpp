#include "kit/graphics/context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "graphics_test_support.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/shadow_mask.h"

namespace kit {
namespace {

using test::drawImage;
using test::near;
using test::px;

constexpr float kPi = std::numbers::pi_v<float>;

// ---- Filling, stroking and colours ----

TEST(GraphicsContextTest, FillRectPaintsOnlyInsideWithYDown) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(10, 5, 20, 10));
  });
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(px(img, 15, 7), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 15, 20), 0, 0, 0, 0));  // below: y grows downwards
  EXPECT_TRUE(near(px(img, 5, 7), 0, 0, 0, 0));
}

TEST(GraphicsContextTest, FillColourAlphaAndContextAlphaMultiply) {
  auto img = drawImage(10, 10, [](GraphicsContext& g) {
    g.setFillColor(Color(0, 0, 1, 0.5f));
    g.setAlpha(0.5f);
    g.fillRect(Rect(0, 0, 10, 10));
  });
  EXPECT_TRUE(near(px(img, 5, 5), 0, 0, 255, 64, 2));
}

TEST(GraphicsContextTest, StrokeUsesStrokeColourAndLineWidth) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    g.setFillColor(Color(1, 0, 0));
    g.setStrokeColor(Color(0, 1, 0));
    g.setLineWidth(4);
    g.addRect(Rect(10, 10, 20, 20));
    g.drawPath(PathDrawingMode::FillStroke);
  });
  EXPECT_TRUE(near(px(img, 20, 20), 255, 0, 0, 255));  // inside: fill
  EXPECT_TRUE(near(px(img, 20, 9), 0, 255, 0, 255));   // on the edge: stroke, 2 either side
  EXPECT_TRUE(near(px(img, 20, 6), 0, 0, 0, 0));
}

TEST(GraphicsContextTest, FillConsumesThePath) {
  auto img = drawImage(20, 20, [](GraphicsContext& g) {
    g.addRect(Rect(0, 0, 5, 5));
    g.fillPath();
    EXPECT_TRUE(g.isPathEmpty());
    g.setFillColor(Color(0, 0, 1));
    g.addRect(Rect(10, 10, 5, 5));
    g.fillPath();
  });
  EXPECT_TRUE(near(px(img, 2, 2), 0, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 12, 12), 0, 0, 255, 255));
}

TEST(GraphicsContextTest, FillRectKeepsTheCurrentPath) {
  auto img = drawImage(20, 20, [](GraphicsContext& g) {
    g.addRect(Rect(10, 10, 5, 5));
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(0, 0, 5, 5));
    EXPECT_FALSE(g.isPathEmpty());
    g.setFillColor(Color(0, 1, 0));
    g.fillPath();
  });
  EXPECT_TRUE(near(px(img, 2, 2), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 12, 12), 0, 255, 0, 255));
}

TEST(GraphicsContextTest, EllipseFillsItsMiddleNotItsCorners) {
  auto img = drawImage(40, 20, [](GraphicsContext& g) {
    g.setFillColor(Color::white());
    g.fillEllipseInRect(Rect(0, 0, 40, 20));
  });
  EXPECT_TRUE(near(px(img, 20, 10), 255, 255, 255, 255));
  EXPECT_TRUE(near(px(img, 1, 1), 0, 0, 0, 0));
  EXPECT_TRUE(near(px(img, 38, 18), 0, 0, 0, 0));
}

TEST(GraphicsContextTest, PathArcsAndQuadraticCurvesReachTheirPoints) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    Path p;
    p.moveTo(Point(20, 20));
    p.addArc(Point(20, 20), 15, 0, kPi / 2, false);  // growing angles: through (20, 35) on y-down
    p.closePath();
    g.setFillColor(Color(1, 0, 0));
    g.addPath(p);
    g.fillPath();
  });
  EXPECT_TRUE(near(px(img, 26, 26), 255, 0, 0, 255));  // the lower-right quarter
  EXPECT_TRUE(near(px(img, 26, 14), 0, 0, 0, 0));      // not the upper one
}

TEST(GraphicsContextTest, ClockwiseArcTakesTheOtherWayRound) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    Path p;
    p.moveTo(Point(20, 20));
    p.addArc(Point(20, 20), 15, 0, kPi / 2, true);
    p.closePath();
    g.addPath(p);
    g.fillPath();
  });
  EXPECT_TRUE(near(px(img, 26, 26), 0, 0, 0, 0));
  EXPECT_TRUE(near(px(img, 26, 14), 0, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 14, 26), 0, 0, 0, 255));
}

TEST(GraphicsContextTest, PatternColourTilesItsImage) {
  // A 2 x 1 tile: red then blue.
  auto tile = drawImage(2, 1, [](GraphicsContext& g) {
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(0, 0, 1, 1));
    g.setFillColor(Color(0, 0, 1));
    g.fillRect(Rect(1, 0, 1, 1));
  });
  auto img = drawImage(10, 4, [&](GraphicsContext& g) {
    g.setFillColor(Color::patternImage(tile));
    g.fillRect(Rect(0, 0, 10, 4));
  });
  EXPECT_TRUE(near(px(img, 0, 2), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 1, 2), 0, 0, 255, 255));
  EXPECT_TRUE(near(px(img, 8, 3), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 9, 0), 0, 0, 255, 255));
}

TEST(GraphicsContextTest, LineDashLeavesGaps) {
  auto img = drawImage(40, 10, [](GraphicsContext& g) {
    g.setLineWidth(2);
    g.setLineDash(0, {10, 10});
    g.strokeLineSegments({Point(0, 5), Point(40, 5)});
  });
  EXPECT_TRUE(near(px(img, 5, 5), 0, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 15, 5), 0, 0, 0, 0));
  EXPECT_TRUE(near(px(img, 25, 5), 0, 0, 0, 255));
}

TEST(GraphicsContextTest, BadDashAndNonFiniteGeometryLeaveTheContextUsable) {
  auto img = drawImage(20, 20, [](GraphicsContext& g) {
    g.setLineDash(0, {-1, 2});
    g.setLineDash(0, {0, 0});
    g.setLineWidth(NAN);
    Path p;
    p.moveTo(Point(NAN, 0));
    p.lineTo(Point(INFINITY, 5));
    g.addPath(p);
    g.fillPath();
    g.fillRect(Rect(0, 0, NAN, 5));
    g.setFillColor(Color(0, 1, 0));
    g.fillRect(Rect(0, 0, 20, 20));
  });
  EXPECT_TRUE(near(px(img, 10, 10), 0, 255, 0, 255));
}

TEST(GraphicsContextTest, ClearRectMakesPixelsTransparent) {
  auto img = drawImage(20, 20, [](GraphicsContext& g) {
    g.fillRect(Rect(0, 0, 20, 20));
    g.clearRect(Rect(5, 5, 5, 5));
  });
  EXPECT_TRUE(near(px(img, 7, 7), 0, 0, 0, 0));
  EXPECT_TRUE(near(px(img, 2, 2), 0, 0, 0, 255));
}

// ---- Transform and state ----

TEST(GraphicsContextTest, TranslateScaleAndRotateMoveWhatIsDrawn) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    g.translateCTM(20, 20);
    g.rotateCTM(kPi / 2);  // +x now points down
    g.scaleCTM(2, 2);
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(2, -1, 4, 2));  // x 2..6 -> device y 24..32
  });
  EXPECT_TRUE(near(px(img, 20, 28), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 28, 20), 0, 0, 0, 0));
}

TEST(GraphicsContextTest, GetCTMIsRelativeToTheBaseSpace) {
  auto ic = ImageContext::create(Size(10, 10), false, 2);  // 20 x 20 pixels
  ASSERT_TRUE(ic);
  GraphicsContext& g = ic->context();
  EXPECT_TRUE(g.getCTM().isIdentity());
  g.translateCTM(3, 4);
  g.scaleCTM(2, 2);
  AffineTransform t = g.getCTM();
  EXPECT_EQ(t.apply(Point(1, 1)), Point(5, 6));
  EXPECT_EQ(g.userToDevice().apply(Point(1, 1)), Point(10, 12));
  g.concatCTM(AffineTransform::translation(1, 0));
  EXPECT_EQ(g.getCTM().apply(Point(0, 0)), Point(5, 4));  // the concatenated move is in user units
}

TEST(GraphicsContextTest, RestoreBringsBackColourTransformClipAndShadow) {
  auto img = drawImage(40, 20, [](GraphicsContext& g) {
    g.setFillColor(Color(1, 0, 0));
    g.saveGState();
    g.setFillColor(Color(0, 1, 0));
    g.translateCTM(100, 0);
    g.clipToRect(Rect(0, 0, 1, 1));
    g.setShadow(Size(3, 3), 2);
    g.setAlpha(0.1f);
    g.restoreGState();
    g.restoreGState();  // unbalanced: ignored
    g.fillRect(Rect(0, 0, 20, 20));
  });
  EXPECT_TRUE(near(px(img, 10, 10), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 25, 10), 0, 0, 0, 0));  // no shadow
}

TEST(GraphicsContextTest, SingularTransformDrawsNothingAndRecoversOnRestore) {
  auto img = drawImage(20, 20, [](GraphicsContext& g) {
    g.saveGState();
    g.scaleCTM(0, 1);
    g.fillRect(Rect(0, 0, 20, 20));
    g.addRect(Rect(0, 0, 20, 20));
    g.fillPath();
    EXPECT_TRUE(g.clipBoundingBox().isNull());
    g.restoreGState();
    g.setFillColor(Color(0, 0, 1));
    g.fillRect(Rect(0, 0, 10, 10));
  });
  EXPECT_TRUE(near(px(img, 5, 5), 0, 0, 255, 255));
  EXPECT_TRUE(near(px(img, 15, 15), 0, 0, 0, 0));
}

// ---- Clipping ----

TEST(GraphicsContextTest, ClipToRectLimitsDrawingAndReportsItsBox) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    EXPECT_EQ(g.clipBoundingBox(), Rect(0, 0, 40, 40));
    g.clipToRect(Rect(10, 10, 10, 10));
    g.translateCTM(5, 5);
    EXPECT_EQ(g.clipBoundingBox(), Rect(5, 5, 10, 10));  // in user space
    g.fillRect(Rect(-100, -100, 400, 400));
  });
  EXPECT_TRUE(near(px(img, 15, 15), 0, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 25, 15), 0, 0, 0, 0));
}

TEST(GraphicsContextTest, ClipToPathUsesTheShape) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    g.addEllipseInRect(Rect(0, 0, 40, 40));
    g.clip();
    EXPECT_TRUE(g.isPathEmpty());
    g.fillRect(Rect(0, 0, 40, 40));
  });
  EXPECT_TRUE(near(px(img, 20, 20), 0, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 1, 1), 0, 0, 0, 0));
}

// ---- Images and gradients ----

TEST(GraphicsContextTest, DrawImageScalesIntoTheRectUpright) {
  auto src = drawImage(2, 2, [](GraphicsContext& g) {
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(0, 0, 2, 1));  // top row red
    g.setFillColor(Color(0, 0, 1));
    g.fillRect(Rect(0, 1, 2, 1));  // bottom row blue
  });
  auto img = drawImage(20, 20, [&](GraphicsContext& g) { g.drawImage(*src, Rect(0, 0, 20, 20)); });
  EXPECT_TRUE(near(px(img, 10, 2), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 10, 17), 0, 0, 255, 255));
}

TEST(GraphicsContextTest, DrawImageWithAlpha) {
  auto src = drawImage(1, 1, [](GraphicsContext& g) { g.fillRect(Rect(0, 0, 1, 1)); });
  auto img = drawImage(4, 4, [&](GraphicsContext& g) {
    g.drawImage(*src, Rect(0, 0, 4, 4), BlendMode::Normal, 0.5f);
  });
  EXPECT_TRUE(near(px(img, 2, 2), 0, 0, 0, 128, 2));
}

TEST(GraphicsContextTest, LinearGradientRunsBetweenItsPointsOnly) {
  auto img = drawImage(100, 10, [](GraphicsContext& g) {
    g.drawLinearGradient({{0, Color::black()}, {1, Color(1, 0, 0)}}, Point(20, 0), Point(80, 0));
  });
  EXPECT_TRUE(near(px(img, 21, 5), 4, 0, 0, 255, 6));
  EXPECT_TRUE(near(px(img, 50, 5), 128, 0, 0, 255, 6));
  EXPECT_TRUE(near(px(img, 78, 5), 250, 0, 0, 255, 6));
  EXPECT_EQ(px(img, 10, 5).alpha, 0);  // no extension
  EXPECT_EQ(px(img, 90, 5).alpha, 0);
}

TEST(GraphicsContextTest, LinearGradientExtendsOneSideWhenAsked) {
  auto img = drawImage(100, 10, [](GraphicsContext& g) {
    g.drawLinearGradient({{0, Color::black()}, {1, Color(1, 0, 0)}}, Point(20, 0), Point(80, 0), false, true);
  });
  EXPECT_EQ(px(img, 10, 5).alpha, 0);
  EXPECT_TRUE(near(px(img, 95, 5), 255, 0, 0, 255));
}

// ---- Shadows ----

TEST(GraphicsContextTest, ShadowFallsDownRightOfTheShape) {
  auto img = drawImage(60, 60, [](GraphicsContext& g) {
    g.setShadow(Size(6, 6), 2);
    g.setFillColor(Color::white());
    g.fillRect(Rect(10, 10, 20, 20));
  });
  EXPECT_TRUE(near(px(img, 20, 20), 255, 255, 255, 255));
  Pixel below = px(img, 25, 33);  // under the shape's bottom edge, inside the offset shadow
  EXPECT_NEAR(below.alpha, 85, 12);  // the default colour: black at a third
  EXPECT_EQ(below.red, 0);
  EXPECT_EQ(px(img, 5, 20).alpha, 0);   // nothing up-left
  EXPECT_EQ(px(img, 50, 50).alpha, 0);  // nor far away
}

TEST(GraphicsContextTest, ShadowOffsetIsInBaseSpaceNotUserSpace) {
  auto img = drawImage(60, 60, [](GraphicsContext& g) {
    g.translateCTM(60, 60);
    g.rotateCTM(kPi);  // user space upside down
    g.setShadow(Size(6, 6), 0, Color::black());
    g.setFillColor(Color::white());
    g.fillRect(Rect(30, 30, 20, 20));  // device 10..30
  });
  EXPECT_EQ(px(img, 32, 32).alpha, 255);  // still down-right on the image
  EXPECT_EQ(px(img, 8, 8).alpha, 0);
}

TEST(GraphicsContextTest, ShadowScalesWithTheImageScale) {
  auto img = drawImage(30, 30, [](GraphicsContext& g) {
    g.setShadow(Size(4, 4), 0, Color::black());
    g.setFillColor(Color::white());
    g.fillRect(Rect(5, 5, 10, 10));
  }, 2);
  // Offset 4 points = 8 pixels: the shadow reaches pixel (36, 36) under the 10..30 square.
  EXPECT_EQ(px(img, 35, 35).alpha, 255);
  EXPECT_EQ(px(img, 39, 39).alpha, 0);
}

TEST(GraphicsContextTest, ShadowOffSwitchesItOff) {
  auto img = drawImage(40, 40, [](GraphicsContext& g) {
    g.setShadow(Size(5, 5), 2);
    g.setShadow(Size(), 0, std::nullopt);
    g.fillRect(Rect(5, 5, 10, 10));
  });
  EXPECT_EQ(px(img, 18, 18).alpha, 0);
}

TEST(GraphicsContextTest, ShadowOfAStrokeAndOfAnImage) {
  auto src = drawImage(4, 4, [](GraphicsContext& g) { g.fillRect(Rect(0, 0, 4, 4)); });
  auto img = drawImage(80, 40, [&](GraphicsContext& g) {
    g.setShadow(Size(5, 5), 0, Color(1, 0, 0));
    g.setLineWidth(2);
    g.setStrokeColor(Color::white());
    g.strokeLineSegments({Point(5, 10), Point(30, 10)});
    g.drawImage(*src, Rect(40, 5, 10, 10));
  });
  EXPECT_TRUE(near(px(img, 20, 15), 255, 0, 0, 255));
  EXPECT_TRUE(near(px(img, 53, 18), 255, 0, 0, 255));
}

TEST(GraphicsContextTest, HugeShapeShadowIsClippedToTheImage) {
  auto img = drawImage(50, 50, [](GraphicsContext& g) {
    g.setShadow(Size(3, 3), 2);
    g.setFillColor(Color::white());
    g.fillRect(Rect(-100000, -100000, 100020, 100020));  // ends at 20
  });
  EXPECT_EQ(px(img, 10, 10).alpha, 255);
  EXPECT_GT(px(img, 21, 10).alpha, 0);
  EXPECT_EQ(px(img, 40, 40).alpha, 0);
}

TEST(GraphicsContextTest, EqualShapesShareOneCachedMask) {
  // Two equal rounded shapes at whole-point positions produce the same shadow pixels.
  auto img = drawImage(120, 40, [](GraphicsContext& g) {
    g.setShadow(Size(3, 3), 2);
    g.setFillColor(Color::white());
    for (float x : {10.0f, 70.0f}) {
      g.saveGState();
      g.translateCTM(x, 5);
      g.fillEllipseInRect(Rect(0, 0, 30, 20));
      g.restoreGState();
    }
  });
  for (int dy = 0; dy < 30; dy += 3)
    for (int dx = 0; dx < 40; dx += 3) EXPECT_EQ(px(img, 8 + dx, 3 + dy), px(img, 68 + dx, 3 + dy));
}

TEST(GraphicsContextTest, ShapeShadowIsBlurredOnceForEveryClipThatShowsIt) {
  // A topic-sized shape drawn whole, then as two tiles that each show half of it: one mask,
  // and the halves show the whole drawing's pixels.
  auto shape = [](GraphicsContext& g) {
    g.setShadow(Size(3, 3), 2);
    g.setFillColor(Color::white());
    g.fillRect(Rect(10.5f, 8, 57, 23));
  };
  shadow::clearMaskCache();
  const size_t before = shadow::blurredMaskCount();
  auto whole = drawImage(80, 40, shape);
  std::vector<ImageRef> halves;
  for (float x : {0.0f, 40.0f})
    halves.push_back(drawImage(80, 40, [&](GraphicsContext& g) {
      g.clipToRect(Rect(x, 0, 40, 40));
      shape(g);
    }));
  EXPECT_EQ(shadow::blurredMaskCount() - before, 1u);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x) EXPECT_EQ(px(halves[x < 40 ? 0 : 1], x, y), px(whole, x, y)) << x << "," << y;
  // Below the shape the offset shadow (down 3, ending at row 34) fades over the blur of 2:
  // three box passes of radius 1, the kernel 1 3 6 7 6 3 1 / 27, of one third black (85).
  const int fade[] = {82, 72, 54, 31, 13, 3, 0};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(px(whole, 40, 31 + i).alpha, fade[i], 1) << 31 + i;
}

TEST(GraphicsContextTest, BlurAroundTheInkEqualsBlurringWholeLines) {
  // A thin diagonal line and a dot in a mostly empty mask, against three passes of a plain
  // box blur over every whole row and column.
  const int w = 300, h = 200, r = 2;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  cairo_t* cr = cairo_create(s);
  cairo_move_to(cr, 20, 10);
  cairo_line_to(cr, 280, 180);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_rectangle(cr, 250, 20, 1, 1);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  const int stride = cairo_image_surface_get_stride(s);
  std::vector<unsigned> ref(static_cast<size_t>(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ref[static_cast<size_t>(y * w + x)] = cairo_image_surface_get_data(s)[y * stride + x];
  auto line = [&](int start, int n, int step) {
    std::vector<unsigned> in(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) in[static_cast<size_t>(i)] = ref[static_cast<size_t>(start + i * step)];
    for (int i = 0; i < n; ++i) {
      unsigned sum = 0;
      for (int k = i - r; k <= i + r; ++k) sum += (k >= 0 && k < n) ? in[static_cast<size_t>(k)] : 0;
      ref[static_cast<size_t>(start + i * step)] = (sum + (2 * r + 1) / 2) / (2 * r + 1);
    }
  };
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) line(y * w, w, 1);
    for (int x = 0; x < w; ++x) line(x, h, w);
  }
  shadow::boxBlur(s, r);
  int differing = 0, inked = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned got = cairo_image_surface_get_data(s)[y * stride + x];
      if (got != ref[static_cast<size_t>(y * w + x)]) ++differing;
      if (got) ++inked;
    }
  cairo_surface_destroy(s);
  EXPECT_EQ(differing, 0);
  EXPECT_GT(inked, 1000);
}

// ---- Current context stack ----

TEST(GraphicsContextTest, CurrentContextStackIsPerThread) {
  auto ic = ImageContext::create(Size(4, 4));
  ASSERT_TRUE(ic);
  EXPECT_EQ(currentContext(), nullptr);
  {
    CurrentContextScope scope(&ic->context());
    EXPECT_EQ(currentContext(), &ic->context());
    GraphicsContext* seen = reinterpret_cast<GraphicsContext*>(1);
    std::thread([&] { seen = currentContext(); }).join();
    EXPECT_EQ(seen, nullptr);
  }
  EXPECT_EQ(currentContext(), nullptr);
  popContext();  // an extra pop is harmless
  EXPECT_EQ(currentContext(), nullptr);
}

TEST(GraphicsContextTest, ContextsOnSeveralThreadsAtOnce) {
  std::vector<ImageRef> out(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &out] {
      out[static_cast<size_t>(t)] = drawImage(64, 64, [t](GraphicsContext& g) {
        g.setShadow(Size(3, 3), 2);
        for (int i = 0; i < 50; ++i) {
          g.setFillColor(Color(t / 4.0f, 0, 1));
          g.fillEllipseInRect(Rect(i % 40, i % 30, 20, 10));
        }
      });
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) {
    ASSERT_TRUE(out[static_cast<size_t>(t)]);
    EXPECT_EQ(px(out[static_cast<size_t>(t)], 40, 33).blue, 255);
  }
}

}  // namespace
}  // namespace kit
