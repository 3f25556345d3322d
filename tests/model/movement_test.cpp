// Moving topics and branches, the mirror of a branch that crosses the central topic, aligning
// and spacing, relationships that follow, and hit testing with the disclosure target.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "model/app_services.h"
#include "model/relationship_view.h"
#include "model/tree_builder.h"

using kit::Point;
using kit::Rect;

namespace {
std::unique_ptr<RelationshipView> relationship(TreeBuilder& t, NodeView* from, NodeView* to, Point control) {
  auto r = std::make_unique<RelationshipView>(Rect(0, 0, 10, 10), &t.doc);
  r->setCenter(control);
  r->setEnd1(from);
  r->setEnd2(to);
  return r;
}

void layOut(NodeView* n) { n->recalcLayoutRecursively(false, false, false, false, false); }
}  // namespace

TEST(Movement, LessThanAPointOnBothAxesDoesNothing) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(100, 100));
  root->moveByX(0.6f, -0.9f, true);
  EXPECT_EQ(root->center(), Point(100, 100));
  root->moveByX(1.0f, 0, true);
  EXPECT_EQ(root->center(), Point(101, 100));
}

TEST(Movement, CentresRoundToWholePointsTiesToEven) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(100, 100));
  root->moveByX(1.5f, 2.5f, false);  // 101.5 and 102.5
  EXPECT_EQ(root->center(), Point(102, 102));
  root->moveByX(0.5f, 1.0f, false);  // 102.5 goes back to 102
  EXPECT_EQ(root->center(), Point(102, 103));
  root->moveTo(Point(10.7f, -3.2f), false);
  EXPECT_EQ(root->center(), Point(11, -3));
}

TEST(Movement, NonFiniteDeltasCountAsNoMove) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(100, 100));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  root->moveByX(nan, nan, true);
  root->moveByX(inf, -inf, true);
  EXPECT_EQ(root->center(), Point(100, 100));
  root->moveByX(nan, 5, true);
  EXPECT_EQ(root->center(), Point(100, 105));
}

TEST(Movement, ABranchTakesCalloutsAlongAndLeavesFloatingTopics) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1400, 1000));
  NodeView* callout = t.callout(a, "Callout", Point(1200, 1100));
  NodeView* calloutChild = t.add(callout, "CalloutChild", Point(1300, 1150));
  NodeView* floating = t.floating(a, "Float", Point(1600, 600));
  NodeView* floatingChild = t.add(floating, "FloatChild", Point(1700, 600));
  NodeView* deepFloating = t.floating(a1, "DeepFloat", Point(1800, 1200));

  a->moveByX(10, -20, true);
  EXPECT_EQ(a->center(), Point(1210, 980));
  EXPECT_EQ(a1->center(), Point(1410, 980));
  EXPECT_EQ(callout->center(), Point(1210, 1080));
  EXPECT_EQ(calloutChild->center(), Point(1310, 1130));
  EXPECT_EQ(floating->center(), Point(1600, 600));
  EXPECT_EQ(floatingChild->center(), Point(1700, 600));
  EXPECT_EQ(deepFloating->center(), Point(1800, 1200));

  a->moveByX(-10, 0, false);
  EXPECT_EQ(a->center(), Point(1200, 980));
  EXPECT_EQ(a1->center(), Point(1410, 980));

  // Moving only the children takes floating ones along, with their own children.
  a->moveChildrenByX(0, 50);
  EXPECT_EQ(a->center(), Point(1200, 980));
  EXPECT_EQ(a1->center(), Point(1410, 1030));
  EXPECT_EQ(floating->center(), Point(1600, 650));
  EXPECT_EQ(floatingChild->center(), Point(1700, 650));
  EXPECT_EQ(deepFloating->center(), Point(1800, 1200));  // floating below a1 stays
}

TEST(Movement, RelationshipControlPointsFollowTheirStartTopic) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1400, 1000));
  NodeView* floating = t.floating(a, "Float", Point(1600, 600));
  NodeView* other = t.add(root, "Other", Point(800, 1000));
  auto fromChild = relationship(t, a1, other, Point(1000, 800));
  auto toChild = relationship(t, other, a1, Point(900, 700));
  auto fromFloating = relationship(t, floating, other, Point(1500, 500));

  a->moveByX(10.25f, -20, true);
  EXPECT_EQ(fromChild->center(), Point(1010.25f, 780));  // by the delta itself, not rounded
  EXPECT_EQ(toChild->center(), Point(900, 700));         // listed at its start topic only
  EXPECT_EQ(fromFloating->center(), Point(1500, 500));
}

