// Fingers on the map: the canvas inside its scroll view inside a window, driven through the one
// event door under the manual clock; undo compared on the native XML.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "helpers/float_over.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/pasteboard.h"

using kit::Point;

namespace {

class CountingDocument : public PseudoMapViewController {
 public:
  void followLinkForSelectedNode() override { ++linksFollowed; }
  void centreScreenOnRootNode() override { ++centred; }
  int linksFollowed = 0;
  int centred = 0;
};

constexpr std::uint32_t kPasteBits = MenuOption::Paste | MenuOption::PasteStyle | MenuOption::PasteAsFloating;

class GesturesTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    kit::Pasteboard::general().clear();
    kit::UserDefaults::standard().setBool("ui_crosshair_enabled", true);
    kit::UserDefaults::standard().setBool("ui_geo_create_enabled_", false);
    doc.setMapSetting("KeepOrganised", false);
    canvas = doc.bigView();
    scroll.setContentView(canvas);
    window.addSubview(&scroll);
    // Central topic at (500, 400); main topics a and b to its right, a with two levels below.
    root = make(nullptr, Point(), "Central");  // the central topic sits in the canvas's middle
    origin = Point(root->center().x - 500, root->center().y - 400);
    scroll.setContentOffset(origin);
    // Names long enough that a topic's middle lies clear of its disclosure target.
    a = make(root, at(700, 300), "Main A");
    b = make(root, at(700, 500), "Main B");
    a1 = make(a, at(850, 300), "Sub A1");
    make(a1, at(1000, 300), "Leaf A11");
    for (NodeView* n : {root, a, a1}) n->_calcLayout();  // now with their disclosure targets
    canvas->setSelectedNode(root, true);
    kit::RunLoop::main().runOnce();  // closes the undo step of the set-up
    doc.undoManager()->removeAllActions();
  }
  void TearDown() override { scroll.removeFromSuperview(); }

  NodeView* make(NodeView* parent, Point at, const char* name) {
    NodeView* n = canvas->createChildNodeOf(parent, at);
    n->setStrName(name);
    n->_calcLayout();
    return n;
  }
  // Canvas points, with the central topic at (500, 400).
  Point at(float x, float y) const { return Point(origin.x + x, origin.y + y); }
  // The window point of a topic's centre, or of a point given in canvas coordinates.
  Point on(const NodeView* n) const { return canvas->convertPointToView(n->center(), &window); }
  Point onCanvas(Point p) const { return canvas->convertPointToView(p, &window); }
  Point onDisclosure(NodeView* n) const {
    return n->convertPointToView(n->getDisclosureTarget().mid(), &window);
  }
  std::string xml() { return MapFormats::dumpMap(*canvas); }
  std::uint32_t menu() const { return canvas->menuOptions() & ~kPasteBits; }
  void undo() {
    kit::RunLoop::main().runOnce();
    ASSERT_TRUE(doc.undoManager()->undo());
  }

  CountingDocument doc;
  BigView* canvas = nullptr;
  kit::Window window{kit::Rect(0, 0, 1200, 800)};
  MapScrollView scroll{kit::Rect(0, 0, 1200, 800)};
  kit::EventScript script{window};
  Point origin;
  NodeView *root = nullptr, *a = nullptr, *b = nullptr, *a1 = nullptr;
};

