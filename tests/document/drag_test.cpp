// Dragging on the map through synthetic touches: the branch and its shape layers follow the
// finger, a lifted topic is dropped on a new parent or the background, autoscroll carries the
// topic, and undo or a cancelled touch gives back the map exactly (native XML compared).
#include <gtest/gtest.h>

#include <cmath>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/compositor.h"
#include "kit/ui/menu_controller.h"

using kit::Point;

namespace {

class DragTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    doc.setMapSetting("KeepOrganised", false);
    canvas = doc.bigView();
    canvas->setAutoScrollEnabled(false);
    scroll.setContentView(canvas);
    scroll.setContentSize(canvas->bounds().size);
    window.addSubview(&scroll);
    root = make(nullptr, Point(), "Central");
    origin = Point(root->center().x - 500, root->center().y - 400);
    scroll.setContentOffset(origin);
    a = make(root, at(700, 300), "Main A");
    b = make(root, at(700, 550), "Main B");
    a1 = make(a, at(850, 300), "Sub A1");
    a11 = make(a1, at(1000, 300), "Leaf A11");
    for (NodeView* n : {root, a, a1}) n->_calcLayout();
    canvas->setSelectedNode(root, true);
    kit::RunLoop::main().runOnce();
    doc.undoManager()->removeAllActions();
  }
  void TearDown() override { scroll.removeFromSuperview(); }

  NodeView* make(NodeView* parent, Point p, const char* name) {
    NodeView* n = canvas->createChildNodeOf(parent, p);
    n->setStrName(name);
    n->_calcLayout();
    return n;
  }
  Point at(float x, float y) const { return Point(origin.x + x, origin.y + y); }
  Point on(const NodeView* n) const { return canvas->convertPointToView(n->center(), &window); }
  std::string xml() { return MapFormats::dumpMap(*canvas); }
  void undo() {
    kit::RunLoop::main().runOnce();
    ASSERT_TRUE(doc.undoManager()->undo());
  }
  // Long press on the topic until it is lifted, then through the points; the finger stays down.
  void liftAndMove(NodeView* n, std::vector<Point> path) {
    script.down(on(n));
    script.wait(0.7);
    ASSERT_EQ(canvas->dragDropNode(), n);
    for (Point p : path) script.move(p);
  }

  // The grip's style is read when the canvas is made.
  bool gripOn_ = (kit::UserDefaults::standard().setInteger("ui_topic_resize_handle", 1), true);
  PseudoMapViewController doc;
  BigView* canvas = nullptr;
  kit::Window window{kit::Rect(0, 0, 1200, 800)};
  MapScrollView scroll{kit::Rect(0, 0, 1200, 800)};
  kit::EventScript script{window};
  Point origin;
  NodeView *root = nullptr, *a = nullptr, *b = nullptr, *a1 = nullptr, *a11 = nullptr;
};

TEST_F(DragTest, FreeDragMovesTheBranchWithItsLayersAndOneUndoGivesTheMapBack) {
  const std::string before = xml();
  const Point a0 = a->center(), leaf0 = a11->center();
  script.down(on(a));
  script.move(Point(on(a).x + 20, on(a).y + 30));
  script.move(Point(on(a).x + 20, on(a).y + 30));  // the topic moved with the first: 40, 60 in all
  EXPECT_EQ(canvas->draggingTopic(), a);
  ASSERT_NE(canvas->branchLayer(), nullptr);
  ASSERT_NE(canvas->linkLayer(), nullptr);
  // Link and branch layers just above the tiles; the branch one below the link.
  ASSERT_EQ(canvas->canvasLayer().sublayers().size(), 2u);
  EXPECT_EQ(canvas->canvasLayer().sublayers()[0].get(), canvas->branchLayer());
  EXPECT_EQ(canvas->canvasLayer().sublayers()[1].get(), canvas->linkLayer());
  EXPECT_FALSE(canvas->linkLayer()->path().isEmpty());
  EXPECT_EQ(canvas->branchLayer()->transform(), kit::AffineTransform::translation(40, 60));
  EXPECT_EQ(a11->center(), Point(leaf0.x + 40, leaf0.y + 60));
  script.up(on(a));
  EXPECT_EQ(canvas->draggingTopic(), nullptr);
  EXPECT_EQ(a->center(), Point(a0.x + 40, a0.y + 60));
  script.wait(0.29);
  EXPECT_EQ(canvas->canvasLayer().sublayers().size(), 2u);  // the preview lingers 0.3 s
  script.wait(0.02);
  EXPECT_TRUE(canvas->canvasLayer().sublayers().empty());
  EXPECT_EQ(doc.undoManager()->undoCount(), 1u);
  undo();
  EXPECT_EQ(xml(), before);
  // Beside a topic's shape (its hit test gives 0) a touch selects nothing, yet drags the topic.
  const Point c0 = a11->center(), p = a11->convertPointToView(Point(a11->bounds().midX(), a11->bounds().maxY() - 1), &window);
  script.drag({p, Point(p.x + 30, p.y + 40)}, 0.2);
  EXPECT_EQ(canvas->selectedNode(), a);
  EXPECT_EQ(a11->center(), Point(c0.x + 30, c0.y + 40));
  undo();
  EXPECT_EQ(xml(), before);
}

