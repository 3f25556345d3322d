// Frames in canvas coordinates, branch rectangles, the sibling push and making room for a new
// topic. Without a layout every topic is the initial 10 x 10 box about its centre.
#include <gtest/gtest.h>

#include "helpers/global_helpers_geometry.h"
#include "model/tree_builder.h"

using kit::Point;
using kit::Rect;

namespace {
// The union of the frames of the given topics.
Rect framesOf(std::initializer_list<const NodeView*> topics) {
  Rect r = Rect::null();
  for (const NodeView* t : topics) r = r.unionWith(t->getAdjustedNodeFrame());
  return r;
}
}  // namespace

TEST(BranchFrames, FramesAreInCanvasCoordinates) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 800));
  EXPECT_EQ(root->getAdjustedNodeFrame(), Rect(995, 795, 10, 10));
  EXPECT_EQ(root->getAdjustedNodeShapeFrame(), Rect(995, 795, 10, 10));
  EXPECT_EQ(root->getAdjustedNodeCenter(), Point(1000, 800));
  EXPECT_EQ(root->getPositionRelativeToParent(), Point(0, 0));
  NodeView* a = t.add(root, "A", Point(1150, 760));
  EXPECT_EQ(a->getPositionRelativeToParent(), Point(150, -40));
}

TEST(BranchFrames, TheVisibleFrameTakesInTheTaskBadge) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 800));
  NodeView* a = t.add(root, "Task", Point(1200, 800));
  a->setStartDate(kit::Date{700000000.0});
  a->recalcLayoutRecursively(false, false, false, false, false);
  ASSERT_FALSE(a->rcTaskBadge().isEmpty());
  const Rect visible = a->getAdjustedNodeFrame();
  const Rect shape = a->getAdjustedNodeShapeFrame();
  EXPECT_TRUE(visible.contains(shape));
  EXPECT_GT(visible.maxY(), shape.maxY());  // the badge hangs below the text
  // The centre of the shape, not of the badge-extended frame.
  EXPECT_EQ(a->getAdjustedNodeCenter(), shape.mid());
}

TEST(BranchRect, CoversTheVisibleBranchWithoutCalloutsOrFloatingTopics) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1400, 900));
  NodeView* a2 = t.add(a, "A2", Point(1400, 1100));
  t.callout(a, "Callout", Point(1200, 1300));
  t.floating(a, "Float", Point(1900, 400));
  EXPECT_EQ(a->getBranchBoundingRect(), framesOf({a, a1, a2}));
}

TEST(BranchRect, FoldedTopicStandsForItselfButForAllSeesWhatStaysVisible) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1400, 900));
  NodeView* callout = t.callout(a, "Callout", Point(1200, 1300));
  NodeView* floating = t.floating(a, "Float", Point(1900, 400));
  a->fold();
  EXPECT_EQ(a->getBranchBoundingRect(), framesOf({a}));
  // Hidden children (alpha 0) are left out; a callout under the fold and a floating topic show.
  EXPECT_EQ(a1->alpha(), 0.0f);
  EXPECT_EQ(a->getBranchBoundingRectForAll(), framesOf({a, callout, floating}));
  a->unfold();
  EXPECT_EQ(a->getBranchBoundingRectForAll(), framesOf({a, a1, callout, floating}));
}

TEST(BranchRect, ABoundaryStandsForItsWholeBranch) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* b = t.add(a, "B", Point(1400, 1000));
  NodeView* b1 = t.add(b, "B1", Point(1600, 950));
  NodeView* b2 = t.add(b, "B2", Point(1600, 1050));
  b->setHasBoundary(true, false);

  const Rect rect = a->getBranchBoundingRect();
  // The outline was recomputed by the call and is grown beyond the frames it encloses.
  ASSERT_FALSE(b->boundaryPoints().empty());
  const Rect outline = GlobalHelpers::calcBoundingRect(b->boundaryPoints());
  EXPECT_TRUE(outline.contains(framesOf({b, b1, b2})));
  EXPECT_EQ(rect, a->getAdjustedNodeFrame().unionWith(outline));
  EXPECT_EQ(b->getBranchBoundingRect(), outline);
}

