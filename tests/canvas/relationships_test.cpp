#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "canvas/canvas_test_support.h"
#include "kit/graphics/image_context.h"
#include "model/app_services.h"

using kit::Point;
using kit::Rect;

namespace {

constexpr RGB255 kGreen{0, 255, 0};

class RelationshipsTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    root = make(nullptr, Point(), "Central");
    centre = root->center();
  }

  NodeView* at(NodeView* parent, float dx, float dy, const char* name = "") {
    return make(parent, Point(centre.x + dx, centre.y + dy), name);
  }
  RelationshipView* relate(NodeView* a, NodeView* b, Point location = Point()) {
    return canvas->createRelationshipBetweenNode(a, 1, b, 1, location, kGreen);
  }
  bool listed(const RelationshipView* r) const {
    for (const RelationshipPtr& p : canvas->relationships())
      if (p.get() == r) return true;
    return false;
  }

  NodeView* root = nullptr;
  Point centre;
};

}  // namespace

// ---- Creation and placement ---------------------------------------------------------------------------

TEST_F(RelationshipsTest, CreationListsItAtTheCanvasAndAtItsStart) {
  NodeView* a = at(root, 300, -100);
  NodeView* b = at(root, -300, 100);
  RelationshipView* r = canvas->createRelationshipBetweenNode(a, 2, b, 0, Point(), RGB255{10, 20, 30});
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(canvas->relationships().size(), 1u);
  EXPECT_TRUE(listed(r));
  EXPECT_EQ(r->superview(), canvas.get());
  EXPECT_EQ(r->end1(), a);
  EXPECT_EQ(r->end2(), b);
  EXPECT_EQ(r->arrowTypeEnd1(), 2);
  EXPECT_EQ(r->arrowTypeEnd2(), 0);
  EXPECT_EQ(r->getColourAsString(), "0A141E");
  ASSERT_EQ(a->getRelationships().size(), 1u);
  EXPECT_TRUE(b->getRelationships().empty());
  EXPECT_EQ(canvas->getRelationshipByUUID(r->uuid()), r);
  EXPECT_EQ(canvas->getRelationshipByUUID("nope"), nullptr);
  EXPECT_TRUE(doc.records.empty());  // the commands that create relationships record their own
  EXPECT_EQ(canvas->createRelationshipBetweenNode(a, 1, nullptr, 1, Point(), kGreen), nullptr);
  EXPECT_EQ(canvas->relationships().size(), 1u);
}

TEST_F(RelationshipsTest, BothEndsLeftOfTheRootAndNearlyLevel) {
  NodeView* a = at(root, -300, 0);
  NodeView* b = at(root, -500, 10);
  RelationshipView* r = relate(a, b);
  float leftmost = std::min(a->frame().minX(), b->frame().minX());
  EXPECT_EQ(r->center().x, leftmost - 50);
  EXPECT_EQ(r->center().y, centre.y + 5 - 20);
}

TEST_F(RelationshipsTest, BothEndsRightAndFarApartInY) {
  NodeView* a = at(root, 300, -100);
  NodeView* b = at(root, 500, 100);
  RelationshipView* r = relate(a, b);
  EXPECT_EQ(r->center().x, std::max(a->frame().maxX(), b->frame().maxX()) + 50);
  EXPECT_EQ(r->center().y, centre.y);
  // 19.x apart truncates to 19: still lifted; exactly 20 is not.
  NodeView* c = at(root, 300, 300);
  NodeView* d = at(root, 300, 320);
  EXPECT_EQ(canvas->calcBestRelationshipControlPointBetween(c, d).y, centre.y + 310);
  NodeView* e = at(root, 300, 400);
  e->setCenter(Point(e->center().x, centre.y + 339.5f));
  EXPECT_EQ(canvas->calcBestRelationshipControlPointBetween(e, d).y, (centre.y + 339.5f + centre.y + 320) / 2 - 20);
}

TEST_F(RelationshipsTest, EndsOnBothSidesArchOverOrUnderTheRoot) {
  NodeView* a = at(root, 300, -100);
  NodeView* b = at(root, -300, -50);
  Point over = canvas->calcBestRelationshipControlPointBetween(a, b);
  EXPECT_EQ(over.x, centre.x);
  EXPECT_EQ(over.y, std::min(a->frame().minY(), b->frame().minY()) - 50);
  NodeView* c = at(root, 300, 100);
  Point under = canvas->calcBestRelationshipControlPointBetween(c, b);
  EXPECT_EQ(under.y, std::max(c->frame().maxY(), b->frame().maxY()) + 50);
}