TEST_F(DragTest, UndoOfAnOrganisedDropGivesBackOrderPlacesAndControlPoints) {
  doc.setMapSetting("KeepOrganised", true);
  canvas->createRelationshipBetweenNode(a1, 0, b, 1, Point(), RGB255{200, 40, 40});
  canvas->rearrangeAll(false);
  kit::RunLoop::main().runOnce();
  doc.undoManager()->removeAllActions();
  const std::string before = xml();
  // B dropped above A, across the central topic: the relayout moves the others too.
  script.drag({on(b), Point(on(b).x - 300, on(b).y - 100), Point(on(root).x - 200, on(a).y - 60)}, 0.3);
  script.wait(0.6);
  ASSERT_NE(xml(), before);
  undo();
  EXPECT_EQ(xml(), before);
}

TEST_F(DragTest, CancelledDragAndTopicRemovedMidwayLeaveNoTrace) {
  const std::string before = xml();
  script.down(on(a));
  script.move(Point(on(a).x - 300, on(a).y + 250));  // across the central topic: the branch mirrors
  script.move(Point(on(a).x + 5, on(a).y + 5));
  script.cancel(on(a));
  EXPECT_EQ(xml(), before);
  script.wait(0.01);
  EXPECT_TRUE(canvas->canvasLayer().sublayers().empty());

  // The dragged topic goes (as undo of its creation would take it) while the finger is down.
  script.down(on(b));
  script.move(Point(on(b).x + 30, on(b).y));
  ASSERT_EQ(canvas->draggingTopic(), b);
  canvas->deleteBranch(b);
  script.move(Point(400, 400));
  script.up(Point(400, 400));
  script.wait(0.01);
  EXPECT_EQ(canvas->draggingTopic(), nullptr);
  EXPECT_TRUE(canvas->canvasLayer().sublayers().empty());
}

TEST_F(DragTest, LiftedBranchDropsOnANewParentOrFloatsAndTwoUndosGiveTheMapBack) {
  const std::string before = xml();
  const std::string a1ID = a1->uuid();
  liftAndMove(a1, {on(b)});
  EXPECT_EQ(canvas->fosterNode(), b);
  script.up(on(b));
  EXPECT_EQ(canvas->menuOptions(), MenuOption::Copy | MenuOption::Move | MenuOption::Merge);
  EXPECT_EQ(canvas->menuOptions(), 0x3008u);
  ASSERT_TRUE(kit::MenuController::shared().chooseItem("Move"));
  EXPECT_EQ(a1->parentNode(), b);
  EXPECT_EQ(a11->parentNode(), a1);
  EXPECT_EQ(canvas->selectedNode(), a1);
  undo();
  undo();  // the lift's own step
  EXPECT_EQ(xml(), before);

  // On the background: Delete, Float and Float a Copy; floated, the branch hangs from the root.
  a1 = canvas->getNodeByUUID(a1ID);  // undo of a snapshot rebuilds the topics
  liftAndMove(a1, {Point(300, 700), Point(250, 720)});
  EXPECT_EQ(canvas->fosterNode(), nullptr);
  script.up(Point(250, 720));
  EXPECT_EQ(canvas->menuOptions(), MenuOption::Delete | MenuOption::Float | MenuOption::FloatACopy);
  const Point dropped = a1->center();
  ASSERT_TRUE(kit::MenuController::shared().chooseItem("Float"));
  EXPECT_TRUE(a1->isFloating());
  EXPECT_EQ(a1->parentNode(), canvas->rootNode());
  EXPECT_EQ(a1->center(), dropped);
  undo();
  undo();  // the lift's own step
  EXPECT_EQ(xml(), before);
}