TEST_F(GesturesTest, QuickTapSelectsAtOnceAndOpensTheMenuOnlyOnTheSelectedTopic) {
  script.down(on(a));
  EXPECT_EQ(canvas->selectedNode(), a);  // at touch-down
  script.wait(0.05);
  script.up(on(a));
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), 0u);

  script.tap(on(a));
  script.wait(0.45);
  EXPECT_EQ(canvas->menuOptions(), 0u);  // waits for a second tap
  script.wait(0.1);
  EXPECT_EQ(menu(), MenuOption::Copy | MenuOption::Align | MenuOption::Cut | MenuOption::Delete);
  EXPECT_EQ(canvas->popupMenuRect(), a->getAdjustedNodeShapeFrame());

  // A second finger while one is followed changes nothing.
  script.wait(0.6);
  script.down(on(b));
  script.down(on(a), 2);
  script.up(on(a), 2);
  script.up(on(b));
  EXPECT_EQ(canvas->selectedNode(), b);

  // The central topic: no cut or delete; it has children, so Align.
  script.tap(on(root));
  script.wait(0.6);
  script.tap(on(root));
  script.wait(0.6);
  EXPECT_EQ(menu(), MenuOption::Copy | MenuOption::Align);
}

TEST_F(GesturesTest, SecondTapCancelsTheMenuAndADeferredTapNeverFollowsALink) {
  a->setStrLink("https://example.org");
  // Held 0.2 s: follows the link at once, selected or not.
  script.press(on(a), 0.2);
  EXPECT_EQ(doc.linksFollowed, 1);
  EXPECT_EQ(canvas->menuOptions(), 0u);
  script.wait(0.6);
  // Quick: deferred, so never the link; the topic was selected, so its menu.
  script.press(on(a), 0.1);
  script.wait(0.6);
  EXPECT_EQ(doc.linksFollowed, 1);
  EXPECT_NE(canvas->menuOptions(), 0u);
  canvas->hideMenuController();
  // A slow tap that moved 10 points along each axis is still a tap; a little more is a drag.
  script.wait(0.6);
  const Point p = on(a);
  script.down(p);
  script.wait(0.2);
  script.move(Point(p.x + 10, p.y - 10));
  script.up(Point(p.x + 10, p.y - 10));
  EXPECT_EQ(doc.linksFollowed, 2);
  script.wait(0.6);
  script.down(p);
  script.wait(0.2);
  script.move(Point(p.x, p.y + 10.5f));
  script.up(Point(p.x, p.y + 10.5f));
  EXPECT_EQ(doc.linksFollowed, 2);

  // A second tap 0.4 s after the first lifted, held long, is still the second of a double tap:
  // the editor, neither the menu nor the link.
  script.wait(0.6);
  script.tap(on(a));
  script.wait(0.4);
  script.press(on(a), 0.2);
  EXPECT_TRUE(a->isInPlaceEdit());
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), 0u);
  EXPECT_EQ(doc.linksFollowed, 2);
  a->inPlaceEdit(false);

  // A double tap on the selected topic: the pending menu goes, the editor is asked for.
  script.tap(on(b));
  script.wait(0.6);
  canvas->hideMenuController();
  EXPECT_FALSE(b->isInPlaceEdit());
  script.doubleTap(on(b));
  EXPECT_TRUE(b->isInPlaceEdit());
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), 0u);
  EXPECT_EQ(canvas->selectedNode(), b);
}

TEST_F(GesturesTest, DisclosureTapFoldsLaterAndDoubleTapOffersTheFoldMenu) {
  const std::string before = xml();
  script.tap(onDisclosure(a));
  EXPECT_EQ(canvas->selectedNode(), a);
  script.wait(0.45);
  EXPECT_FALSE(a->isFolded());
  script.wait(0.1);
  EXPECT_TRUE(a->isFolded());
  EXPECT_EQ(a1->alpha(), 0);
  undo();
  EXPECT_FALSE(a->isFolded());
  EXPECT_EQ(xml(), before);
  script.wait(0.6);
  // Kept organised, the fold relays out the map; undo puts it back exactly even when the
  // selection has moved on meanwhile.
  doc.setMapSetting("KeepOrganised", true);
  const std::string organised = (canvas->rearrangeAll(false), xml());
  script.tap(onDisclosure(a1));
  script.wait(0.6);
  ASSERT_TRUE(a1->isFolded());
  script.tap(on(b));
  undo();
  EXPECT_EQ(xml(), organised);
  doc.setMapSetting("KeepOrganised", false);
  canvas->rearrangeAll(false);
  script.wait(0.6);

  // Unfolded, two levels below: Hide, 1 Level, 2 Levels. The fold itself stays as it was.
  script.doubleTap(onDisclosure(a));
  script.wait(0.6);
  EXPECT_FALSE(a->isFolded());
  EXPECT_EQ(canvas->menuOptions(), 0x700000u);
  EXPECT_EQ(canvas->popupMenuRect(), a->convertRectToView(a->getDisclosureTarget(), canvas));
  // Folded, one level below: Show, 1 Level; three levels below: all four.
  canvas->toggleFoldState(a1);
  script.doubleTap(onDisclosure(a1));
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), 0x280000u);
  script.doubleTap(onDisclosure(root));
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), 0xF00000u);
}

