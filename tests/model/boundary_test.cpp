#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <random>
#include <thread>

#include "model/app_services.h"
#include "model/convex_hull.h"
#include "model/tree_builder.h"

using kit::Point;
using kit::Rect;

namespace {

// A topic of 100 x 40 centred at the point.
NodeView* sized(NodeView* n, float w = 100, float h = 40) {
  n->setBounds(Rect(0, 0, w, h));
  return n;
}

// Strictly inside (or on) the convex outline, whichever way round it turns.
bool insideOutline(Point p, const std::vector<Point>& outline) {
  if (outline.size() < 3) return false;
  int sign = 0;
  for (std::size_t i = 0; i < outline.size(); ++i) {
    Point a = outline[i], b = outline[(i + 1) % outline.size()];
    double side = double(b.x - a.x) * (p.y - a.y) - double(p.x - a.x) * (b.y - a.y);
    int s = side > 1e-6 ? 1 : side < -1e-6 ? -1 : 0;
    if (s == 0) continue;
    if (sign == 0) sign = s;
    else if (s != sign) return false;
  }
  return true;
}

bool encloses(const std::vector<Point>& outline, const Rect& frame) {
  for (Point p : {Point(frame.minX(), frame.minY()), Point(frame.maxX(), frame.minY()), Point(frame.minX(), frame.maxY()),
                  Point(frame.maxX(), frame.maxY())})
    if (!insideOutline(p, outline)) return false;
  return true;
}

bool allFinite(const std::vector<Point>& points) {
  for (Point p : points)
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  return true;
}

}  // namespace

// ---- The flag --------------------------------------------------------------------------------------

TEST(BoundaryFlag, ChangingItPushesThePreviousFlagAndClearsTheOutline) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  root->setHasBoundary(true, true);
  ASSERT_EQ(t.doc.records.size(), 1u);
  EXPECT_EQ(t.doc.records[0].action, "topic-boundary");
  EXPECT_EQ(t.doc.records[0].details["uuid"].string(), root->uuid());
  EXPECT_TRUE(t.doc.records[0].details["boundary"].isInteger());
  EXPECT_EQ(t.doc.records[0].details["boundary"].intValue(), 0);
  EXPECT_TRUE(root->hasBoundary());
  EXPECT_TRUE(root->boundaryPoints().empty());  // rebuilt by the next recalculation

  root->recalcBoundaries();
  EXPECT_FALSE(root->boundaryPoints().empty());
  root->setHasBoundary(false, true);
  EXPECT_EQ(t.doc.records.back().details["boundary"].intValue(), 1);
  EXPECT_TRUE(root->boundaryPoints().empty());
}

TEST(BoundaryFlag, TheCurrentValueChangesNothing) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  root->setHasBoundary(false, true);
  EXPECT_TRUE(t.doc.records.empty());
  root->setHasBoundary(true, false);
  root->recalcBoundaries();
  std::vector<Point> outline = root->boundaryPoints();
  root->setHasBoundary(true, true);
  EXPECT_TRUE(t.doc.records.empty());
  EXPECT_EQ(root->boundaryPoints(), outline);
}

TEST(BoundaryFlag, WithoutUndoNothingIsPushed) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  root->setHasBoundary(true, false);
  EXPECT_TRUE(root->hasBoundary());
  EXPECT_TRUE(t.doc.records.empty());
}

// ---- Corners ----------------------------------------------------------------------------------------

TEST(BoundaryCorners, FrameCornersInOrderThenTheBranch) {
  TreeBuilder t;
  NodeView* root = sized(t.central("C", Point(100, 100)));
  NodeView* a = sized(t.add(root, "A", Point(300, 100)), 20, 10);
  std::vector<Point> corners = root->getNodeCorners();
  ASSERT_EQ(corners.size(), 8u);
  EXPECT_EQ(corners[0], Point(50, 80));
  EXPECT_EQ(corners[1], Point(50, 120));
  EXPECT_EQ(corners[2], Point(150, 120));
  EXPECT_EQ(corners[3], Point(150, 80));
  EXPECT_EQ(corners[4], Point(290, 95));
  EXPECT_EQ(corners[7], Point(310, 95));
  // An outline stands in for the frame.
  a->setBoundaryPoints({Point(1, 2), Point(3, 4)});
  corners = root->getNodeCorners();
  ASSERT_EQ(corners.size(), 6u);
  EXPECT_EQ(corners[4], Point(1, 2));
}

