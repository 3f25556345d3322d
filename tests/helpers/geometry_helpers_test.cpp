#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "helpers/global_helpers_geometry.h"
#include "kit/ui/view.h"

using namespace GlobalHelpers;
using kit::Path;
using kit::Point;
using kit::Rect;
using kit::Size;

namespace {

void expectPoint(Point p, float x, float y, float eps = 1e-4f) {
  EXPECT_NEAR(p.x, x, eps);
  EXPECT_NEAR(p.y, y, eps);
}

}  // namespace

TEST(RoundedRect, RadiusIsAQuarterOfTheShorterSideUpToFifteen) {
  Path p;
  EXPECT_FLOAT_EQ(addRoundedRect(Rect(0, 0, 100, 40), p), 10);
  Path q;
  EXPECT_FLOAT_EQ(addRoundedRect(Rect(0, 0, 200, 100), q), 15);
  Path z;
  EXPECT_FLOAT_EQ(addRoundedRect(Rect(5, 5, 0, 0), z), 0);
}

TEST(RoundedRect, TracesTheRectangleClockwiseOnScreen) {
  Path p;
  addRoundedRect(Rect(10, 20, 100, 40), p);
  const auto& els = p.elements();
  ASSERT_EQ(els.size(), 6u);
  EXPECT_EQ(els[0].op, Path::Op::Move);
  expectPoint(els[0].p[0], 20, 20);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(els[i].op, Path::Op::Arc);
    EXPECT_FALSE(els[i].clockwise);
    EXPECT_FLOAT_EQ(els[i].radius, 10);
  }
  // Top right corner, then bottom right, bottom left, top left.
  expectPoint(els[1].p[0], 100, 30);
  expectPoint(els[2].p[0], 100, 50);
  expectPoint(els[3].p[0], 20, 50);
  expectPoint(els[4].p[0], 20, 30);
  EXPECT_EQ(els[5].op, Path::Op::Close);
  // Each corner is a quarter turn, so the outline stays inside the rectangle.
  Rect box = p.boundingBox();
  EXPECT_NEAR(box.minX(), 10, 1e-3);
  EXPECT_NEAR(box.maxX(), 110, 1e-3);
  EXPECT_NEAR(box.minY(), 20, 1e-3);
  EXPECT_NEAR(box.maxY(), 60, 1e-3);
  EXPECT_TRUE(p.contains(Point(60, 40)));
  EXPECT_FALSE(p.contains(Point(11, 21)));  // cut off by the corner
}

TEST(MirrorFlip, UsesOuterWidthOnly) {
  Rect r = mirrorFlipXRect(Rect(10, 7, 30, 5), Rect(1000, 1000, 200, 50), 4);
  EXPECT_EQ(r, Rect(200 - 40 - 4, 7, 30, 5));
}

TEST(ConvertRect, ScreenToViewThroughItsWindow) {
  EXPECT_EQ(convertRect(Rect(1, 2, 3, 4), nullptr), Rect::zero());
  kit::View window(Rect(0, 20, 320, 460));
  kit::View child(Rect(10, 30, 100, 100));
  window.addSubview(&child);
  // Screen (15, 60) is window (15, 40), child (5, 10).
  EXPECT_EQ(convertRect(Rect(15, 60, 10, 10), &child), Rect(5, 10, 10, 10));
  EXPECT_EQ(convertRect(Rect(15, 60, 10, 10), &window), Rect(15, 40, 10, 10));
}

TEST(QuadBezier, EndsAndMiddle) {
  Point p0(0, 0), p1(50, 100), p2(100, 0);
  expectPoint(calcQuadBezierPointAt(0, p0, p1, p2), 0, 0);
  expectPoint(calcQuadBezierPointAt(1, p0, p1, p2), 100, 0);
  expectPoint(calcQuadBezierPointAt(0.5f, p0, p1, p2), 50, 50);
}

TEST(ShrinkLine, MovesBothEndsInward) {
  Point s(0, 0), e(100, 0);
  shrinkLineStart(s, e, 20);
  expectPoint(s, 20, 0);
  expectPoint(e, 80, 0);

  s = Point(0, 100), e = Point(0, 0);
  shrinkLineStart(s, e, 20);
  expectPoint(s, 0, 80);
  expectPoint(e, 0, 20);

  // Diagonal: 20 along the line.
  s = Point(100, 100), e = Point(0, 0);
  shrinkLineStart(s, e, 20);
  float d = 20 / std::sqrt(2.0f);
  expectPoint(s, 100 - d, 100 - d);
  expectPoint(e, d, d);
}