TEST(BranchRect, ForAllUsesOutlinesButStillWalksBelowThem) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  t.add(a, "A1", Point(1400, 1000));
  NodeView* floating = t.floating(a, "Far", Point(3000, 3000));
  a->setHasBoundary(true, false);
  const Rect all = a->getBranchBoundingRectForAll();
  // The floating topic lies outside the outline, which leaves it out; the walk goes on below.
  EXPECT_TRUE(all.contains(floating->getAdjustedNodeFrame()));
  EXPECT_TRUE(all.contains(GlobalHelpers::calcBoundingRect(a->boundaryPoints())));
  EXPECT_FALSE(a->getBranchBoundingRect().contains(floating->getAdjustedNodeFrame()));
}

TEST(BranchRect, LargeAndDeepMaps) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(0, 0));
  // 20,000 topics: 100 main branches of 199 children each ...
  for (int i = 0; i < 100; ++i) {
    NodeView* m = t.add(root, "M", Point(200, static_cast<float>(i * 4000)));
    for (int j = 0; j < 199; ++j) t.add(m, "m", Point(400, static_cast<float>(i * 4000 + j * 20)));
  }
  EXPECT_EQ(root->getBranchBoundingRect(), Rect(-5, -5, 410, 99 * 4000 + 198 * 20 + 10));
  // ... and a chain 20,000 deep, which must not exhaust the stack.
  TreeBuilder deep;
  NodeView* n = deep.central("C", Point(0, 0));
  for (int i = 1; i <= 20000; ++i) n = deep.add(n, "d", Point(static_cast<float>(i * 10), 0));
  EXPECT_EQ(deep.root->getBranchBoundingRect(), Rect(-5, -5, 200010, 10));
  EXPECT_EQ(deep.root->getBranchBoundingRectForAll(), Rect(-5, -5, 200010, 10));
}

// ---- Sibling push ----------------------------------------------------------------------------

TEST(SiblingPush, ClosingAGapAboveStopsAtTenPoints) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* up = t.add(root, "Up", Point(1200, 900));
  NodeView* a = t.add(root, "A", Point(1200, 922));  // 12 points below Up's frame
  NodeView* down = t.add(root, "Down", Point(1200, 1100));
  a->pushSiblingsUpBy(-30, 0);
  EXPECT_EQ(up->center(), Point(1200, 902));
  EXPECT_EQ(down->center(), Point(1200, 1100));
  EXPECT_EQ(a->getAdjustedNodeFrame().minY() - up->getAdjustedNodeFrame().maxY(), 10.0f);
}

TEST(SiblingPush, ClosingAGapBelowStopsAtTenPoints) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* near = t.add(root, "Near", Point(1200, 1050));  // 40 points between the frames
  NodeView* far = t.add(root, "Far", Point(1200, 1300));
  a->pushSiblingsUpBy(0, -100);
  // Only 30 of the 100 are possible; everything below moves by the same amount.
  EXPECT_EQ(near->center(), Point(1200, 1020));
  EXPECT_EQ(far->center(), Point(1200, 1270));
}

TEST(SiblingPush, AGapAlreadyBelowTenIsOpenedToTen) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* below = t.add(root, "Below", Point(1200, 1014));  // 4 points apart
  a->pushSiblingsUpBy(0, -5);
  EXPECT_EQ(below->center(), Point(1200, 1020));
}

TEST(SiblingPush, GrowingMovesOnlyNormalSiblingsOnTheSameSide) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* above = t.add(root, "Above", Point(1200, 900));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* level = t.add(root, "Level", Point(1300, 1000));  // same y: counts as below
  NodeView* left = t.add(root, "Left", Point(800, 1200));
  NodeView* callout = t.callout(root, "Callout", Point(1200, 1200));
  NodeView* floating = t.floating(root, "Float", Point(1200, 1300));
  NodeView* aboveChild = t.add(above, "AboveChild", Point(1400, 880));
  a->pushSiblingsUpBy(15, 25);
  EXPECT_EQ(above->center(), Point(1200, 885));
  EXPECT_EQ(aboveChild->center(), Point(1400, 865));
  EXPECT_EQ(level->center(), Point(1300, 1025));
  EXPECT_EQ(a->center(), Point(1200, 1000));
  EXPECT_EQ(left->center(), Point(800, 1200));
  EXPECT_EQ(callout->center(), Point(1200, 1200));
  EXPECT_EQ(floating->center(), Point(1200, 1300));
}