TEST(BoundaryCorners, DraggedCalloutAndFloatingBranchesAreLeftOut) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  NodeView* a = sized(t.add(root, "A", Point(1200, 1000)));
  sized(t.add(a, "dragged", Point(1400, 900)))->setBeingDragged(true);
  sized(t.callout(a, "callout", Point(1400, 1000)));
  sized(t.floating(a, "floating", Point(1400, 1100)));
  NodeView* kept = sized(t.add(a, "kept", Point(1400, 1200)));
  sized(t.add(kept, "grandchild", Point(1600, 1200)));
  EXPECT_EQ(a->getNodeCorners().size(), 12u);  // a, kept, grandchild
}

TEST(BoundaryCorners, AFoldedTopicStandsForItself) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  NodeView* a = sized(t.add(root, "A", Point(1200, 1000)));
  sized(t.add(a, "child", Point(1400, 1000)));
  NodeViewTestAccess::setFolded(a, true);
  EXPECT_EQ(a->getNodeCorners().size(), 4u);
  EXPECT_EQ(root->getNodeCorners().size(), 8u);
}

// ---- Recalculation ------------------------------------------------------------------------------------

TEST(BoundaryRecalc, OutlineEnclosesTheVisibleBranchAndNotTheRest) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  NodeView* a = sized(t.add(root, "A", Point(1300, 1000)));
  NodeView* b = sized(t.add(a, "B", Point(1500, 900)));
  NodeView* c = sized(t.add(a, "C", Point(1500, 1100)));
  NodeView* callout = sized(t.callout(a, "callout", Point(1300, 700)));
  NodeView* other = sized(t.add(root, "other", Point(700, 1000)));
  a->setHasBoundary(true, false);
  root->recalcBoundaries();

  const std::vector<Point>& outline = a->boundaryPoints();
  ASSERT_GE(outline.size(), 3u);
  EXPECT_TRUE(encloses(outline, a->frame()));
  EXPECT_TRUE(encloses(outline, b->frame()));
  EXPECT_TRUE(encloses(outline, c->frame()));
  EXPECT_FALSE(insideOutline(callout->center(), outline));
  EXPECT_FALSE(insideOutline(other->center(), outline));
  EXPECT_TRUE(root->boundaryPoints().empty());
  EXPECT_TRUE(b->boundaryPoints().empty());
}

TEST(BoundaryRecalc, AFoldedTopicWithABoundaryEnclosesOnlyItself) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  NodeView* a = sized(t.add(root, "A", Point(1300, 1000)));
  NodeView* child = sized(t.add(a, "child", Point(1600, 1000)));
  a->setHasBoundary(true, false);
  NodeViewTestAccess::setFolded(a, true);
  root->recalcBoundaries();
  EXPECT_TRUE(encloses(a->boundaryPoints(), a->frame()));
  EXPECT_FALSE(insideOutline(child->center(), a->boundaryPoints()));
}

TEST(BoundaryRecalc, ADraggedChildIsLeftOutside) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  NodeView* a = sized(t.add(root, "A", Point(1300, 1000)));
  NodeView* child = sized(t.add(a, "child", Point(1600, 1000)));
  a->setHasBoundary(true, false);
  child->setBeingDragged(true);
  root->recalcBoundaries();
  EXPECT_FALSE(insideOutline(child->center(), a->boundaryPoints()));
  child->setBeingDragged(false);
  root->recalcBoundaries();
  EXPECT_TRUE(encloses(a->boundaryPoints(), child->frame()));
}

