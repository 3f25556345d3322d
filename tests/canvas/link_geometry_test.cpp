// Link geometry: which link type joins a child to its parent, where it starts and ends, when no
// link is drawn, the curves and wedges of each type, and the wedge points of callouts.
#include <gtest/gtest.h>

#include <cmath>

#include "canvas/drawing_test_support.h"

using kit::Path;
using kit::Point;
using kit::Rect;

namespace {

bool hasClose(const Path& p) {
  for (const auto& e : p.elements())
    if (e.op == Path::Op::Close) return true;
  return false;
}

class LinkGeometryTest : public DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    root = make(nullptr, {}, "Central");
    const Point c = root->center();
    parent = make(root, Point(c.x + 400, c.y), "Parent topic");
    child = make(parent, Point(c.x + 700, c.y), "Child");
  }
  // Geometry of the link from child to parent.
  bool geometry(NodeView* k, NodeView* p) {
    type = 3;
    return BigView::calculateInterTopicLinkGeometryFrom(k, p, start, end, type);
  }

  NodeView* root = nullptr;
  NodeView* parent = nullptr;
  NodeView* child = nullptr;
  Point start, end;
  int type = 0;
};

// ---- Choice of link type -----------------------------------------------------------------------

TEST_F(LinkGeometryTest, ExactlyTwentyPointsClearOnTheRightIsSideToSide) {
  // Both frames are inset by 2 before the clearance is measured.
  Rect p = parent->getAdjustedNodeShapeFrame();
  placeMinX(child, p.maxX() - 2 + 20 - 2);
  ASSERT_TRUE(geometry(child, parent));
  EXPECT_EQ(type, 3);
  Rect f = child->getAdjustedNodeShapeFrame().insetBy(2, 2);
  Rect t = p.insetBy(2, 2);
  ASSERT_EQ(f.minX() - t.maxX(), 20);
  EXPECT_EQ(start, Point(f.minX(), f.midY()));
  EXPECT_EQ(end, Point(t.maxX(), t.midY()));

  placeMinX(child, p.maxX() - 2 + 19 - 2);
  geometry(child, parent);
  EXPECT_NE(type, 3);
}

TEST_F(LinkGeometryTest, ExactlyTwentyPointsClearOnTheLeftIsSideToSide) {
  NodeView* left = make(parent, Point(root->center().x + 100, root->center().y), "Left of it");
  Rect p = parent->getAdjustedNodeShapeFrame();
  placeMaxX(left, p.minX() + 2 - 20 + 2);
  ASSERT_TRUE(geometry(left, parent));
  EXPECT_EQ(type, 3);
  Rect f = left->getAdjustedNodeShapeFrame().insetBy(2, 2);
  EXPECT_EQ(start, Point(f.maxX(), f.midY()));
  EXPECT_EQ(end, Point(p.minX() + 2, p.insetBy(2, 2).midY()));

  placeMaxX(left, p.minX() + 2 - 19 + 2);
  geometry(left, parent);
  EXPECT_NE(type, 3);
}

TEST_F(LinkGeometryTest, CentralTopicIsInsetByEightHorizontally) {
  Rect r = root->getAdjustedNodeShapeFrame();
  placeMinX(parent, r.maxX() - 8 + 20 - 2);
  ASSERT_TRUE(geometry(parent, root));
  EXPECT_EQ(type, 3);
  EXPECT_EQ(end.x, r.maxX() - 8);
  placeMinX(parent, r.maxX() - 8 + 19 - 2);
  geometry(parent, root);
  EXPECT_NE(type, 3);
}

TEST_F(LinkGeometryTest, ChildWellBelowJoinsBottomToTop) {
  Rect p = parent->getAdjustedNodeShapeFrame();
  child->setCenter(Point(parent->center().x + 10, parent->center().y));
  placeMinY(child, p.maxY() + 40);
  ASSERT_TRUE(geometry(child, parent));
  EXPECT_EQ(type, 4);
  Rect f = child->getAdjustedNodeShapeFrame().insetBy(2, 2);
  Rect t = p.insetBy(2, 2);
  EXPECT_EQ(start, Point(f.midX(), f.minY()));
  EXPECT_EQ(end, Point(t.midX(), t.maxY()));
}