TEST_F(GesturesTest, BackgroundTapClosesAnOpenMenuElseShowsTheCrosshairMenu) {
  script.tap(on(root));
  script.wait(0.6);
  ASSERT_NE(canvas->menuOptions(), 0u);
  const Point left = onCanvas(at(300, 650));
  script.tap(left);
  EXPECT_EQ(canvas->menuOptions(), 0u);  // closed at touch-down
  script.wait(0.6);
  EXPECT_FALSE(canvas->isCrosshairShown());
  EXPECT_EQ(canvas->menuOptions(), 0u);
  EXPECT_EQ(window.firstResponder(), canvas);

  script.tap(left);
  script.wait(0.45);
  EXPECT_FALSE(canvas->isCrosshairShown());
  script.wait(0.1);
  EXPECT_TRUE(canvas->isCrosshairShown());
  EXPECT_EQ(canvas->crosshairButton()->center(), at(300, 650));
  EXPECT_EQ(canvas->menuOptions(), MenuOption::NewFloatingTopic);
  EXPECT_EQ(canvas->preferredSideForNextNewTopic(), Side::Left);
  // Right of the central topic, with something to paste; the crosshair goes at touch-down.
  kit::Pasteboard::general().setString("pasted");
  script.down(onCanvas(at(900, 650)));
  EXPECT_FALSE(canvas->isCrosshairShown());
  script.up(onCanvas(at(900, 650)));
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), 0u);  // that tap closed the menu
  script.tap(onCanvas(at(900, 650)));
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), MenuOption::NewFloatingTopic | MenuOption::Paste | MenuOption::PasteAsFloating);
  EXPECT_EQ(canvas->preferredSideForNextNewTopic(), Side::Right);

  // With the crosshair setting off nothing shows.
  kit::UserDefaults::standard().setBool("ui_crosshair_enabled", false);
  script.tap(onCanvas(at(950, 700)));
  script.wait(0.6);
  script.tap(onCanvas(at(950, 700)));
  script.wait(0.6);
  EXPECT_FALSE(canvas->isCrosshairShown());
  EXPECT_EQ(canvas->menuOptions(), 0u);
}

TEST_F(GesturesTest, TheCrosshairButtonMovesTheSelectionToItAndUndoMovesItBack) {
  const std::string before = xml();
  script.tap(on(b));
  script.wait(0.6);
  canvas->hideMenuController();
  script.tap(onCanvas(at(900, 650)));
  script.wait(0.6);
  ASSERT_TRUE(canvas->isCrosshairShown());
  script.tap(onCanvas(at(900, 650)));
  EXPECT_EQ(b->center(), at(900, 650));
  EXPECT_FALSE(canvas->isCrosshairShown());
  undo();
  EXPECT_EQ(xml(), before);
}