TEST_F(DragTest, ADroppedMainTopicTakesItsRainbowColourAndAFloatingTopicIsNotOfferedFloat) {
  doc.setRainbow(true);
  const RGB255 right = b->getDisplayColour();
  // Across to the left of the central topic.
  script.drag({on(b), Point(on(b).x - 200, on(b).y), Point(on(root).x - 250, on(b).y)}, 0.3);
  const RGB255 left = b->getDisplayColour();
  EXPECT_FALSE(left.r == right.r && left.g == right.g && left.b == right.b);
  doc.setRainbow(false);

  NodeView* floating = make(root, at(300, 150), "Floating");
  floating->setIsFloating(true, false);
  liftAndMove(floating, {Point(on(floating).x + 30, on(floating).y + 40)});
  script.up(Point(on(floating).x, on(floating).y));
  EXPECT_EQ(canvas->menuOptions(), MenuOption::Delete | MenuOption::FloatACopy);
  canvas->hideMenuController();
}

TEST_F(DragTest, AutoscrollAtTheEdgeCarriesTheTopicAndStopsAtTheContentEdge) {
  canvas->setAutoScrollEnabled(true);
  script.down(on(b));
  // 10 points inside the right edge: 4 points per 0.01 s tick.
  const Point finger(1190, on(b).y);
  script.move(finger);
  const Point screen = on(b);
  const Point offset0 = scroll.contentOffset();
  EXPECT_TRUE(canvas->isAutoscrolling());
  script.wait(0.1);
  EXPECT_NEAR(scroll.contentOffset().x - offset0.x, 40, 4.5);
  EXPECT_EQ(scroll.contentOffset().y, offset0.y);
  // Carried along: still where the finger holds it on screen.
  EXPECT_NEAR(on(b).x, screen.x, 0.01);
  EXPECT_NEAR(on(b).y, screen.y, 0.01);
  EXPECT_NEAR(b->center().x - canvas->convertPointFromView(screen, &window).x, 0, 0.01);
  // The map never scrolls past its content.
  scroll.setContentOffset(Point(canvas->bounds().width() - 1200 - 3, offset0.y));
  script.wait(0.05);
  EXPECT_EQ(scroll.contentOffset().x, canvas->bounds().width() - 1200);
  // Back inside: the timer stops.
  script.move(Point(600, on(b).y));
  EXPECT_FALSE(canvas->isAutoscrolling());
  script.up(Point(600, on(b).y));

  EXPECT_EQ(BigView::autoscrollDistanceForProximityToEdge(29.5f), 1);
  EXPECT_EQ(BigView::autoscrollDistanceForProximityToEdge(0), 6);
}

TEST_F(DragTest, ATouchThatEndsAsATapStopsAutoscrollAndTakesItsPreviewAway) {
  canvas->setAutoScrollEnabled(true);
  // The topic 15 points inside the right edge; twice a finger on it moves 5 points and lifts.
  scroll.setContentOffset(Point(origin.x + on(b).x - 1185, origin.y));
  for (int i = 0; i < 2; ++i) {
    const Point p = on(b);
    script.down(p);
    script.move(Point(p.x + 5, p.y));
    script.up(Point(p.x + 5, p.y));
    const Point offset = scroll.contentOffset();
    script.wait(0.5);
    EXPECT_FALSE(canvas->isAutoscrolling());
    EXPECT_EQ(scroll.contentOffset(), offset);
    EXPECT_TRUE(canvas->canvasLayer().sublayers().empty());
  }
}