TEST(SiblingPush, ClimbsToTheCentralTopic) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1400, 980));
  NodeView* a2 = t.add(a, "A2", Point(1400, 1020));
  NodeView* b = t.add(root, "B", Point(1200, 1200));
  NodeView* b1 = t.add(b, "B1", Point(1400, 1200));
  NodeView* z = t.add(root, "Z", Point(1200, 800));
  a1->pushSiblingsUpBy(5, 7);
  EXPECT_EQ(a2->center(), Point(1400, 1027));
  EXPECT_EQ(b->center(), Point(1200, 1207));
  EXPECT_EQ(b1->center(), Point(1400, 1207));
  EXPECT_EQ(z->center(), Point(1200, 795));
}

TEST(SiblingPush, StopsBelowAFoldedParentOrAFloatingTopic) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* a1 = t.add(a, "A1", Point(1400, 980));
  NodeView* a2 = t.add(a, "A2", Point(1400, 1020));
  NodeView* b = t.add(root, "B", Point(1200, 1200));
  NodeViewTestAccess::setFolded(a, true);
  a1->pushSiblingsUpBy(0, 7);
  EXPECT_EQ(a2->center(), Point(1400, 1027));
  EXPECT_EQ(b->center(), Point(1200, 1200));

  NodeView* f = t.floating(root, "F", Point(1500, 500));
  NodeView* f1 = t.add(f, "F1", Point(1700, 480));
  NodeView* f2 = t.add(f, "F2", Point(1700, 520));
  f1->pushSiblingsUpBy(0, 9);
  EXPECT_EQ(f2->center(), Point(1700, 529));
  EXPECT_EQ(b->center(), Point(1200, 1200));
  EXPECT_EQ(a->center(), Point(1200, 1000));
}

TEST(SiblingPush, FromACalloutOrFloatingTopicNothingMoves) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 900));
  NodeView* b = t.add(root, "B", Point(1200, 1100));
  NodeView* callout = t.callout(a, "Callout", Point(1200, 950));
  NodeView* floating = t.floating(root, "Float", Point(1200, 1000));
  callout->pushSiblingsUpBy(50, 50);
  floating->pushSiblingsUpBy(50, 50);
  EXPECT_EQ(a->center(), Point(1200, 900));
  EXPECT_EQ(b->center(), Point(1200, 1100));
}

TEST(SiblingPush, ThousandsOfSiblingsMoveOnceEach) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(0, 0));
  std::vector<NodeView*> kids;
  for (int i = 0; i < 5000; ++i) kids.push_back(t.add(root, "k", Point(200, static_cast<float>(i * 20))));
  kids[2500]->pushSiblingsUpBy(3, 4);
  EXPECT_EQ(kids[0]->center(), Point(200, -3));
  EXPECT_EQ(kids[2499]->center(), Point(200, 2499 * 20 - 3));
  EXPECT_EQ(kids[2500]->center(), Point(200, 2500 * 20));
  EXPECT_EQ(kids[4999]->center(), Point(200, 4999 * 20 + 4));
}

// ---- Making room for a new topic ----------------------------------------------------------------

TEST(MakeSpace, PutsTheNewBranchTenPointsBelowTheBranchAbove) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* above = t.add(root, "Above", Point(1200, 900));
  NodeView* aboveChild = t.add(above, "AboveChild", Point(1400, 920));  // its branch ends at 925
  NodeView* below = t.add(root, "Below", Point(1200, 1200));
  NodeView* fresh = t.add(root, "New", Point(1250, 1000));
  NodeView* freshChild = t.add(fresh, "NewChild", Point(1450, 1000));
  fresh->makeSpace();
  // The branch above moved up by half the new branch's height (5), so it ends at 920.
  EXPECT_EQ(aboveChild->center(), Point(1400, 915));
  EXPECT_EQ(below->center(), Point(1200, 1205));
  EXPECT_EQ(fresh->getBranchBoundingRect().minY(), 930.0f);
  // Aligned on the left edge of the topic above, the child moved along.
  EXPECT_EQ(fresh->center(), Point(1200, 935));
  EXPECT_EQ(freshChild->center(), Point(1400, 935));
}

TEST(MakeSpace, WithoutATopicAboveTheBranchSpacesOutFromTheParent) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* fresh = t.add(root, "New", Point(700, 900));
  fresh->makeSpace();
  EXPECT_EQ(fresh->getAdjustedNodeFrame().maxX(), root->getAdjustedNodeFrame().minX() - 70.0f);
  EXPECT_EQ(fresh->center().y, 900.0f);
}