TEST_F(GesturesTest, BackgroundDoubleTapCreatesByDirectionAndUndoDeletesIt) {
  kit::UserDefaults::standard().setBool("ui_geo_create_enabled_", true);
  // A left-hand main topic, for the mirrored sectors.
  NodeView* c = make(root, at(300, 400), "Main C");
  const std::string before = xml();
  // Where the new topic hangs, for a double tap `d` away from the selection's centre.
  auto create = [&](NodeView* s, Point d) -> NodeView* {
    canvas->setSelectedNode(s, true);
    script.doubleTap(onCanvas(Point(s->center().x + d.x, s->center().y + d.y)));
    NodeView* t = canvas->selectedNode();
    EXPECT_NE(t, s);
    return t;
  };
  // As the undo button does, editing ends first. Undo deletes the new topic and puts back every
  // place the creation and its editor changed; a new parent is undone from a whole-map snapshot.
  auto undoIt = [&](const std::string& start) {
    canvas->endEditing();
    undo();
    EXPECT_EQ(xml(), start);
    script.wait(0.6);
  };
  // Undoing a new parent restores a snapshot: topics are found again by uuid each time.
  const std::string B = b->uuid(), C = c->uuid(), R = root->uuid();
  struct Case {
    const std::string& s;
    Point d;
    const char* kind;
  };
  const Case cases[] = {
      {B, Point(100, 0), "child"},     {B, Point(-100, 0), "parent"},  {B, Point(0, -100), "sibling"},
      {B, Point(0, 100), "sibling"},   {C, Point(-100, 0), "child"},   {C, Point(100, 0), "parent"},
      {C, Point(0, 100), "sibling"},   {B, Point(300, 0), "floating"}, {R, Point(0, 150), "child"},
      {B, Point(278, 0), "child"},     {B, Point(0, 282), "floating"},
  };
  for (const Case& k : cases) {
    NodeView* s = canvas->getNodeByUUID(k.s);
    ASSERT_NE(s, nullptr);
    SCOPED_TRACE(std::string(s->strName()) + " " + k.kind);
    NodeView* oldParent = s->parentNode();
    const std::string start = xml();
    NodeView* t = create(s, k.d);
    std::string kind = t->isFloating() ? "floating"
                       : t->parentNode() == s ? "child"
                       : s->parentNode() == t ? "parent"
                       : t->parentNode() == oldParent ? "sibling"
                                                      : "?";
    EXPECT_EQ(kind, k.kind);
    undoIt(start);
  }

  // With the setting off: always a child of the selection.
  kit::UserDefaults::standard().setBool("ui_geo_create_enabled_", false);
  b = canvas->getNodeByUUID(B);
  const std::string start = xml();
  NodeView* t = create(b, Point(-100, 0));
  EXPECT_EQ(t->parentNode(), b);
  undoIt(start);
}

TEST_F(GesturesTest, LongPressLiftsInTwoStagesUnlessMovedAndNeverTheCentralTopic) {
  const std::string before = xml();
  script.down(on(b));
  script.move(Point(on(b).x + 4, on(b).y));  // within the slop: a drag and its link begin
  script.wait(0.59);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  script.wait(0.02);
  EXPECT_EQ(canvas->dragDropNode(), b);
  EXPECT_TRUE(canvas->linkLayer()->path().isEmpty());  // a lifted topic shows no link
  EXPECT_EQ(canvas->selectedNode(), nullptr);
  EXPECT_EQ(b->transform(), kit::AffineTransform::scale(1.2f, 1.2f));
  // Cancelled: it shrinks back where it was and is selected again.
  script.cancel(on(b));
  EXPECT_TRUE(b->transform().isIdentity());
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  EXPECT_EQ(canvas->selectedNode(), b);
  undo();  // the lift's "move" record
  EXPECT_EQ(xml(), before);

  // With a link the second stage waits 1.0 s.
  a->setStrLink("https://example.org");
  script.wait(1);
  script.down(on(a));
  script.wait(1.09);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  script.wait(0.02);
  EXPECT_EQ(canvas->dragDropNode(), a);
  // Let go where it was lifted: no drop; it is put back and selected.
  script.up(on(a));
  EXPECT_EQ(doc.linksFollowed, 0);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  EXPECT_EQ(canvas->selectedNode(), a);
  EXPECT_TRUE(a->transform().isIdentity());
  // The next lift, of another topic, drops that one.
  script.wait(1);
  script.down(on(b));
  script.wait(0.7);
  script.move(onCanvas(at(300, 700)));
  script.up(onCanvas(at(300, 700)));
  EXPECT_EQ(canvas->popupMenuRect(), b->getAdjustedNodeShapeFrame());
  canvas->hideMenuController();
  EXPECT_EQ(canvas->selectedNode(), b);

  // More than 10 points along one axis: no lift.
  script.wait(1);
  script.down(on(b));
  script.wait(0.05);
  script.move(Point(on(b).x, on(b).y + 10.5f));
  script.wait(1);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  script.up(Point(on(b).x, on(b).y + 10.5f));
  // The central topic.
  script.wait(1);
  script.press(on(root), 2);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  EXPECT_EQ(canvas->selectedNode(), root);
}