TEST_F(DragTest, ControlPointFollowsTheFingerInItsLayerAndOneUndoPutsItBack) {
  RelationshipView* r = canvas->createRelationshipBetweenNode(a1, 1, b, 1, Point(), RGB255{255, 0, 0});
  ASSERT_NE(r, nullptr);
  canvas->setSelectedNode(b, true);  // shows the handle
  kit::RunLoop::main().runOnce();
  doc.undoManager()->removeAllActions();
  const Point c0 = r->center();
  const Point p = canvas->convertPointToView(c0, &window);
  script.down(p);
  script.move(Point(p.x + 40, p.y - 20));
  script.move(Point(p.x + 60, p.y - 30));
  EXPECT_EQ(canvas->draggingRelationship(), r);
  EXPECT_EQ(r->center(), canvas->convertPointFromView(Point(p.x + 60, p.y - 30), &window));
  ASSERT_NE(canvas->linkLayer(), nullptr);
  EXPECT_EQ(canvas->canvasLayer().sublayers().back().get(), canvas->linkLayer());
  EXPECT_FALSE(canvas->linkLayer()->path().isEmpty());
  script.up(Point(p.x + 60, p.y - 30));
  EXPECT_EQ(canvas->linkLayer(), nullptr);
  EXPECT_TRUE(canvas->canvasLayer().sublayers().empty());
  EXPECT_EQ(doc.undoManager()->undoCount(), 1u);
  undo();
  EXPECT_EQ(r->center(), c0);
}

TEST_F(DragTest, ResizeGripStepsWidthAndFontSizeAsOneUndoAndOffersItsMenus) {
  // The read-out shows only while a resize goes on, not from the start.
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 0.0f);
  canvas->setSelectedNode(a1, true);  // right of the central topic, a child and no siblings
  kit::View* grip = canvas->topicResizeTool();
  const kit::Rect f = a1->getAdjustedNodeShapeFrame();
  // Inner top corner on the shape's lower outer corner (a rectangle here).
  EXPECT_EQ(grip->center(), Point(std::round(f.maxX() + 24), std::round(f.maxY() + 24)));
  const float w0 = a1->getDisplayWidth(), font0 = a1->getDisplayFontSize();
  const Point g = grip->convertPointToView(grip->bounds().mid(), &window);
  // Jitter on the grip is a tap: the read-out, Auto-size and nothing to undo.
  script.down(g);
  script.move(Point(g.x + 4, g.y - 3));
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 0.0f);
  script.up(Point(g.x + 4, g.y - 3));
  EXPECT_EQ(canvas->menuOptions(), MenuOption::AutoSize);
  EXPECT_EQ(a1->getDisplayWidth(), w0);
  kit::RunLoop::main().runOnce();
  EXPECT_FALSE(doc.undoManager()->canUndo());
  // The read-out of that tap would hide after 2 s; a resize begun meanwhile keeps it up.
  script.wait(1.5);
  script.down(g);
  script.move(Point(g.x + 20, g.y + 15));  // past the slop sideways: the resize begins; 15 down is no step
  const float w1 = a1->getDisplayWidth();
  EXPECT_EQ(a1->getDisplayFontSize(), font0);
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 1.0f);
  script.wait(1.0);
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 1.0f);
  script.move(Point(g.x + 50, g.y + 16));  // 30 more sideways, 16 down in all: one step
  EXPECT_EQ(a1->getDisplayWidth(), w1 + 30);
  EXPECT_EQ(a1->getDisplayFontSize(), font0 + 4);
  script.move(Point(g.x + 50, g.y + 26));  // a new count: 10 more is no step
  EXPECT_EQ(a1->getDisplayFontSize(), font0 + 4);
  script.up(Point(g.x + 50, g.y + 26));
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 0.0f);
  EXPECT_EQ(canvas->menuOptions(), MenuOption::ApplyToChildren);  // a child, no siblings
  EXPECT_EQ(canvas->menuOptionsContext(), 2);
  undo();
  EXPECT_EQ(a1->getDisplayWidth(), w0);
  EXPECT_EQ(a1->getDisplayFontSize(), font0);

  // A left-hand topic narrows when its grip goes right; a leaf whose siblings have children.
  NodeView* left = make(root, at(250, 400), "A rather long left-hand topic name");
  canvas->setSelectedNode(left, true);
  EXPECT_LT(grip->center().x, left->getAdjustedNodeShapeFrame().minX());
  const Point lg = grip->convertPointToView(grip->bounds().mid(), &window);
  script.down(lg);
  script.move(Point(lg.x + 11, lg.y));
  const float lw = left->getDisplayWidth();
  script.move(Point(lg.x + 23, lg.y));
  EXPECT_EQ(left->getDisplayWidth(), lw - 12);
  script.up(Point(lg.x + 23, lg.y));
  EXPECT_EQ(canvas->menuOptions(), MenuOption::ApplyToSiblings | MenuOption::ApplyChildren | MenuOption::ApplyBoth);

  // A tap shows the read-out for 2 s and offers only Auto-size.
  canvas->setSelectedNode(a11, true);
  script.tap(grip->convertPointToView(grip->bounds().mid(), &window));
  EXPECT_EQ(canvas->menuOptions(), MenuOption::AutoSize);
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 1.0f);
  script.wait(1.9);
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 1.0f);
  script.wait(0.2);
  EXPECT_EQ(canvas->topicResizeIndicator()->alpha(), 0.0f);
}