TEST(ShrinkLine, NeverPassesTheMiddle) {
  Point s(0, 0), e(30, 0);
  shrinkLineStart(s, e, 20);
  expectPoint(s, 15, 0);
  expectPoint(e, 15, 0);
  // Per axis: a shallow line keeps its short side from crossing over.
  s = Point(0, 0), e = Point(100, 2);
  shrinkLineStart(s, e, 20);
  EXPECT_LE(s.y, e.y);
  EXPECT_NEAR(s.y, std::fmin(20 * std::sin(std::atan(0.02)), 1.0), 1e-4);
  // A zero-length line stays where it is.
  s = Point(7, 7), e = Point(7, 7);
  shrinkLineStart(s, e, 20);
  expectPoint(s, 7, 7);
  expectPoint(e, 7, 7);
}

TEST(RoundedPolygon, StraightSidesAndCurvedCorners) {
  std::vector<Point> square = {Point(0, 0), Point(100, 0), Point(100, 100), Point(0, 100)};
  Path p = newRoundedPolygonPathFromPoints(square);
  const auto& els = p.elements();
  // move, line, then (quad, line) for points 2 and 3, then quad, line, quad to close.
  ASSERT_EQ(els.size(), 2u + 4u + 3u);
  EXPECT_EQ(els[0].op, Path::Op::Move);
  expectPoint(els[0].p[0], 20, 0);
  EXPECT_EQ(els[1].op, Path::Op::Line);
  expectPoint(els[1].p[0], 80, 0);
  EXPECT_EQ(els[2].op, Path::Op::Quad);
  expectPoint(els[2].p[0], 100, 0);   // corner pulls the curve
  expectPoint(els[2].p[1], 100, 20);  // start of the next side
  EXPECT_EQ(els[3].op, Path::Op::Line);
  expectPoint(els[3].p[0], 100, 80);
  // Ends where it began and is not explicitly closed.
  EXPECT_EQ(els.back().op, Path::Op::Quad);
  expectPoint(els.back().p[0], 0, 0);
  expectPoint(els.back().p[1], 20, 0);
  expectPoint(p.currentPoint(), 20, 0);
  for (const auto& e : els) EXPECT_NE(e.op, Path::Op::Close);
  EXPECT_TRUE(p.contains(Point(50, 50)));
  EXPECT_FALSE(p.contains(Point(1, 1)));
}

TEST(RoundedPolygon, ShortSidesAndDegenerateInput) {
  // Sides shorter than 40 are cut at their middles.
  Path tri = newRoundedPolygonPathFromPoints({Point(0, 0), Point(10, 0), Point(0, 10)});
  expectPoint(tri.elements()[0].p[0], 5, 0);
  expectPoint(tri.elements()[1].p[0], 5, 0);
  EXPECT_TRUE(newRoundedPolygonPathFromPoints({}).isEmpty());
  EXPECT_TRUE(newRoundedPolygonPathFromPoints({Point(1, 1)}).isEmpty());
  EXPECT_FALSE(newRoundedPolygonPathFromPoints({Point(0, 0), Point(100, 0)}).isEmpty());
}

TEST(ScalePoints, FirstPointMovesByTheAmount) {
  std::vector<Point> pts = {Point(10, 0), Point(-10, 0), Point(0, 20), Point(0, -20)};
  auto out = scalePoints(pts, 5);
  ASSERT_EQ(out.size(), 4u);
  expectPoint(out[0], 15, 0);
  expectPoint(out[1], -15, 0);
  expectPoint(out[2], 0, 30);
  expectPoint(out[3], 0, -30);
  auto in = scalePoints(pts, -5);
  expectPoint(in[0], 5, 0);
  EXPECT_TRUE(scalePoints({}, 3).empty());
  // First point on the centroid: returned unchanged rather than NaN.
  auto same = scalePoints({Point(0, 0), Point(-1, -1), Point(1, 1)}, 3);
  expectPoint(same[1], -1, -1);
}

TEST(BoundingRect, SpansPointsPlusOne) {
  EXPECT_EQ(calcBoundingRect({Point(10, 10), Point(20, 30)}), Rect(10, 10, 11, 21));
  EXPECT_EQ(calcBoundingRect({Point(-5, 3)}), Rect(-5, 3, 1, 1));
}

TEST(Ellipse, SemiAxesThroughCorners) {
  // A circle of radius sqrt(2)*50 passes through the corners of a 100 square.
  float b = 50 * std::sqrt(2.0f);
  EXPECT_NEAR(calcElipseAValGivenRect(Rect(0, 0, 100, 100), b), b, 1e-3);
  EXPECT_NEAR(calcElipseYValGivenX(0, 10, 5), 5, 1e-6);
  EXPECT_NEAR(calcElipseYValGivenX(10, 10, 5), 0, 1e-6);
  EXPECT_NEAR(calcElipseYValGivenX(6, 10, 5), 4, 1e-5);
}

TEST(ScaleSize, ShrinksToFitNeverGrows) {
  EXPECT_EQ(scaleSize(Size(400, 100), Size(200, 200)), Size(200, 50));
  EXPECT_EQ(scaleSize(Size(100, 50), Size(200, 200)), Size(100, 50));
  EXPECT_EQ(scaleSize(Size(100, 400), Size(200, 200)), Size(50, 200));
  // Both steps: width first, then height.
  Size s = scaleSize(Size(400, 400), Size(200, 100));
  EXPECT_EQ(s, Size(100, 100));
}