TEST(BoundaryRecalc, NestedOutlineLiesInsideTheOuterOne) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  NodeView* a = sized(t.add(root, "A", Point(1300, 1000)));
  NodeView* b = sized(t.add(a, "B", Point(1500, 1000)));
  sized(t.add(b, "B1", Point(1700, 900)));
  sized(t.add(b, "B2", Point(1700, 1150)));
  a->setHasBoundary(true, false);
  b->setHasBoundary(true, false);
  root->recalcBoundaries();
  ASSERT_FALSE(b->boundaryPoints().empty());
  for (Point p : b->boundaryPoints()) EXPECT_TRUE(insideOutline(p, a->boundaryPoints()));
}

TEST(BoundaryRecalc, OutlinesOfCalloutsAndFloatingTopicsAreBuiltToo) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  NodeView* f = sized(t.floating(root, "F", Point(500, 500)));
  NodeView* c = sized(t.callout(root, "callout", Point(1000, 700)));
  f->setHasBoundary(true, false);
  c->setHasBoundary(true, false);
  root->recalcBoundaries();
  EXPECT_TRUE(encloses(f->boundaryPoints(), f->frame()));
  EXPECT_TRUE(encloses(c->boundaryPoints(), c->frame()));
}

TEST(BoundaryRecalc, ACollapsedFrameNeverGivesNaN) {
  TreeBuilder t;
  NodeView* root = sized(t.central(), 0, 0);
  root->setHasBoundary(true, false);
  root->recalcBoundaries();
  EXPECT_FALSE(root->boundaryPoints().empty());
  EXPECT_TRUE(allFinite(root->boundaryPoints()));
  // A zero-height row of topics.
  NodeView* a = sized(t.add(root, "A", Point(1200, 1000)), 40, 0);
  sized(t.add(a, "B", Point(1300, 1000)), 40, 0);
  a->setHasBoundary(true, false);
  root->recalcBoundaries();
  EXPECT_TRUE(allFinite(a->boundaryPoints()));
  EXPECT_TRUE(allFinite(root->boundaryPoints()));
}

// The recalculation stops at inner outlines instead of walking their topics again; the outline
// must come out as the full corner walk gives it.
TEST(BoundaryRecalc, OutlinesEqualTheHullOfTheFullCornerWalk) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> coord(0, 4000);
  for (int round = 0; round < 20; ++round) {
    TreeBuilder t;
    std::vector<NodeView*> all{sized(t.central("C", Point(2000, 2000)))};
    for (int i = 0; i < 300; ++i) {
      NodeView* parent = all[rng() % all.size()];
      NodeView* n = sized(t.add(parent, "n", Point(std::nearbyint(coord(rng)), std::nearbyint(coord(rng)))),
                          20 + 2 * static_cast<float>(rng() % 50), 20 + 2 * static_cast<float>(rng() % 20));
      switch (rng() % 12) {
        case 0: n->setIsCallout(true, false); break;
        case 1: n->setBeingDragged(true); break;
        case 2: NodeViewTestAccess::setFolded(n, true); break;
        default: break;
      }
      all.push_back(n);
    }
    for (NodeView* n : all)
      if (rng() % 4 == 0) n->setHasBoundary(true, false);
    all[0]->recalcBoundaries();
    for (NodeView* n : all) {
      if (!n->hasBoundary()) continue;
      std::vector<Point> outline = n->boundaryPoints();
      n->setBoundaryPoints({});
      std::vector<Point> full = FastGEOWrapper::doGrahamScan(n->getNodeCorners(), Point(), 10);
      n->setBoundaryPoints(outline);
      ASSERT_EQ(outline.size(), full.size()) << "round " << round;
      for (std::size_t i = 0; i < full.size(); ++i) {
        EXPECT_NEAR(outline[i].x, full[i].x, 1e-3) << "round " << round;
        EXPECT_NEAR(outline[i].y, full[i].y, 1e-3) << "round " << round;
      }
    }
  }
}

