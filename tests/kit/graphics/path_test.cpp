#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "kit/graphics/path.h"

using namespace kit;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void expectNear(Point a, Point b, float eps = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
}

}  // namespace

TEST(PathArcs, GrowingAnglesRunFromPlusXTowardsPlusY) {
  Path p;
  p.addArc(Point(0, 0), 10, 0, kPi / 2, false);
  ASSERT_EQ(p.elements().size(), 1u);
  expectNear(p.elements()[0].p[1], Point(10, 0));
  expectNear(p.currentPoint(), Point(0, 10));
  // The quarter drawn is the one through the +x/+y quadrant.
  auto poly = p.flatten(0.01f);
  ASSERT_EQ(poly.size(), 1u);
  for (Point q : poly[0]) {
    EXPECT_GE(q.x, -1e-3f);
    EXPECT_GE(q.y, -1e-3f);
  }
}

TEST(PathArcs, ClockwiseFlagTakesTheOtherWayRound) {
  Path p;
  p.addArc(Point(0, 0), 10, 0, kPi / 2, true);
  // Three quarters through negative y: the box covers the whole circle but the +x/+y quadrant.
  Rect b = p.boundingBox();
  EXPECT_NEAR(b.minX(), -10, 1e-3);
  EXPECT_NEAR(b.minY(), -10, 1e-3);
  EXPECT_NEAR(b.maxX(), 10, 1e-3);
  EXPECT_NEAR(b.maxY(), 10, 1e-3);
  expectNear(p.currentPoint(), Point(0, 10));
}

TEST(PathArcs, EndBeforeStartWrapsForward) {
  Path p;
  // From 3pi/2 to 0 towards growing angles is the quarter through -y/+x, not three quarters.
  p.addArc(Point(0, 0), 10, 3 * kPi / 2, 0, false);
  Rect b = p.boundingBox();
  EXPECT_NEAR(b.minX(), 0, 1e-3);
  EXPECT_NEAR(b.maxX(), 10, 1e-3);
  EXPECT_NEAR(b.minY(), -10, 1e-3);
  EXPECT_NEAR(b.maxY(), 0, 1e-3);
}

TEST(PathArcs, ArcJoinsCurrentPointAndStartsSubPathWithoutOne) {
  Path p;
  p.addArc(Point(50, 50), 5, 0, kPi, false);
  p.closePath();
  // After the close the current point is the arc's first point.
  expectNear(p.currentPoint(), Point(55, 50));

  Path q;
  q.moveTo(Point(0, 0));
  q.addArc(Point(20, 0), 5, kPi, 2 * kPi, false);
  auto poly = q.flatten();
  ASSERT_EQ(poly.size(), 1u);
  EXPECT_EQ(poly[0].front(), Point(0, 0));
  expectNear(poly[0][1], Point(15, 0));
}

TEST(PathArcs, FullCircleContainsItsCentre) {
  Path p;
  p.addArc(Point(0, 0), 10, 0, 2 * kPi, false);
  p.closePath();
  EXPECT_TRUE(p.contains(Point(0, 0)));
  EXPECT_TRUE(p.contains(Point(9, 0)));
  EXPECT_FALSE(p.contains(Point(8, 8)));
}

TEST(PathArcs, AbsurdAnglesStayBounded) {
  Path p;
  p.addArc(Point(0, 0), 10, 0, 1e30f, false);
  p.addArc(Point(0, 0), 1e30f, 0, 3, false);
  p.addArc(Point(0, 0), 10, NAN, 3, true);
  auto poly = p.flatten(0.0001f);
  std::size_t total = 0;
  for (auto& s : poly) total += s.size();
  EXPECT_LT(total, 20000u);
  (void)p.boundingBox();
}

TEST(PathShapes, RectIsClosedAndBoundsMatch) {
  Path p;
  p.addRect(Rect(10, 20, 30, 40));
  EXPECT_EQ(p.elements().size(), 5u);
  EXPECT_EQ(p.elements().back().op, Path::Op::Close);
  EXPECT_EQ(p.boundingBox(), Rect(10, 20, 30, 40));
  EXPECT_TRUE(p.contains(Point(10, 20)));
  EXPECT_FALSE(p.contains(Point(9, 20)));
  auto poly = p.flatten();
  ASSERT_EQ(poly.size(), 1u);
  EXPECT_EQ(poly[0].size(), 5u);
  EXPECT_EQ(poly[0].front(), poly[0].back());
}

TEST(PathShapes, EllipseStaysNearItsOutline) {
  Path p;
  p.addEllipseInRect(Rect(0, 0, 200, 100));
  for (const auto& poly : p.flatten(0.25f)) {
    for (Point q : poly) {
      double e = std::pow((q.x - 100) / 100.0, 2) + std::pow((q.y - 50) / 50.0, 2);
      EXPECT_NEAR(e, 1.0, 0.01);
    }
  }
  EXPECT_TRUE(p.contains(Point(100, 50)));
  EXPECT_FALSE(p.contains(Point(5, 5)));
}