TEST(Movement, LargeAndDeepBranchesMoveWithoutRecursion) {
  TreeBuilder t;
  NodeView* n = t.central("C", Point(0, 0));
  for (int i = 1; i <= 20000; ++i) n = t.add(n, "d", Point(static_cast<float>(i), 0));
  t.root->moveByX(0, 7, true);
  EXPECT_EQ(n->center(), Point(20000, 7));
  t.root->_flipAboutY(t.root.get());
  EXPECT_EQ(n->center(), Point(-20000, 7));
}

// ---- Flipping across the central topic -----------------------------------------------------------

TEST(Flip, DraggingAMainBranchAcrossTheCentreMirrorsItOnceEachWay) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1300, 950));
  NodeView* a11 = t.add(a1, "A11", Point(1400, 900));
  NodeView* callout = t.callout(a, "Callout", Point(1250, 1100));
  NodeView* other = t.add(root, "Other", Point(1000, 1400));
  auto rel = relationship(t, a1, other, Point(1350, 900));

  // Staying on the right is a plain move.
  EXPECT_FALSE(a->moveTo(Point(1210, 1000), true, true));
  EXPECT_EQ(a1->center(), Point(1310, 950));
  EXPECT_FALSE(a->moveTo(Point(1200, 1000), true, true));

  EXPECT_TRUE(a->moveTo(Point(800, 1000), true, true));
  EXPECT_EQ(a->center(), Point(800, 1000));
  EXPECT_EQ(a1->center(), Point(700, 950));
  EXPECT_EQ(a11->center(), Point(600, 900));
  EXPECT_EQ(callout->center(), Point(750, 1100));
  // 50 right of A1 before, 50 left of it after.
  EXPECT_EQ(rel->center(), Point(650, 900));

  EXPECT_TRUE(a->moveTo(Point(1200, 1000), true, true));
  EXPECT_EQ(a1->center(), Point(1300, 950));
  EXPECT_EQ(a11->center(), Point(1400, 900));
  EXPECT_EQ(callout->center(), Point(1250, 1100));
  EXPECT_EQ(rel->center(), Point(1350, 900));
}

TEST(Flip, AFlipMirrorsEveryDescendantButLeavesThePivot) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1350, 950));
  NodeView* floating = t.floating(a, "Float", Point(1500, 700));
  a->flipAboutYandRedraw(false);
  EXPECT_EQ(a->center(), Point(1200, 1000));
  EXPECT_EQ(a1->center(), Point(1050, 950));
  EXPECT_EQ(floating->center(), Point(900, 700));
}

TEST(Flip, DraggingAcrossFlipsTheLayoutOfTheBranch) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1400, 1000));
  t.add(a1, "A11", Point(1600, 1000));
  a->recalcLayoutRecursively(true, false, false, false, false);
  // On the right the disclosure icon sits on the right-hand edge ...
  EXPECT_GT(a1->ptDisclosureIcon().x, a1->nodeRect().midX());
  a->setBeingDragged(true);
  EXPECT_TRUE(a->moveTo(Point(800, 1000), true, true));
  a->setBeingDragged(false);
  // ... and after the flip on the left-hand edge.
  EXPECT_LT(a1->ptDisclosureIcon().x, a1->nodeRect().midX());
}

// ---- Rainbow colours -------------------------------------------------------------------------------

TEST(Movement, RainbowColoursFollowAMainBranchUnlessItIsBeingMoved) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(0, 0));
  NodeView* a = t.add(root, "A", Point(200, 0));
  NodeView* a1 = t.add(a, "A1", Point(400, 0));
  AppServices::setRainbowFlag(true);
  root->evaluateDisplayColourForBranch();
  const std::string east = a->getDisplayColourAsString();

  a->setBeingMoved(true);
  a->moveTo(Point(0, 200), true);
  EXPECT_EQ(a->getDisplayColourAsString(), east);
  a->setBeingMoved(false);

  a->moveTo(Point(-200, 0), true);
  const std::string west = a->getDisplayColourAsString();
  AppServices::setRainbowFlag(false);
  EXPECT_NE(west, east);
  EXPECT_EQ(a1->getDisplayColourAsString(), west);
}

// ---- Aligning and spacing ------------------------------------------------------------------------

