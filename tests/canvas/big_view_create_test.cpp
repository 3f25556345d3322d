#include <atomic>
#include <chrono>
#include <thread>

#include "canvas/canvas_test_support.h"
#include "helpers/global_helpers_colour.h"
#include "kit/core/notification_center.h"
#include "model/app_services.h"

using kit::Point;

namespace {
// Where a command placed a topic it then opened for editing: the centre of its frame before the
// editor grew it.
Point placedAt(NodeView* n) {
  const kit::Rect f = n->inPlaceEditTextView()->preEditNodeFrame();
  return Point(f.midX(), f.midY());
}
}  // namespace

TEST_F(CanvasTest, FirstTopicLandsAtTheCanvasCentreWhateverPointIsGiven) {
  NodeView* root = canvas->createChildNodeOf(nullptr, Point(5, 5));
  EXPECT_EQ(root->center(), Point(17280, 15360));
  EXPECT_EQ(canvas->rootNode(), root);
  EXPECT_EQ(canvas->selectedNode(), root);
  EXPECT_EQ(root->superview(), canvas.get());
  NodeView* c = canvas->createChildNodeOf(root, Point(0, 0));
  EXPECT_EQ(c->center(), Point(17280, 15360));
  NodeView* d = canvas->createChildNodeOf(root, Point(10.5f, 11.5f));
  EXPECT_EQ(d->center(), Point(10, 12));  // halves to even
  EXPECT_EQ(root->childNodes().size(), 2u);
  EXPECT_EQ(c->parentNode(), root);
  EXPECT_EQ(d->iID(), 3);
}

TEST_F(CanvasTest, ASecondCentralTopicReplacesTheFirstCleanly) {
  NodeView* root = make(nullptr, Point());
  make(root, Point(100, 100));
  NodeView* again = canvas->createChildNodeOf(nullptr, Point());
  EXPECT_EQ(canvas->rootNode(), again);
  EXPECT_EQ(canvas->getTopicCount(nullptr), 1);
  EXPECT_EQ(canvas->subviewCount(), 4u + 1u);  // the four tools and the new topic
}

TEST_F(CanvasTest, NewChildrenOfTheRootFollowTheSelectionsSide) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  const kit::Rect rf = root->getAdjustedNodeFrame();
  NodeView* first = canvas->createChildNodeOf(root, Side::Automatic);
  // No side known yet: right, 70 + 5 beyond the frame, 10 above the centre.
  EXPECT_EQ(first->center(), Point(rf.maxX() + 75, c.y - 10));
  NodeView* left = make(root, Point(c.x - 300, c.y));
  canvas->setSelectedNode(left, false);
  EXPECT_EQ(canvas->preferredSideForNextNewTopic(), Side::Left);
  NodeView* next = canvas->createChildNodeOf(root, Side::Automatic);
  EXPECT_LT(next->center().x, c.x);
  canvas->setSelectedNode(root, false);  // a root leaves the side alone
  EXPECT_EQ(canvas->preferredSideForNextNewTopic(), Side::Left);
}

TEST_F(CanvasTest, SecondChildOnASideGoesBelowTheLowestBranch) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* lowest = make(root, Point(c.x + 200, c.y));
  NodeView* child = canvas->createChildNodeOf(root, Side::Right);
  EXPECT_EQ(lowest->center(), Point(c.x + 200, c.y - 10));  // moved up 10 first
  // 15 below the lowest child's branch (where it is now), 5 inside its left edge.
  const kit::Rect lf = lowest->getAdjustedNodeFrame();
  EXPECT_EQ(child->center(), Point(lf.minX() + 5, lowest->getBranchBoundingRect().maxY() + 15));
  EXPECT_EQ(child->parentNode(), root);
}

TEST_F(CanvasTest, ChildOfANormalTopicTakesItsBranchSide) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* left = make(root, Point(c.x - 300, c.y));
  const kit::Rect lf = left->getAdjustedNodeFrame();
  NodeView* child = canvas->createChildNodeOf(left, Side::Right);  // the side is ignored
  EXPECT_EQ(child->center(), Point(lf.minX() - 75, c.y - 10));
}