TEST(LinesIntersectTest, CrossingRoundsHalfAUnitAwayFromZero) {
  float x = -1, y = -1;
  EXPECT_EQ(LinesIntersect(0, 0, 10, 0, 5, -5, 5, 5, &x, &y), 1);
  EXPECT_FLOAT_EQ(x, 5.5f);
  EXPECT_FLOAT_EQ(y, 0.5f);
  // Negative coordinates round further negative.
  EXPECT_EQ(LinesIntersect(0, -4, -10, -4, -5, -10, -5, 0, &x, &y), 1);
  EXPECT_FLOAT_EQ(x, -5.5f);
  EXPECT_FLOAT_EQ(y, -4.5f);
}

TEST(LinesIntersectTest, ParallelMissAndTouch) {
  float x = 99, y = 99;
  EXPECT_EQ(LinesIntersect(0, 0, 10, 0, 0, 5, 10, 5, &x, &y), 0);  // parallel apart: same side
  EXPECT_EQ(LinesIntersect(0, 0, 10, 0, 2, 0, 8, 0, &x, &y), 2);   // collinear
  EXPECT_EQ(LinesIntersect(0, 0, 10, 0, 20, -5, 20, 5, &x, &y), 0);  // would cross if longer
  EXPECT_EQ(x, 99);
  // A segment ending exactly on the other counts as crossing.
  EXPECT_EQ(LinesIntersect(0, 0, 10, 0, 5, 0, 5, 5, &x, &y), 1);
  EXPECT_EQ(LinesIntersect(0, 0, 10, 10, 10, 10, 20, 0, &x, &y), 1);
}

TEST(LinesIntersectTest, PointHelpersWriteOnlyOnCrossing) {
  Point out(-1, -1);
  EXPECT_TRUE(doesIntersectLineFrom(Point(0, 0), Point(10, 0), Point(5, -5), Point(5, 5), &out));
  expectPoint(out, 5.5f, 0.5f);
  out = Point(-1, -1);
  EXPECT_FALSE(doesIntersectLineFrom(Point(0, 0), Point(10, 0), Point(0, 1), Point(10, 1), &out));
  expectPoint(out, -1, -1);
  EXPECT_FALSE(doesIntersectLineFrom(Point(0, 0), Point(10, 0), Point(2, 0), Point(8, 0), &out));
  expectPoint(out, -1, -1);
}

TEST(RectIntersection, EdgesInOrderTopBottomLeftRight) {
  Rect r(0, 0, 100, 50);
  Point out(-1, -1);
  // From the centre straight up leaves through the top.
  EXPECT_TRUE(doesIntersectRect(r, Point(50, 25), Point(50, -100), &out));
  // The half unit follows the sign of the determinant: here it lands above the edge.
  expectPoint(out, 50.5f, -0.5f);
  // Straight right leaves through the right edge.
  EXPECT_TRUE(doesIntersectRect(r, Point(50, 25), Point(300, 25), &out));
  EXPECT_NEAR(out.x, 100.5f, 1e-4);
  // A line crossing both top and bottom reports the top first.
  EXPECT_TRUE(doesIntersectRect(r, Point(40, -10), Point(40, 60), &out));
  EXPECT_NEAR(out.y, 0.5f, 1e-4);
  // Wholly inside: no edge crossed, nothing written.
  out = Point(-1, -1);
  EXPECT_FALSE(doesIntersectRect(r, Point(10, 10), Point(20, 20), &out));
  expectPoint(out, -1, -1);
}

TEST(Angle, QuadrantsClockwiseFromUp) {
  Point c(100, 100);
  EXPECT_NEAR(getAngleInDegreesOf(Point(200, 100), c), 90, 1e-4);
  EXPECT_NEAR(getAngleInDegreesOf(Point(100, 200), c), 270 - std::atan(100.0) * 180 / std::numbers::pi, 1e-3);
  EXPECT_NEAR(getAngleInDegreesOf(Point(100, 200), c), 180.57, 0.01);
  EXPECT_NEAR(getAngleInDegreesOf(Point(100, 0), c), 359.43, 0.01);
  // Upper right is below 90, lower right above, lower left below 270, upper left above.
  EXPECT_LT(getAngleInDegreesOf(Point(150, 50), c), 90);
  EXPECT_GT(getAngleInDegreesOf(Point(150, 150), c), 90);
  EXPECT_LT(getAngleInDegreesOf(Point(50, 150), c), 270);
  EXPECT_GT(getAngleInDegreesOf(Point(50, 50), c), 270);
  // Straight left and the centre itself are at 270.
  EXPECT_NEAR(getAngleInDegreesOf(Point(0, 100), c), 270, 1e-4);
  EXPECT_NEAR(getAngleInDegreesOf(c, c), 270, 1e-4);
}