TEST_F(RelationshipsTest, AStoredLocationIsAnOffsetFromTheStart) {
  NodeView* a = at(root, 300, -100);
  NodeView* b = at(root, -300, 100);
  RelationshipView* r = relate(a, b, Point(25, -60));
  EXPECT_EQ(r->center(), Point(a->center().x + 25, a->center().y - 60));
}

TEST_F(RelationshipsTest, ControlPointsStay40PointsInsideTheCanvas) {
  EXPECT_EQ(canvas->adjustRelationshipControlPointForBounds(Point(-500, 10)), Point(40, 40));
  EXPECT_EQ(canvas->adjustRelationshipControlPointForBounds(Point(40000, 40000)), Point(34520, 30680));
  EXPECT_EQ(canvas->adjustRelationshipControlPointForBounds(Point(100, 200)), Point(100, 200));
  NodeView* a = at(root, 300, 0);
  NodeView* b = at(root, -300, 0);
  RelationshipView* r = relate(a, b, Point(-centre.x - a->center().x, 0));
  EXPECT_EQ(r->center().x, 40);
  // A canvas too small for both margins: the upper bound wins.
  BigView tiny(Rect(0, 0, 60, 60));
  EXPECT_EQ(tiny.adjustRelationshipControlPointForBounds(Point(30, 30)), Point(20, 20));
}

TEST_F(RelationshipsTest, CreationByReferenceIdsLooksUnderTheLastLoadedTopic) {
  NodeView* top = at(root, 300, 0);
  NodeView* x = at(top, 500, -50);
  NodeView* y = at(top, 500, 50);
  NodeView* outside = at(root, -300, 0);
  x->setStrReferenceID(std::string("X"));
  y->setStrReferenceID(std::string("Y"));
  outside->setStrReferenceID(std::string("O"));
  canvas->setLastLoadedRootNode(top);
  EXPECT_EQ(canvas->createRelationshipBetweenNodeByReferenceID("X", 1, "missing", 1, Point(), kGreen), nullptr);
  EXPECT_EQ(canvas->createRelationshipBetweenNodeByReferenceID("X", 1, "O", 1, Point(), kGreen), nullptr);
  EXPECT_TRUE(canvas->relationships().empty());
  RelationshipView* r = canvas->createRelationshipBetweenNodeByReferenceID("X", 2, "Y", 0, Point(10, 20), kGreen);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->end1(), x);
  EXPECT_EQ(r->end2(), y);
  EXPECT_EQ(r->center(), Point(x->center().x + 10, x->center().y + 20));
}

// ---- Removal with their topics ---------------------------------------------------------------------------

TEST_F(RelationshipsTest, BranchFlagAlsoRemovesRelationshipsBetweenDescendants) {
  NodeView* a = at(root, 300, 0);
  NodeView* a1 = at(a, 500, -50);
  NodeView* a2 = at(a, 500, 50);
  NodeView* b = at(root, -300, 0);
  RelationshipView* inner = relate(a1, a2);
  RelationshipView* across = relate(b, a2);
  RelationshipView* unrelated = relate(b, root);
  canvas->removeRelationshipsFrom(a, false);
  EXPECT_EQ(canvas->relationships().size(), 3u);
  canvas->removeRelationshipsFrom(a, true);
  ASSERT_EQ(canvas->relationships().size(), 1u);
  EXPECT_TRUE(listed(unrelated));
  EXPECT_FALSE(listed(inner));
  EXPECT_FALSE(listed(across));
  EXPECT_TRUE(a1->getRelationships().empty());
  ASSERT_EQ(b->getRelationships().size(), 1u);
  EXPECT_EQ(b->getRelationships()[0], unrelated);
}

TEST_F(RelationshipsTest, DeletingABranchRemovesEveryRelationshipWithAnEndInIt) {
  NodeView* a = at(root, 300, 0);
  NodeView* a1 = at(a, 500, -50);
  NodeView* b = at(root, -300, 0);
  NodeView* f = canvas->createChildNodeOf(root, Point(centre.x, centre.y - 600));
  f->setIsFloating(true, false);
  relate(b, a1);  // listed at b, which survives
  relate(a1, f);
  RelationshipView* kept = relate(b, f);
  canvas->deleteBranch(a);
  ASSERT_EQ(canvas->relationships().size(), 1u);
  EXPECT_TRUE(listed(kept));
  ASSERT_EQ(b->getRelationships().size(), 1u);
  EXPECT_EQ(b->getRelationships()[0], kept);
  // Every remaining end is a live topic of the tree.
  for (const RelationshipPtr& r : canvas->relationships()) {
    EXPECT_EQ(canvas->getNodeByUUID(r->end1()->uuid()), r->end1());
    EXPECT_EQ(canvas->getNodeByUUID(r->end2()->uuid()), r->end2());
  }
}