TEST_F(CanvasTest, SiblingsAreRefusedForRootsFloatingTopicsAndCallouts) {
  NodeView* root = make(nullptr, Point());
  NodeView* c = make(root, Point(100, 100));
  c->setIsCallout(true, false);
  NodeView* f = make(root, Point(200, 200));
  f->setIsFloating(true, false);
  EXPECT_EQ(canvas->createSiblingOf(root, false), nullptr);
  EXPECT_EQ(canvas->createSiblingOf(c, false), nullptr);
  EXPECT_EQ(canvas->createSiblingOf(f, true), nullptr);
  EXPECT_EQ(canvas->createSiblingOf(nullptr, true), nullptr);
  EXPECT_EQ(canvas->getTopicCount(nullptr), 3);
}

TEST_F(CanvasTest, SiblingAboveGoesAboveTheBranchAndCopiesTheStyle) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* t = make(root, Point(c.x + 200, c.y + 100));
  t->setShape(TopicShape::Rectangle, false, false);
  t->setFontSize(22, false, false);
  NodeView* s = canvas->createAndEditNewSiblingOf(t, true, "above");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(t->center(), Point(c.x + 200, c.y + 110));  // moved down, away from the new place
  // 15 above t's branch where it is now, 5 inside its left edge.
  const kit::Rect tf = t->getAdjustedNodeFrame();
  EXPECT_EQ(placedAt(s), Point(tf.minX() + 5, t->getBranchBoundingRect().minY() - 15));
  EXPECT_EQ(s->strName(), "above");
  EXPECT_EQ(s->getShape(), TopicShape::Rectangle);
  EXPECT_EQ(s->getFontSize(), 22.0f);
  EXPECT_EQ(canvas->selectedNode(), s);
}

TEST_F(CanvasTest, RefusedSiblingKeepsTheSelectionAndNotifies) {
  NodeView* root = make(nullptr, Point());
  int posts = 0;
  int owner = 0;
  kit::NotificationCenter::defaultCenter().addObserver(&owner, "NM_SELECTION_CHANGED", nullptr,
                                                       [&](const kit::Notification&) { ++posts; });
  EXPECT_EQ(canvas->createAndEditNewSiblingOf(root, false, "x"), nullptr);
  kit::NotificationCenter::defaultCenter().removeObserver(&owner);
  EXPECT_EQ(canvas->selectedNode(), root);
  EXPECT_EQ(posts, 1);
}

TEST_F(CanvasTest, NewChildUsesTheCrosshairWhenShown) {
  NodeView* root = make(nullptr, Point());
  canvas->crosshairButton()->setCenter(Point(500, 600));
  canvas->crosshairButton()->setAlpha(1);
  NodeView* n = canvas->createAndEditNewChildOf(root, "x");
  EXPECT_EQ(placedAt(n), Point(500, 600));
  EXPECT_FALSE(canvas->isCrosshairShown());
  EXPECT_EQ(canvas->createAndEditNewChildOf(nullptr, "y"), nullptr);
}

// The crosshair moves the selection (not the central topic) with its branch, mirrored when it
// changes sides, and records the move for undo.
TEST_F(CanvasTest, CrosshairMovesTheSelectedBranchThere) {
  NodeView* root = make(nullptr, Point(), "Central");
  Point c = root->center();
  NodeView* a = make(root, Point(c.x + 300, c.y), "a");
  NodeView* k = make(a, Point(c.x + 500, c.y + 40), "k");
  kit::View* crosshair = canvas->crosshairButton();
  crosshair->setCenter(Point(c.x - 400, c.y + 200));
  crosshair->setAlpha(1);
  canvas->setSelectedNode(root, false);
  canvas->onCrosshairPressed();
  EXPECT_EQ(root->center(), c);
  EXPECT_TRUE(canvas->isCrosshairShown());
  EXPECT_TRUE(doc.records.empty());

  canvas->setSelectedNode(a, false);
  canvas->onCrosshairPressed();
  EXPECT_EQ(a->center(), Point(c.x - 400, c.y + 200));
  // The child came along and, now left of the central topic, lies left of its parent.
  EXPECT_EQ(k->center(), Point(c.x - 400 - 200, c.y + 240));
  EXPECT_FALSE(canvas->isCrosshairShown());
  ASSERT_EQ(doc.records.size(), 1u);
  EXPECT_EQ(doc.records[0].action, "move");
  EXPECT_EQ(doc.records[0].details["uuid"], kit::Value(a->uuid()));
}