// What a screen frame shows (drawn as the desktop host draws it, whatever tiles are ready): the
// tiles leave a dragged branch out, so each frame draws it under the finger.
TEST_F(DragTest, EveryFrameOfADragShowsTheDraggedBranch) {
  for (NodeView* n : {a, a1}) n->setColourWithRGB255(RGB255{220, 0, 0}, false, false);
  // The topics' pale red, just inside the left edge of a box, clear of the text.
  auto redAt = [&](const kit::Rect& box) {
    auto ic = kit::ImageContext::create(window.bounds().size, true, 1);
    kit::drawScreenFrame(ic->context(), window);
    const kit::Pixel p = *ic->image()->pixelAt(static_cast<int>(box.minX() + 4), static_cast<int>(box.midY()));
    return p.red > p.green + 20 && p.red > p.blue + 20;
  };
  auto shape = [&](NodeView* n) { return canvas->convertRectToView(n->getAdjustedNodeShapeFrame(), &window); };
  script.down(on(a));
  script.move(Point(on(a).x + 30, on(a).y + 40));
  script.move(Point(on(a).x + 10, on(a).y + 10));
  ASSERT_EQ(canvas->draggingTopic(), a);
  EXPECT_TRUE(redAt(shape(a)));
  EXPECT_TRUE(redAt(shape(a1)));
  script.up(on(a));

  // A lifted topic, grown, follows the finger too.
  script.wait(1);
  liftAndMove(a, {Point(on(a).x - 20, on(a).y + 60), Point(on(a).x - 20, on(a).y + 60)});
  ASSERT_EQ(canvas->draggingTopic(), a);
  EXPECT_TRUE(redAt(a->convertRectToView(a->bounds(), &window).insetBy(8, 8)));
  script.cancel(on(a));
}

TEST_F(DragTest, ASelectedRelationshipShowsItsControlHandle) {
  RelationshipView* r = canvas->createRelationshipBetweenNode(a, 1, b, 1, Point(200, 120), RGB255{0, 160, 0});
  ASSERT_NE(r, nullptr);
  canvas->setSelectedNode(a, true);
  ASSERT_EQ(r->alpha(), 1.0f);
  const Point handle = canvas->convertPointToView(r->center(), &window);
  ASSERT_TRUE(window.bounds().contains(handle));
  auto ic = kit::ImageContext::create(window.bounds().size, true, 1);
  kit::drawScreenFrame(ic->context(), window);
  const kit::Pixel p = *ic->image()->pixelAt(static_cast<int>(handle.x), static_cast<int>(handle.y));
  const kit::Pixel background = *ic->image()->pixelAt(5, 5);
  EXPECT_FALSE(p.red == background.red && p.green == background.green && p.blue == background.blue);
}

}  // namespace