TEST_F(RelationshipsTest, DeletingOneTopicKeepsTheRelationshipsOfItsChildren) {
  NodeView* a = at(root, 300, 0);
  NodeView* a1 = at(a, 500, -50);
  NodeView* b = at(root, -300, 0);
  relate(a, b);
  relate(b, a);
  RelationshipView* childs = relate(a1, b);
  canvas->deleteTopic(a);
  ASSERT_EQ(canvas->relationships().size(), 1u);
  EXPECT_TRUE(listed(childs));
  EXPECT_TRUE(b->getRelationships().empty());
}

TEST_F(RelationshipsTest, ReplacingTheCentralTopicRemovesThemAll) {
  NodeView* a = at(root, 300, 0);
  NodeView* f = canvas->createChildNodeOf(root, Point(centre.x, centre.y - 600));
  f->setIsFloating(true, false);
  NodeView* f1 = canvas->createChildNodeOf(f, Point(centre.x + 200, centre.y - 600));
  relate(a, root);
  relate(f, f1);
  make(nullptr, Point(), "New central");
  EXPECT_TRUE(canvas->relationships().empty());
}

TEST_F(RelationshipsTest, RemovingOneRelationship) {
  NodeView* a = at(root, 300, 0);
  NodeView* b = at(root, -300, 0);
  RelationshipView* r = relate(a, b);
  RelationshipView* s = relate(a, b);
  canvas->removeRelationship(r);
  ASSERT_EQ(canvas->relationships().size(), 1u);
  ASSERT_EQ(a->getRelationships().size(), 1u);
  EXPECT_EQ(a->getRelationships()[0], s);
  EXPECT_EQ(s->superview(), canvas.get());
  canvas->removeRelationship(nullptr);
  RelationshipView stranger(Rect(), nullptr);  // not the canvas's: left alone
  stranger.setEnd1(b);
  canvas->removeRelationship(&stranger);
  EXPECT_EQ(stranger.end1(), b);
  EXPECT_EQ(canvas->relationships().size(), 1u);
}

TEST_F(RelationshipsTest, TearDownWithRelationshipsLeavesNothingBehind) {
  NodeView* a = at(root, 300, 0);
  NodeView* b = at(root, -300, 0);
  for (int i = 0; i < 10; ++i) relate(i % 2 ? a : b, i % 2 ? b : a);
  canvas->preDealloc();
  EXPECT_TRUE(canvas->relationships().empty());
  EXPECT_EQ(canvas->rootNode(), nullptr);
}