TEST_F(LinkGeometryTest, ChildBelowAndAsideJoinsSideToParentBottom) {
  Rect p = parent->getAdjustedNodeShapeFrame();
  // Less than 20 clear, but starting beyond the parent's middle less 20: type 1.
  placeMinX(child, p.maxX() - 2 + 10 + 2);
  placeMinY(child, p.maxY() + 60);
  ASSERT_TRUE(geometry(child, parent));
  EXPECT_EQ(type, 1);
  Rect f = child->getAdjustedNodeShapeFrame().insetBy(2, 2);
  Rect t = p.insetBy(2, 2);
  EXPECT_EQ(start, Point(f.minX(), f.midY()));
  EXPECT_EQ(end, Point(t.midX(), t.maxY()));
}

TEST_F(LinkGeometryTest, ChildLevelWithItsParentAndTooCloseHasNoLink) {
  // Type 1 whose start lies between the parent's facing edge and its far edge would run back
  // through the parent.
  Rect p = parent->getAdjustedNodeShapeFrame();
  placeMinX(child, p.maxX() - 2 + 10 + 2);
  child->setCenter(Point(child->center().x, parent->center().y + 4));
  EXPECT_FALSE(geometry(child, parent));
  Path path;
  BigView::addLinkToPath(path, child, parent);
  EXPECT_TRUE(path.isEmpty());
}

TEST_F(LinkGeometryTest, OverlappingTopicsGetNoLink) {
  child->setCenter(parent->center());
  EXPECT_FALSE(geometry(child, parent));
  child->setCenter(Point(parent->center().x + 6, parent->center().y + 3));
  EXPECT_FALSE(geometry(child, parent));
  Path path;
  BigView::addLinkToPath(path, child, parent);
  EXPECT_TRUE(path.isEmpty());
}

TEST_F(LinkGeometryTest, LineShapedChildLeavesFromItsBottomEdge) {
  child->setShape(TopicShape::Line, false, false);
  child->_calcLayout();
  ASSERT_EQ(child->getDisplayShape(), TopicShape::Line);
  Rect p = parent->getAdjustedNodeShapeFrame();
  placeMinX(child, p.maxX() + 60);
  ASSERT_TRUE(geometry(child, parent));
  ASSERT_EQ(type, 3);
  Rect f = child->getAdjustedNodeShapeFrame().insetBy(2, 2);
  EXPECT_EQ(start.y, f.maxY());
  EXPECT_EQ(end.y, p.insetBy(2, 2).midY());
}

TEST_F(LinkGeometryTest, LineShapedChildGetsAnUnderlineAwayFromItsParent) {
  child->setShape(TopicShape::Line, false, false);
  child->_calcLayout();
  Rect p = parent->getAdjustedNodeShapeFrame();
  placeMinX(child, p.maxX() + 60);
  ASSERT_TRUE(geometry(child, parent));
  Rect r = child->getAdjustedNodeShapeFrame();
  Path path;
  BigView::addLinkToPath(path, child, parent);
  // The curve, then a line from the start across the child's width.
  const auto& els = path.elements();
  ASSERT_EQ(els.size(), 4u);
  EXPECT_EQ(els[2].op, Path::Op::Move);
  EXPECT_EQ(els[2].p[0], start);
  EXPECT_EQ(els[3].p[0], Point(start.x + r.width(), start.y));
}

// ---- Curves and wedges ---------------------------------------------------------------------------

TEST(LinkCurves, PlainTypesAreOpenCurvesBetweenTheEnds) {
  const Point s(100, 50), e(300, 150);
  for (int type = 1; type <= 4; ++type) {
    Path p;
    BigView::addLinkToPath(p, s, e, type, false);
    ASSERT_FALSE(p.isEmpty()) << type;
    EXPECT_FALSE(hasClose(p)) << type;
    EXPECT_EQ(p.elements().front().p[0], s) << type;
    EXPECT_EQ(p.currentPoint(), e) << type;
  }
  Path side;
  BigView::addLinkToPath(side, s, e, 3, false);
  EXPECT_EQ(side.elements()[1].p[0], Point(200, 50));
  EXPECT_EQ(side.elements()[1].p[1], Point(200, 150));
}

