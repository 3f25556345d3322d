#include <gtest/gtest.h>

#include "kit/core/geometry.h"

using namespace kit;

TEST(Rounding, TiesGoToEven) {
  EXPECT_EQ(roundHalfEven(2.5f), 2.0f);
  EXPECT_EQ(roundHalfEven(3.5f), 4.0f);
  EXPECT_EQ(roundHalfEven(-2.5f), -2.0f);
  EXPECT_EQ(roundToEvenWhole(2.5f), 2.0f);
  EXPECT_EQ(roundToEvenWhole(3.4f), 4.0f);
}

TEST(RectSemantics, ContainmentKeepsMaxEdgesOutside) {
  Rect r(0, 0, 10, 10);
  EXPECT_TRUE(r.contains(Point(0, 0)));
  EXPECT_FALSE(r.contains(Point(10, 5)));
  EXPECT_FALSE(r.contains(Point(5, 10)));
  EXPECT_TRUE(Rect(10, 10, -10, -10).contains(Point(0, 0)));
}

TEST(RectSemantics, UnionIgnoresNullButNotZero) {
  Rect r(5, 5, 10, 10);
  EXPECT_EQ(Rect::null().unionWith(r), r);
  EXPECT_EQ(r.unionWith(Rect::null()), r);
  EXPECT_EQ(r.unionWith(Rect::zero()), Rect(0, 0, 15, 15));
  EXPECT_TRUE(Rect(0, 0, 5, 5).intersection(Rect(6, 6, 5, 5)).isNull());
  EXPECT_EQ(Rect(0, 0, 10, 10).intersection(Rect(5, 5, 10, 10)), Rect(5, 5, 5, 5));
  EXPECT_TRUE(Rect::null().isEmpty());
}

TEST(AffineTransformTest, InverseUndoesScaleAndTranslation) {
  AffineTransform t = AffineTransform::scale(2, 3).concat(AffineTransform::translation(10, -4));
  Point p = t.apply(Point(1, 1));
  EXPECT_EQ(p, Point(12, -1));
  EXPECT_EQ(t.inverted().apply(p), Point(1, 1));
  EXPECT_EQ(t.apply(Rect(0, 0, 1, 1)), Rect(10, -4, 2, 3));
}

TEST(RectSemantics, TouchingRectanglesIntersect) {
  Rect a(0, 0, 10, 10);
  EXPECT_TRUE(a.intersects(Rect(10, 0, 10, 10)));
  EXPECT_EQ(a.intersection(Rect(10, 0, 10, 10)), Rect(10, 0, 0, 10));
  EXPECT_TRUE(a.intersects(Rect(5, 5, 0, 0)));
  EXPECT_FALSE(a.intersects(Rect(10.5f, 0, 10, 10)));
  EXPECT_FALSE(a.intersects(Rect::null()));
}