TEST_F(RelationshipsTest, RemovalWaitsForTheGlobalTreeLock) {
  NodeView* a = at(root, 300, 0);
  NodeView* b = at(root, -300, 0);
  relate(a, b);
  std::promise<void> locked, release;
  std::thread holder([&] {
    kit::LockGuard guard(AppServices::globalTreeLock());
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    canvas->removeRelationshipsFrom(a, true);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done.load());
  EXPECT_EQ(canvas->relationships().size(), 1u);
  release.set_value();
  worker.join();
  holder.join();
  EXPECT_TRUE(canvas->relationships().empty());
}

// ---- Queries -----------------------------------------------------------------------------------------------

TEST_F(RelationshipsTest, BoundsJoinTheRootAndVisibleControlPoints) {
  NodeView* a = at(root, 300, 0);
  NodeView* b = at(root, -300, 0);
  EXPECT_EQ(canvas->calcRelationshipBounds(), root->frame());
  relate(a, b, Point(0, -2000));
  relate(b, a, Point(0, 3000));
  b->setAlpha(0);
  EXPECT_EQ(canvas->calcRelationshipBounds(), root->frame());
  b->setAlpha(1);
  Rect bounds = canvas->calcRelationshipBounds();
  EXPECT_EQ(bounds.minY(), a->center().y - 2000);
  EXPECT_EQ(bounds.maxY(), b->center().y + 3000 + 1);
}

TEST_F(RelationshipsTest, BranchAffinityOverAllRelationships) {
  NodeView* a = at(root, 300, 0);
  NodeView* a1 = at(a, 500, 0);
  NodeView* b = at(root, -300, 0);
  relate(a1, b);
  EXPECT_TRUE(canvas->isAnyBranchAffinityWith(a, 1, false));
  EXPECT_FALSE(canvas->isAnyBranchAffinityWith(a, 2, false));
  EXPECT_TRUE(canvas->isAnyBranchAffinityWith(root, 2, false));
  b->setAlpha(0);
  EXPECT_FALSE(canvas->isAnyBranchAffinityWith(a, 1, false));
  EXPECT_TRUE(canvas->isAnyBranchAffinityWith(a, 1, true));
}

// ---- Handles ---------------------------------------------------------------------------------------------------

TEST_F(RelationshipsTest, HandlesShowOnlyForTheSelectedTopicsRelationships) {
  NodeView* a = at(root, 300, 0);
  NodeView* b = at(root, -300, 0);
  NodeView* c = at(root, 300, 200);
  RelationshipView* ab = relate(a, b);
  RelationshipView* cb = relate(c, b);
  canvas->setSelectedNode(nullptr, false);
  canvas->updateRelationshipControlPoints();
  EXPECT_EQ(ab->alpha(), 0);
  EXPECT_EQ(cb->alpha(), 0);

  canvas->setSelectedNode(a, true);  // a notified selection updates the handles
  EXPECT_EQ(ab->alpha(), 1.0f);
  EXPECT_EQ(cb->alpha(), 0);
  EXPECT_EQ(canvas->lastSubview(), ab);

  canvas->setSelectedNode(b, true);
  EXPECT_EQ(ab->alpha(), 1.0f);
  EXPECT_EQ(cb->alpha(), 1.0f);

  a->setAlpha(0);  // an end hidden under a fold
  canvas->updateRelationshipControlPoints();
  EXPECT_EQ(ab->alpha(), 0);
  EXPECT_EQ(cb->alpha(), 1.0f);
}

// ---- Drawing ---------------------------------------------------------------------------------------------------

namespace {

// Draws the canvas's relationships over the 600 x 300 area at origin into an image.
kit::ImageRef drawArea(BigView& canvas, Point origin, int type = 2) {
  auto image = kit::ImageContext::create(kit::Size(600, 300));
  if (!image) return nullptr;
  image->context().translateCTM(-origin.x, -origin.y);
  canvas.drawRelationships(image->context(), type, Rect(origin.x, origin.y, 600, 300));
  return image->image();
}

kit::Pixel pixel(const kit::ImageRef& image, Point origin, Point canvasPoint) {
  return image->pixelAt(static_cast<int>(canvasPoint.x - origin.x), static_cast<int>(canvasPoint.y - origin.y))
      .value_or(kit::Pixel{});
}

}  // namespace

TEST_F(RelationshipsTest, CurveAndArrowHeadsAreDrawnInTheRelationshipsColour) {
  NodeView* a = at(root, 200, 0);
  NodeView* b = at(root, 500, 0);
  // The control point halfway between, level with both shapes' middles: a straight curve.
  float level = a->getAdjustedNodeShapeFrame().midY() - a->center().y;
  RelationshipView* r = relate(a, b, Point(150, level));
  Point start, end;
  BigView::calcBestRelationshipConnectionPointsFrom(a, b, r->center(), start, end);
  ASSERT_EQ(start.y, r->center().y);
  ASSERT_EQ(end.y, r->center().y);
  Point origin(a->center().x - 100, a->center().y - 150);
  kit::ImageRef drawn = drawArea(*canvas, origin);
  ASSERT_TRUE(drawn);

  kit::Pixel onCurve = pixel(drawn, origin, Point((start.x + end.x) / 2, start.y));
  EXPECT_GT(onCurve.alpha, 200);
  EXPECT_GT(onCurve.green, 150);
  EXPECT_LT(onCurve.red, 80);
  // The arrow head is wider than the line: 7 points along, 4 aside, only the head paints.
  EXPECT_GT(pixel(drawn, origin, Point(start.x + 7, start.y + 4)).alpha, 200);
  EXPECT_GT(pixel(drawn, origin, Point(end.x - 7, end.y - 4)).alpha, 200);
  EXPECT_EQ(pixel(drawn, origin, Point(start.x + 7, start.y + 30)).alpha, 0);

  r->setArrowTypeEnd1(RelationshipEnd::None);
  r->setArrowTypeEnd2(RelationshipEnd::Circle);
  drawn = drawArea(*canvas, origin);
  EXPECT_EQ(pixel(drawn, origin, Point(start.x + 7, start.y + 4)).alpha, 0);
  EXPECT_GT(pixel(drawn, origin, Point(end.x - 7, end.y + 5)).alpha, 200);  // the disc
}

// A topic related to itself shows a loop out of the side facing the handle: its tip reaches
// towards the handle and nothing runs straight out along the middle.
TEST_F(RelationshipsTest, ARelationshipToItselfIsDrawnAsALoop) {
  NodeView* a = at(root, 200, 0);
  const Rect shape = a->getAdjustedNodeShapeFrame();
  RelationshipView* r = relate(a, a, Point(shape.maxX() - a->center().x + 80, shape.midY() - a->center().y));
  const Point q = r->center();
  ASSERT_EQ(q, Point(shape.maxX() + 80, shape.midY()));
  Point origin(a->center().x - 100, a->center().y - 150);
  kit::ImageRef drawn = drawArea(*canvas, origin);
  ASSERT_TRUE(drawn);
  EXPECT_GT(pixel(drawn, origin, Point(shape.maxX() + 60, q.y)).alpha, 200);  // the tip
  EXPECT_EQ(pixel(drawn, origin, Point(shape.maxX() + 30, q.y)).alpha, 0);    // inside the loop
  EXPECT_EQ(pixel(drawn, origin, Point(shape.maxX() + 30, q.y + 40)).alpha, 0);
}

TEST_F(RelationshipsTest, ADimmedEndFadesTheCurveAndDropsTheHeads) {
  NodeView* a = at(root, 200, 0);
  NodeView* b = at(root, 500, 0);
  RelationshipView* r = relate(a, b, Point(150, 0));
  Point start, end;
  BigView::calcBestRelationshipConnectionPointsFrom(a, b, r->center(), start, end);
  Point origin(a->center().x - 100, a->center().y - 150);
  b->setAlpha(0.5f);
  kit::ImageRef drawn = drawArea(*canvas, origin);
  kit::Pixel onCurve = pixel(drawn, origin, Point((start.x + end.x) / 2, start.y));
  EXPECT_GT(onCurve.alpha, 60);
  EXPECT_LT(onCurve.alpha, 200);
  EXPECT_EQ(pixel(drawn, origin, Point(start.x + 7, start.y + 4)).alpha, 0);
  b->setAlpha(0);  // hidden: nothing at all
  drawn = drawArea(*canvas, origin);
  EXPECT_EQ(pixel(drawn, origin, Point((start.x + end.x) / 2, start.y)).alpha, 0);
}

TEST_F(RelationshipsTest, GuideLinesToTheHandleOnlyOnScreenAndWhileAnEndIsSelected) {
  NodeView* a = at(root, 200, 0);
  NodeView* b = at(root, 500, 0);
  // The control point well above: the guide lines run straight from each end to it.
  RelationshipView* r = relate(a, b, Point(150, -120));
  Point start, end;
  BigView::calcBestRelationshipConnectionPointsFrom(a, b, r->center(), start, end);
  Point origin(a->center().x - 100, a->center().y - 200);
  // Near the handle, where the curve has turned away from the guide.
  Point onGuide(start.x + 0.9f * (r->center().x - start.x), start.y + 0.9f * (r->center().y - start.y));
  canvas->setSelectedNode(a, true);
  ASSERT_EQ(r->alpha(), 1.0f);
  EXPECT_GT(pixel(drawArea(*canvas, origin, 0), origin, onGuide).alpha, 0);
  EXPECT_EQ(pixel(drawArea(*canvas, origin, 2), origin, onGuide).alpha, 0);
  canvas->setSelectedNode(root, true);
  EXPECT_EQ(pixel(drawArea(*canvas, origin, 0), origin, onGuide).alpha, 0);
}

TEST_F(RelationshipsTest, AHandleOnItsConnectionPointStillGetsItsArrowHead) {
  // The control point on the top middle of the start: no direction to measure the head by, and
  // the head must still be drawn (pointing down) rather than vanish into a NaN rotation.
  NodeView* a = at(root, 200, 0);
  NodeView* b = at(root, 500, 0);
  RelationshipView* r = relate(a, b);
  Rect shape = a->getAdjustedNodeShapeFrame();
  r->setCenter(Point(shape.midX(), shape.minY()));
  Point start, end;
  BigView::calcBestRelationshipConnectionPointsFrom(a, b, r->center(), start, end);
  ASSERT_EQ(start, r->center());
  Point origin(a->center().x - 100, a->center().y - 150);
  kit::ImageRef drawn = drawArea(*canvas, origin);
  ASSERT_TRUE(drawn);
  EXPECT_GT(pixel(drawn, origin, Point(start.x - 4, start.y + 7)).alpha, 200);
}