TEST(LinkCurves, UnknownTypesAddNothing) {
  for (int type : {0, 5, -1}) {
    Path p;
    BigView::addLinkToPath(p, Point(0, 0), Point(50, 50), type, false);
    BigView::addLinkToPath(p, Point(0, 0), Point(50, 50), type, true);
    EXPECT_TRUE(p.isEmpty()) << type;
  }
}

TEST(LinkCurves, TaperedWedgeIsFourteenWideAtTheParentAndTwoAtTheChild) {
  const Point s(100, 50), e(300, 150);
  Path p;
  BigView::addLinkToPath(p, s, e, 3, true);
  ASSERT_TRUE(hasClose(p));
  const auto& els = p.elements();
  EXPECT_EQ(els[0].p[0], Point(300, 143));
  EXPECT_EQ(els[1].p[2], Point(100, 49));
  EXPECT_EQ(els[2].p[0], Point(100, 51));
  EXPECT_EQ(els[3].p[2], Point(300, 157));
  // A point on the centre line inside the wedge near the parent is covered.
  EXPECT_TRUE(p.contains(Point(290, 150)));
  EXPECT_FALSE(p.contains(Point(290, 135)));
}

TEST(LinkCurves, TaperedControlPointsLeanWithTheDirection) {
  // j is +1 when the end lies down-right or up-left of the start, else -1.
  Path down, up;
  BigView::addLinkToPath(down, Point(0, 0), Point(100, 100), 3, true);
  BigView::addLinkToPath(up, Point(0, 100), Point(100, 0), 3, true);
  EXPECT_EQ(down.elements()[1].p[0].x, 54.0f);
  EXPECT_EQ(up.elements()[1].p[0].x, 46.0f);
  Path vertical;
  BigView::addLinkToPath(vertical, Point(10, 200), Point(30, 100), 4, true);
  EXPECT_EQ(vertical.elements()[0].p[0], Point(23, 100));
  EXPECT_EQ(vertical.elements()[1].p[2], Point(9, 200));
}

// ---- Wedges, guides and taper choice -----------------------------------------------------------

TEST_F(LinkGeometryTest, TaperedOnlyIntoARoot) {
  AppServices::setTaperLinksFlag(true);
  Rect p = parent->getAdjustedNodeShapeFrame();
  placeMinX(child, p.maxX() + 60);
  Path intoRoot, deeper;
  BigView::addLinkToPath(intoRoot, parent, root);
  BigView::addLinkToPath(deeper, child, parent);
  EXPECT_TRUE(hasClose(intoRoot));
  ASSERT_FALSE(deeper.isEmpty());
  EXPECT_FALSE(hasClose(deeper));
}

TEST_F(LinkGeometryTest, FloatingTopicsCountAsRootsForTaper) {
  AppServices::setTaperLinksFlag(true);
  NodeView* floating = make(root, Point(root->center().x, root->center().y - 600), "Floating");
  floating->setIsFloating(true, false);
  NodeView* under = make(floating, Point(floating->center().x + 300, floating->center().y), "Under");
  Path p;
  BigView::addLinkToPath(p, under, floating);
  EXPECT_TRUE(hasClose(p));
}

TEST_F(LinkGeometryTest, WedgeBaseSitsOnTheSideFacingTheTip) {
  Point tip, b1, b2;
  // Level, to the right: base on the left side of the callout, tip on the parent's right edge.
  BigView::createReverseTaperedLinkPathFrom(root, parent, tip, b1, b2);
  Rect rA = root->getAdjustedNodeShapeFrame().insetBy(2, 2);
  Rect rB = parent->getAdjustedNodeShapeFrame().insetBy(2, 2);
  EXPECT_NEAR(tip.x, rA.maxX(), 1.0f);
  EXPECT_EQ(b1.x, rB.minX());
  EXPECT_EQ(b2.x, rB.minX());
  float h = std::max(0.15f * rB.height(), 15.0f);
  EXPECT_FLOAT_EQ(b2.y - b1.y, h);

  // Well below: base on the top edge, at least 15 wide.
  parent->setCenter(Point(root->center().x + 10, root->center().y + 400));
  BigView::createReverseTaperedLinkPathFrom(root, parent, tip, b1, b2);
  rB = parent->getAdjustedNodeShapeFrame().insetBy(2, 2);
  EXPECT_EQ(b1.y, rB.minY());
  EXPECT_EQ(b2.y, rB.minY());
  EXPECT_FLOAT_EQ(b2.x - b1.x, std::max(0.15f * rB.width(), 15.0f));
  EXPECT_NEAR(tip.y, rA.maxY(), 1.0f);
}