TEST(PathShapes, EmptyPathHasNullBoundsAndContainsNothing) {
  Path p;
  EXPECT_TRUE(p.isEmpty());
  EXPECT_FALSE(p.hasCurrentPoint());
  EXPECT_TRUE(p.boundingBox().isNull());
  EXPECT_FALSE(p.contains(Point(0, 0)));
  p.closePath();
  EXPECT_TRUE(p.isEmpty());
}

TEST(PathShapes, BoundingBoxIncludesControlPoints) {
  Path p;
  p.moveTo(Point(0, 0));
  p.quadCurveTo(Point(50, 100), Point(100, 0));
  EXPECT_EQ(p.boundingBox(), Rect(0, 0, 100, 100));
}

TEST(PathFill, EvenOddAndNonZeroDiffer) {
  Path p;
  p.addRect(Rect(0, 0, 100, 100));
  p.addRect(Rect(25, 25, 50, 50));  // same direction: a hole only under even-odd
  EXPECT_TRUE(p.contains(Point(50, 50)));
  EXPECT_FALSE(p.contains(Point(50, 50), true));
  EXPECT_TRUE(p.contains(Point(10, 10), true));
}

TEST(PathFill, OpenSubPathFillsAsIfClosed) {
  Path p;
  p.moveTo(Point(0, 0));
  p.lineTo(Point(100, 0));
  p.lineTo(Point(0, 100));
  EXPECT_TRUE(p.contains(Point(10, 10)));
  EXPECT_FALSE(p.contains(Point(90, 90)));
}

TEST(PathFlatten, CurvesStayWithinTolerance) {
  Path p;
  p.moveTo(Point(0, 0));
  p.curveTo(Point(0, 100), Point(100, 100), Point(100, 0));
  auto poly = p.flatten(0.5f);
  ASSERT_EQ(poly.size(), 1u);
  EXPECT_GT(poly[0].size(), 4u);
  EXPECT_EQ(poly[0].back(), Point(100, 0));
  // The apex of this symmetric curve is (50, 75).
  float top = 0;
  for (Point q : poly[0]) top = std::fmax(top, q.y);
  EXPECT_NEAR(top, 75, 0.5);
}

TEST(PathFlatten, LineAfterCloseStartsAtTheClosedStart) {
  Path p;
  p.moveTo(Point(0, 0));
  p.lineTo(Point(10, 0));
  p.closePath();
  p.lineTo(Point(0, 10));
  auto poly = p.flatten();
  ASSERT_EQ(poly.size(), 2u);
  EXPECT_EQ(poly[1].front(), Point(0, 0));
  EXPECT_EQ(poly[1].back(), Point(0, 10));
}

TEST(PathTransform, TranslationKeepsArcsAsArcs) {
  Path p;
  p.moveTo(Point(0, 0));
  p.addArc(Point(10, 0), 5, 0, kPi, false);
  Path t = p.transformed(AffineTransform::translation(100, 200));
  ASSERT_EQ(t.elements().size(), 2u);
  EXPECT_EQ(t.elements()[1].op, Path::Op::Arc);
  expectNear(t.elements()[1].p[0], Point(110, 200));
  expectNear(t.currentPoint(), Point(105, 200));
}

TEST(PathTransform, MirroringAndNonUniformScaleKeepTheShape) {
  Path p;
  p.addArc(Point(0, 0), 10, 0, kPi / 2, false);
  for (AffineTransform t : {AffineTransform(-1, 0, 0, 1, 0, 0), AffineTransform::scale(2, 1),
                            AffineTransform::rotation(0.3f)}) {
    Path q = p.transformed(t);
    Rect expected = t.apply(Rect(0, 0, 10, 10));
    Rect got = q.boundingBox();
    // Cubic control points may reach a little beyond the arc itself.
    EXPECT_NEAR(got.minX(), expected.minX(), 1.5);
    EXPECT_NEAR(got.maxX(), expected.maxX(), 1.5);
    auto poly = q.flatten(0.05f);
    ASSERT_FALSE(poly.empty());
    expectNear(poly[0].front(), t.apply(Point(10, 0)), 1e-2f);
    expectNear(poly[0].back(), t.apply(Point(0, 10)), 1e-2f);
    // Every flattened point lies on the transformed circle.
    AffineTransform inv = t.inverted();
    for (Point r : poly[0]) {
      Point o = inv.apply(r);
      EXPECT_NEAR(std::hypot(o.x, o.y), 10, 0.1);
    }
  }
}