// A new parent starts 5 inside the topic's edge that faces the central topic and keeps that
// edge; the topic then moves out to 70 beyond the new parent. A new child level starts 5 beyond
// the far edge and moves out to 70 from the topic. Both keep the topic's vertical centre.
TEST_F(CanvasTest, NewParentAndChildLevelPlacementOnBothSides) {
  NodeView* root = make(nullptr, Point(), "Central");
  Point c = root->center();
  NodeView* r = make(root, Point(c.x + 300, c.y - 100), "right topic");
  NodeView* l = make(root, Point(c.x - 300, c.y + 100), "left topic");
  const kit::Rect rf = r->getAdjustedNodeFrame(), lf = l->getAdjustedNodeFrame();

  // Measured once editing has ended: the open editor widens a topic away from its parent.
  NodeView* rp = canvas->createAndEditNewParentOf(r, "p");
  NodeView* lp = canvas->createAndEditNewParentOf(l, "q");
  canvas->endEditing();
  const kit::Rect rpf = rp->getAdjustedNodeFrame(), lpf = lp->getAdjustedNodeFrame();
  EXPECT_EQ(rpf.minX(), rf.minX());  // made at minX + 5, ten wide
  EXPECT_EQ(lpf.maxX(), lf.maxX());  // made at maxX - 5
  EXPECT_EQ(rpf.midY(), r->center().y);
  EXPECT_EQ(lpf.midY(), l->center().y);
  EXPECT_EQ(r->getAdjustedNodeFrame().minX(), rpf.maxX() + 70);
  EXPECT_EQ(l->getAdjustedNodeFrame().maxX(), lpf.minX() - 70);

  NodeView* rk = make(r, Point(c.x + 700, c.y - 100), "rk");
  NodeView* lk = make(l, Point(c.x - 700, c.y + 100), "lk");
  NodeView* rl = canvas->createAndEditNewChildLevelOf(r, "level");
  NodeView* ll = canvas->createAndEditNewChildLevelOf(l, "level");
  NodeView* cl = canvas->createAndEditNewChildLevelOf(root, "level");
  canvas->endEditing();
  EXPECT_EQ(rl->getAdjustedNodeFrame().minX(), r->getAdjustedNodeFrame().maxX() + 70);
  EXPECT_EQ(ll->getAdjustedNodeFrame().maxX(), l->getAdjustedNodeFrame().minX() - 70);
  EXPECT_EQ(cl->getAdjustedNodeFrame().minX(), root->getAdjustedNodeFrame().maxX() + 70);
  EXPECT_EQ(rl->getAdjustedNodeFrame().midY(), r->center().y);
  EXPECT_EQ(ll->getAdjustedNodeFrame().midY(), l->center().y);
  EXPECT_EQ(cl->getAdjustedNodeFrame().midY(), c.y);
  // The taken-over children stay beyond their new parent.
  EXPECT_GT(rk->getAdjustedNodeFrame().minX(), rl->getAdjustedNodeFrame().maxX());
  EXPECT_LT(lk->getAdjustedNodeFrame().maxX(), ll->getAdjustedNodeFrame().minX());
}

// A floating topic is a root: a new level under it goes right of it wherever it floats, as for
// the central topic.
TEST_F(CanvasTest, NewChildLevelOfAFloatingTopicLeftOfTheCentreGoesRight) {
  NodeView* root = make(nullptr, Point(), "Central");
  Point c = root->center();
  NodeView* f = make(root, Point(c.x - 600, c.y + 400), "float");
  f->setIsFloating(true, false);
  NodeView* k = make(f, Point(c.x - 400, c.y + 400), "k");
  NodeView* level = canvas->createAndEditNewChildLevelOf(f, "level");
  EXPECT_EQ(level->getAdjustedNodeFrame().minX(), f->getAdjustedNodeFrame().maxX() + 70);
  EXPECT_EQ(k->parentNode(), level);
  EXPECT_GT(k->getAdjustedNodeFrame().minX(), level->getAdjustedNodeFrame().maxX());
}