TEST_F(GesturesTest, CopyingABranchLeavesTheMapAsItWas) {
  // Added last, shown first clockwise: the child list is not in reading order.
  make(root, at(700, 150), "Main D");
  kit::RunLoop::main().runOnce();
  const std::string before = xml();
  for (int i = 0; i < 2; ++i) {
    script.tap(on(root));
    script.wait(0.6);
  }
  ASSERT_TRUE(kit::MenuController::shared().chooseItem("Copy"));
  script.wait(0.6);
  EXPECT_EQ(xml(), before);
  EXPECT_EQ(kit::Pasteboard::general().string(), std::optional<std::string>("- Central\n    - Main D\n    - Main A\n        - Sub A1\n            - Leaf A11\n    - Main B\n"));
}

TEST_F(GesturesTest, GesturesForATopicDeletedMeanwhileDoNothing) {
  script.tap(on(a));
  script.wait(0.6);
  script.tap(on(a));  // its menu is due in 0.5 s
  canvas->deleteBranch(a);
  ASSERT_EQ(canvas->selectedNode(), b);
  script.wait(0.6);
  EXPECT_EQ(canvas->menuOptions(), 0u);

  // Cut while pressed: the lift never comes, the finger's end reaches nothing.
  const Point p = on(b);
  script.down(p);
  script.wait(0.3);
  canvas->deleteBranch(b);
  script.wait(1);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  script.up(p);
  EXPECT_EQ(canvas->touchView(), nullptr);
  EXPECT_EQ(canvas->selectedNode(), root);
}

TEST_F(GesturesTest, ShakeCentresTheMapAndDragsPanOnlyFromTheBackground) {
  script.tap(onCanvas(at(300, 650)));
  script.wait(0.6);
  script.shake();
  EXPECT_EQ(doc.centred, 1);
  // The map's name floats over the canvas at 22 pt for 2 s.
  auto overlay = [&]() -> FloatOver* {
    for (kit::View* v = canvas->lastSubview(); v; v = v->previousSibling())
      if (auto* f = dynamic_cast<FloatOver*>(v)) return f;
    return nullptr;
  };
  ASSERT_NE(overlay(), nullptr);
  EXPECT_EQ(overlay()->szLabel(), std::optional<std::string>(doc.mapName()));
  EXPECT_EQ(overlay()->labelFontSize(), 22.0f);
  script.wait(1.9);
  EXPECT_NE(overlay(), nullptr);
  script.wait(0.2);
  EXPECT_EQ(overlay(), nullptr);

  const Point offset = scroll.contentOffset();
  script.drag({on(b), Point(on(b).x + 40, on(b).y + 40)}, 0.3);
  EXPECT_EQ(scroll.contentOffset(), offset);
  script.drag({onCanvas(at(300, 650)), onCanvas(at(260, 610))}, 0.3);
  EXPECT_NE(scroll.contentOffset(), offset);
}

}  // namespace