TEST_F(LinkGeometryTest, OvalTipLiesOnTheEllipse) {
  root->setShape(TopicShape::Oval, false, false);
  root->_calcLayout();
  ASSERT_EQ(root->getDisplayShape(), TopicShape::Oval);
  parent->setCenter(Point(root->center().x + 500, root->getAdjustedNodeCenter().y));
  Point tip, b1, b2;
  BigView::createReverseTaperedLinkPathFrom(root, parent, tip, b1, b2);
  Rect rA = root->getAdjustedNodeShapeFrame().insetBy(2, 2);
  Point cA = root->getAdjustedNodeCenter();
  float a = rA.width() / 2, b = rA.height() / 2;
  float u = (tip.x - cA.x) / a, v = (tip.y - cA.y) / b;
  EXPECT_NEAR(u * u + v * v, 1.0f, 1e-4);
  EXPECT_GT(tip.x, cA.x);
}

TEST_F(LinkGeometryTest, CalloutInsideItsParentDrawsOnlyItsUnderline) {
  NodeView* callout = make(parent, parent->center(), "Note");
  callout->setIsCallout(true, false);
  callout->setShape(TopicShape::Line, false, false);
  callout->_calcLayout();
  callout->setCenter(parent->getAdjustedNodeCenter());
  Point tip, b1, b2;
  BigView::createReverseTaperedLinkPathFrom(parent, callout, tip, b1, b2);
  ASSERT_EQ(tip, Point());
  Path p;
  BigView::addLinkToPath(p, callout, parent);
  // No wedge: only the closed underline rectangle.
  ASSERT_FALSE(p.isEmpty());
  EXPECT_EQ(p.elements().front().op, Path::Op::Move);
  Rect box = p.boundingBox();
  EXPECT_TRUE(box.height() == 2 || box.width() == 2);
}

TEST_F(LinkGeometryTest, CalloutWedgeRunsFromBaseToTipToBase) {
  NodeView* callout = make(parent, Point(parent->center().x + 20, parent->center().y - 300), "Callout");
  callout->setIsCallout(true, false);
  Point tip, b1, b2;
  BigView::createReverseTaperedLinkPathFrom(parent, callout, tip, b1, b2);
  ASSERT_NE(tip, Point());
  Path p;
  BigView::addLinkToPath(p, callout, parent);
  const auto& els = p.elements();
  ASSERT_EQ(els.size(), 3u);
  EXPECT_EQ(els[0].p[0], b1);
  EXPECT_EQ(els[1].p[0], tip);
  EXPECT_EQ(els[2].p[0], b2);
  // Well above its parent: the base is on the callout's bottom edge.
  EXPECT_EQ(b1.y, callout->getAdjustedNodeShapeFrame().insetBy(2, 2).maxY());
}

// ---- Screen distances ----------------------------------------------------------------------------

TEST_F(LinkGeometryTest, ScreenDifferencesFollowTheZoom) {
  kit::View window(Rect(0, 0, 1024, 768));
  kit::View scroll(Rect(0, 0, 1024, 768));
  window.addSubview(&scroll);
  scroll.addSubview(canvas.get());
  canvas->setTransform(kit::AffineTransform::scale(0.5f, 0.5f));
  EXPECT_FLOAT_EQ(canvas->screenXDiffBetween(300, 100), 100);
  EXPECT_FLOAT_EQ(canvas->screenYDiffBetween(100, 300), -100);
  canvas->removeFromSuperview();
}

}  // namespace