TEST_F(CanvasTest, NewParentGoesToTheEndOfTheOldParentsChildren) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* a = make(root, Point(c.x + 300, c.y - 100), "a");
  NodeView* b = make(root, Point(c.x + 300, c.y + 100), "b");
  NodeView* p = canvas->createAndEditNewParentOf(a, "p");
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(root->childNodes().size(), 2u);
  EXPECT_EQ(root->childNodes()[0].get(), b);
  EXPECT_EQ(root->childNodes()[1].get(), p);
  EXPECT_EQ(a->parentNode(), p);
  ASSERT_EQ(p->childNodes().size(), 1u);
  EXPECT_EQ(canvas->selectedNode(), p);
  EXPECT_EQ(canvas->createAndEditNewParentOf(root, "none"), nullptr);
}

TEST_F(CanvasTest, NewChildLevelNeverTakesCalloutsOrFloatingTopics) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* t = make(root, Point(c.x + 300, c.y));
  NodeView* n1 = make(t, Point(c.x + 500, c.y - 50));
  NodeView* co = make(t, Point(c.x + 500, c.y));
  co->setIsCallout(true, false);
  NodeView* fl = make(t, Point(c.x + 500, c.y + 300));
  fl->setIsFloating(true, false);
  NodeView* n2 = make(t, Point(c.x + 500, c.y + 50));
  NodeView* level = canvas->createAndEditNewChildLevelOf(t, "level");
  EXPECT_EQ(n1->parentNode(), level);
  EXPECT_EQ(n2->parentNode(), level);
  EXPECT_EQ(co->parentNode(), t);
  EXPECT_EQ(fl->parentNode(), t);
  ASSERT_EQ(t->childNodes().size(), 3u);
  EXPECT_EQ(t->childNodes()[0].get(), co);
  EXPECT_EQ(t->childNodes()[2].get(), level);
  ASSERT_EQ(level->childNodes().size(), 2u);
  EXPECT_EQ(level->childNodes()[0].get(), n1);
}

TEST_F(CanvasTest, CalloutTakesTheFirstFreeSpot) {
  NodeView* root = make(nullptr, Point());
  const kit::Rect rf = root->getAdjustedNodeFrame();
  NodeView* co = canvas->createAndEditNewCallout(root, "note");
  // Right of and above the root's frame: (maxX + 50, minY - 30).
  EXPECT_EQ(placedAt(co), Point(rf.maxX() + 50, rf.minY() - 30));
  EXPECT_TRUE(co->isCallout());
  EXPECT_EQ(co->getShape(), TopicShape::RoundedRectangle);
  EXPECT_EQ(co->getColourAsString(), "FF7F00");
  EXPECT_EQ(canvas->selectedNode(), co);
  EXPECT_EQ(canvas->createAndEditNewCallout(nullptr, "x"), nullptr);
}

TEST_F(CanvasTest, CalloutWithoutAFreeSpotUsesTheTwentyFirst) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* t = make(root, Point(c.x + 300, c.y + 200));
  // A huge topic covers every spot the search tries.
  NodeView* wall = make(root, Point(c.x, c.y));
  wall->setBounds(kit::Rect(0, 0, 8000, 8000));
  canvas->bringSubviewToFront(wall);
  NodeView* co = canvas->createAndEditNewCallout(t, "x");
  kit::Rect f = t->getAdjustedNodeFrame();
  // t is right of the root and below it: h = +1, v = +1.
  EXPECT_EQ(placedAt(co), Point(f.maxX() + 50 + 20 * 20, f.maxY() + 30 + 20 * 50));
}

TEST_F(CanvasTest, SiblingCalloutBelongsToTheParentAndSitsBelow) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* t = make(root, Point(c.x + 300, c.y));
  const kit::Rect tf = t->frame();
  NodeView* co = canvas->createAndEditNewSiblingCallout(t, "x");
  EXPECT_EQ(co->parentNode(), root);
  // 60 below the bottom of t's frame, under its centre.
  EXPECT_EQ(placedAt(co), Point(c.x + 300, tf.maxY() + 60));
}

TEST_F(CanvasTest, FloatingTopicAtTheCrosshairUnderTheRoot) {
  EXPECT_EQ(canvas->createAndEditNewFloatingNode("x"), nullptr);  // no central topic yet
  NodeView* root = make(nullptr, Point());
  canvas->crosshairButton()->setCenter(Point(321, 654));
  NodeView* f = canvas->createAndEditNewFloatingNode("float");
  EXPECT_EQ(f->parentNode(), root);
  EXPECT_TRUE(f->isFloating());
  EXPECT_TRUE(f->isRoot());
  EXPECT_EQ(f->center(), Point(321, 654));
  EXPECT_EQ(f->getDisplayFontSize(), 18.0f);  // re-evaluated as a root
}