TEST(Alignment, LinesUpTheEdgeFacingTheParent) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* wide = t.add(root, "Wide", Point(1300, 900));
  NodeView* a = t.add(root, "A", Point(1250, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1450, 1000));
  wide->setBounds(Rect(0, 0, 100, 20));
  a->setBounds(Rect(0, 0, 40, 20));
  a->alignWith(wide);
  EXPECT_EQ(a->frame().minX(), wide->frame().minX());
  EXPECT_EQ(a1->center(), Point(1470, 1000));  // 20 to the right, with A

  NodeView* leftWide = t.add(root, "LeftWide", Point(700, 900));
  NodeView* b = t.add(root, "B", Point(650, 1000));
  leftWide->setBounds(Rect(0, 0, 100, 20));
  b->setBounds(Rect(0, 0, 40, 20));
  b->alignWith(leftWide);
  EXPECT_EQ(b->frame().maxX(), leftWide->frame().maxX());

  const Point before = b->center();
  b->alignWith(nullptr);
  EXPECT_EQ(b->center(), before);
}

TEST(Alignment, SpacingOutLeavesSeventyPointsToTheParent) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1500, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1700, 1000));
  NodeView* b = t.add(root, "B", Point(990, 1200));  // barely left of the centre
  a->spaceOutFromParent();
  EXPECT_EQ(a->getAdjustedNodeFrame().minX() - root->getAdjustedNodeFrame().maxX(), 70.0f);
  EXPECT_EQ(a1->center().x - a->center().x, 200.0f);
  b->spaceOutFromParent();
  EXPECT_EQ(root->getAdjustedNodeFrame().minX() - b->getAdjustedNodeFrame().maxX(), 70.0f);
  EXPECT_EQ(b->center().y, 1200.0f);
}

// ---- Hit testing --------------------------------------------------------------------------------------

TEST(HitTest, TheDisclosureTargetReachesBeyondTheBounds) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "Parent", Point(1300, 1000));
  t.add(a, "Child", Point(1500, 1000));
  NodeView* leaf = t.add(root, "Leaf", Point(1300, 1200));
  layOut(a);
  layOut(leaf);

  const Rect r = a->nodeRect();
  const Point touch(r.maxX() + 25, r.midY());
  EXPECT_FALSE(a->bounds().contains(touch));
  EXPECT_EQ(a->getHitTestResult(touch), 1);
  EXPECT_TRUE(a->pointInside(touch));

  const Rect lr = leaf->nodeRect();
  const Point leafTouch(lr.maxX() + 25, lr.midY());
  EXPECT_EQ(leaf->getHitTestResult(leafTouch), 0);
  EXPECT_FALSE(leaf->pointInside(leafTouch));

  // A canvas finds the topic there too.
  kit::View canvas(Rect(0, 0, 4000, 4000));
  canvas.addSubview(a);
  EXPECT_EQ(canvas.hitTest(a->convertPointToSuperview(touch)), a);
  EXPECT_EQ(canvas.hitTest(a->convertPointToSuperview(Point(r.maxX() + 40, r.midY()))), &canvas);
}

TEST(HitTest, CalloutsAndFloatingChildrenGiveNoDisclosure) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1300, 1000));
  t.callout(a, "Callout", Point(1300, 1100));
  t.floating(a, "Float", Point(1600, 600));
  layOut(a);
  const Rect r = a->nodeRect();
  EXPECT_EQ(a->getHitTestResult(Point(r.maxX() + 25, r.midY())), 0);
}

TEST(HitTest, LeftHandTopicsHaveTheTargetOnTheLeft) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* b = t.add(root, "Left", Point(700, 1000));
  t.add(b, "LeftChild", Point(500, 1000));
  layOut(b);
  const Rect r = b->nodeRect();
  EXPECT_EQ(b->getHitTestResult(Point(r.minX() - 10, r.midY())), 1);
  EXPECT_EQ(b->getHitTestResult(Point(r.maxX() + 10, r.midY())), 0);
}

TEST(HitTest, OrderIsDisclosureThenTaskBadgeThenBody) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A task with a badge", Point(1300, 1000));
  t.add(a, "Child", Point(1500, 1000));
  a->setStartDate(kit::Date{700000000.0});
  layOut(a);
  const Rect body = a->nodeRect();
  const Rect badge = a->rcTaskBadge();
  ASSERT_FALSE(badge.isEmpty());
  const Rect overlap = badge.intersection(body);
  ASSERT_FALSE(overlap.isEmpty());
  EXPECT_EQ(a->getHitTestResult(overlap.mid()), 3);
  EXPECT_EQ(a->getHitTestResult(Point(body.minX() + 2, body.minY() + 2)), 2);
  // The disclosure target overlaps the body's right edge and wins there.
  EXPECT_EQ(a->getHitTestResult(Point(body.maxX() - 5, body.midY())), 1);
  EXPECT_EQ(a->getHitTestResult(Point(body.minX() - 30, body.minY() - 30)), 0);
}