TEST(BoundaryRecalc, HundredNestedBoundariesOverALargeBranchStayFast) {
  TreeBuilder t;
  NodeView* top = sized(t.central());
  NodeView* chain = top;
  std::vector<NodeView*> bounded;
  for (int i = 0; i < 100; ++i) {
    chain = sized(t.add(chain, "level", Point(1000.0f + 10 * i, 1000)));
    chain->setHasBoundary(true, false);
    bounded.push_back(chain);
  }
  for (int i = 0; i < 20000; ++i) sized(t.add(chain, "leaf", Point(2000.0f + i % 200 * 2, 1000.0f + i / 200 * 2)), 2, 2);
  auto start = std::chrono::steady_clock::now();
  top->recalcBoundaries();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A walk of the whole branch per boundary would visit two million topics.
  EXPECT_LT(seconds, 2.0);
  for (NodeView* n : bounded) EXPECT_FALSE(n->boundaryPoints().empty());
  for (std::size_t i = 1; i < bounded.size(); ++i)
    for (Point p : bounded[i]->boundaryPoints()) ASSERT_TRUE(insideOutline(p, bounded[i - 1]->boundaryPoints()));
}

TEST(BoundaryRecalc, DeepOutlinesDoNotRecurse) {
  TreeBuilder t;
  NodeView* n = sized(t.central());
  n->setHasBoundary(true, false);
  for (int i = 0; i < 100000; ++i) n = sized(t.add(n, "deep", Point(1000.0f + i % 7, 1000.0f + i % 5)), 2, 2);
  t.root->recalcBoundaries();
  EXPECT_FALSE(t.root->boundaryPoints().empty());
}

TEST(BoundaryRecalc, WaitsForTheGlobalTreeLock) {
  TreeBuilder t;
  NodeView* root = sized(t.central());
  root->setHasBoundary(true, false);
  std::promise<void> locked, release;
  std::thread holder([&] {
    kit::LockGuard guard(AppServices::globalTreeLock());
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    root->recalcBoundaries();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done.load());
  release.set_value();
  worker.join();
  holder.join();
  EXPECT_TRUE(done.load());
  EXPECT_FALSE(root->boundaryPoints().empty());
}

// ---- Colours -------------------------------------------------------------------------------------------

TEST(BoundaryColours, DarkColoursAreLiftedToAGrey) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setColourWithRGB255(RGB255{0, 0, 0}, false, false);
  ASSERT_EQ(root->getDisplayColour().r, 0);
  RGB1 stroke, fill;
  AppServices::setDropShadowFlag(true);
  root->getBoundaryDisplayStroke(stroke, fill);
  EXPECT_NEAR(fill.r, 0.6, 1e-5);
  EXPECT_NEAR(fill.g, 0.6, 1e-5);
  EXPECT_NEAR(fill.b, 0.6, 1e-5);
  EXPECT_NEAR(stroke.r, 0.48, 1e-5);
  EXPECT_NEAR(stroke.b, 0.48, 1e-5);
  AppServices::setDropShadowFlag(false);
  root->getBoundaryDisplayStroke(stroke, fill);
  EXPECT_NEAR(fill.g, 0.6, 1e-5);
  EXPECT_NEAR(stroke.g, 0.3, 1e-5);
}

TEST(BoundaryColours, APaleTintFillAndADarkerStroke) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setColourWithRGB255(RGB255{255, 0, 0}, false, false);
  RGB1 stroke, fill;
  AppServices::setDropShadowFlag(true);
  root->getBoundaryDisplayStroke(stroke, fill);
  AppServices::setDropShadowFlag(false);
  EXPECT_NEAR(fill.r, 1.0, 1e-5);
  EXPECT_NEAR(fill.g, 0.8, 1e-5);
  EXPECT_NEAR(fill.b, 0.8, 1e-5);
  EXPECT_NEAR(stroke.r, 0.8, 1e-5);
  EXPECT_NEAR(stroke.g, 0.64, 1e-5);
}