TEST_F(CanvasTest, SelectionNotificationsAndObservers) {
  NodeView* root = make(nullptr, Point());
  NodeView* a = make(root, Point(20000, 15360));
  std::vector<const void*> objects;
  int owner = 0;
  kit::NotificationCenter::defaultCenter().addObserver(
      &owner, "NM_SELECTION_CHANGED", nullptr, [&](const kit::Notification& n) { objects.push_back(n.object); });
  canvas->setSelectedNode(a, true);
  canvas->setSelectedNode(a, true);  // again: posts again
  canvas->setSelectedNode(nullptr, true);
  doc.forExport = true;
  canvas->setSelectedNode(root, true);
  kit::NotificationCenter::defaultCenter().removeObserver(&owner);
  EXPECT_EQ(objects, (std::vector<const void*>{a, a, nullptr}));
  EXPECT_FALSE(a->isSelected());
  EXPECT_TRUE(root->isSelected());
  EXPECT_FALSE(a->hasObserver(canvas.get(), "center"));
  EXPECT_TRUE(root->hasObserver(canvas.get(), "bounds"));
  EXPECT_EQ(doc.refreshBrightnessCalls, 4);
}

TEST_F(CanvasTest, SelectionToolsShowWithTheSelectionAndTheEditorButtonOnlyWithAnEditor) {
  NodeView* root = make(nullptr, Point());
  canvas->setSelectedNode(root, true);
  EXPECT_EQ(canvas->topicResizeTool()->alpha(), 1.0f);
  // Without a topic editor its button is not shown, and a tap where it would be misses it.
  kit::View* button = canvas->topicDisclosureButton();
  EXPECT_EQ(button->alpha(), 0.0f);
  EXPECT_NE(canvas->hitTest(button->center()), button);

  std::vector<NodeView*> edited;
  canvas->setTopicEditorPresenter([&](NodeView* topic) { edited.push_back(topic); });
  canvas->setSelectedNode(root, true);
  EXPECT_EQ(button->alpha(), 1.0f);
  ASSERT_EQ(canvas->hitTest(button->center()), button);
  static_cast<kit::Button*>(button)->sendActionsForControlEvents(kit::ControlEventTouchDown);
  EXPECT_EQ(edited, std::vector<NodeView*>{root});
  canvas->setTopicEditorPresenter({});
  EXPECT_EQ(button->alpha(), 0.0f);

  canvas->setSelectedNode(root, true);
  canvas->setSelectedNode(nullptr, false);
  EXPECT_EQ(canvas->topicResizeTool()->alpha(), 0.0f);
  EXPECT_EQ(canvas->topicDisclosureButton()->alpha(), 0.0f);
}

TEST_F(CanvasTest, ChildListChangesWaitForTheTreeLock) {
  NodeView* root = make(nullptr, Point());
  std::atomic<bool> holding{false}, released{false};
  std::thread drawer([&] {
    kit::LockGuard guard(AppServices::globalTreeLock());
    holding = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    released = true;
  });
  while (!holding) std::this_thread::yield();
  canvas->createChildNodeOf(root, Point(1, 1));
  EXPECT_TRUE(released.load());
  drawer.join();
}

TEST_F(CanvasTest, RainbowChildOfTheRootTakesTheWheelColourOfWhereItLands) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  AppServices::setRainbowFlag(true);
  NodeView* left = canvas->createChildNodeOf(root, Point(c.x - 300, c.y + 40));
  NodeView* right = canvas->createChildNodeOf(root, Point(c.x + 300, c.y - 40));
  AppServices::setRainbowFlag(false);
  for (NodeView* n : {left, right}) {
    RGB255 expected = RGB255FromUnit(GlobalHelpers::calculateColourWheelColourForPoint(n->center(), c));
    EXPECT_TRUE(RGB255EqualToColour(n->getDisplayColour(), expected)) << n->center().x;
  }
  EXPECT_FALSE(RGB255EqualToColour(left->getDisplayColour(), right->getDisplayColour()));
}
