// The popup menu on the map: which items each set of options shows, the commands they run, and
// undo of each command restoring the native XML exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/run_loop.h"
#include "kit/core/undo_manager.h"
#include "kit/core/user_defaults.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/menu_controller.h"

using kit::Point;

namespace {

class PopupMenuTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    kit::UserDefaults::standard().setBool("ui_crosshair_enabled", true);
    doc.setMapSetting("KeepOrganised", false);
    canvas = doc.bigView();
    scroll.setContentView(canvas);
    window.addSubview(&scroll);
    root = make(nullptr, Point(), "Central");
    const Point o(root->center().x - 500, root->center().y - 400);
    scroll.setContentOffset(o);
    a = make(root, Point(o.x + 700, o.y + 300), "Main A");
    b = make(root, Point(o.x + 700, o.y + 500), "Main B");
    a1 = make(a, Point(o.x + 850, o.y + 300), "Sub A1");
    a11 = make(a1, Point(o.x + 1000, o.y + 300), "Leaf A11");
    canvas->setSelectedNode(root, true);
    canvas->evaluateDisplayAttributesForSelectedBranchAndRedraw();  // settled: undo compares exactly
    kit::RunLoop::main().runOnce();
    doc.undoManager()->removeAllActions();
    uuidA = a->uuid();
    uuidB = b->uuid();
    uuidA1 = a1->uuid();
    uuidA11 = a11->uuid();
  }
  void TearDown() override {
    canvas->hideMenuController();
    scroll.removeFromSuperview();
  }

  NodeView* make(NodeView* parent, Point at, const char* name) {
    NodeView* n = canvas->createChildNodeOf(parent, at);
    n->setStrName(name);
    n->_calcLayout();
    return n;
  }
  std::string xml() { return MapFormats::dumpMap(*canvas); }
  void undo() {
    kit::RunLoop::main().runOnce();
    ASSERT_TRUE(doc.undoManager()->undo());
  }
  // Shows the menu for the options over the selected topic; returns the titles on show.
  std::vector<std::string> offer(std::uint32_t options) {
    kit::RunLoop::main().runOnce();  // each command its own undo step
    canvas->setMenuOptions(options);
    canvas->showPopupMenuForRect(kit::Rect(canvas->rootNode()->center().x, canvas->rootNode()->center().y, 40, 20));
    return shown();
  }
  std::vector<std::string> shown() const {
    std::vector<std::string> titles;
    for (const kit::MenuItem& m : menu.visibleItems()) titles.push_back(m.title);
    return titles;
  }
  void choose(const char* title) { ASSERT_TRUE(menu.chooseItem(title)) << title; }
  // A lifted topic carried over foster (nil: the background), waiting for the drop menu.
  void drop(NodeView* dragged, NodeView* foster, Point at) {
    kit::RunLoop::main().runOnce();  // each drop its own undo step
    canvas->setDragDropNode(dragged);
    canvas->setSelectedNode(nullptr, true);
    dragged->moveTo(at, true);
    canvas->setFosterNode(foster);
  }

  kit::MenuController& menu = kit::MenuController::shared();
  PseudoMapViewController doc;
  BigView* canvas = nullptr;
  kit::Window window{kit::Rect(0, 0, 1200, 800)};
  MapScrollView scroll{kit::Rect(0, 0, 1200, 800)};
  kit::EventScript script{window};
  NodeView *root = nullptr, *a = nullptr, *b = nullptr, *a1 = nullptr, *a11 = nullptr;
  std::string uuidA, uuidB, uuidA1, uuidA11;
};

// A responder behind the canvas that would take any action.
struct GreedyScrollView : MapScrollView {
  using MapScrollView::MapScrollView;
  bool canPerformAction(std::string_view, const void*) const override { return true; }
};

TEST_F(PopupMenuTest, TheCanvasTakesOnlyTheActionsOfItsMenuWhateverIsBehindIt) {
  GreedyScrollView greedy{kit::Rect(0, 0, 1200, 800)};
  scroll.setContentView(nullptr);
  greedy.setContentView(canvas);
  window.addSubview(&greedy);
  EXPECT_EQ(offer(MenuOption::Copy | MenuOption::Delete), (std::vector<std::string>{"Copy", "Delete"}));
  EXPECT_TRUE(canvas->canPerformAction("_copy:", nullptr));
  EXPECT_FALSE(canvas->canPerformAction("_cut:", nullptr));
  EXPECT_FALSE(canvas->canPerformAction("copy:", nullptr));
  EXPECT_FALSE(canvas->canPerformAction("selectAll:", nullptr));
  canvas->hideMenuController();
  greedy.setContentView(nullptr);
  greedy.removeFromSuperview();
  scroll.setContentView(canvas);
}

TEST_F(PopupMenuTest, TapsOfferTheTopicAndBackgroundMenusThroughTheSharedMenu) {
  script.tap(canvas->convertPointToView(a->center(), &window));
  script.wait(0.6);
  script.tap(canvas->convertPointToView(a->center(), &window));
  script.wait(0.6);
  ASSERT_TRUE(menu.isMenuVisible());
  EXPECT_EQ(shown(), (std::vector<std::string>{"Cut", "Copy", "Delete", "Align"}));
  // A tap on the background closes it and does no more.
  const Point empty = canvas->convertPointToView(Point(root->center().x - 300, root->center().y + 300), &window);
  script.tap(empty);
  script.wait(0.6);
  EXPECT_FALSE(menu.isMenuVisible());
  EXPECT_EQ(canvas->menuOptions(), 0u);
  script.tap(empty);
  script.wait(0.6);
  EXPECT_EQ(shown(), std::vector<std::string>{"New Floating Topic"});
  const std::string before = xml();
  choose("New Floating Topic");
  ASSERT_NE(canvas->selectedNode(), nullptr);
  EXPECT_TRUE(canvas->selectedNode()->isFloating());
  EXPECT_EQ(canvas->selectedNode()->parentNode(), root);
  canvas->selectedNode()->inPlaceEdit(false);
  // A floating topic's own menu offers Cut and Delete as any leaf's does.
  script.tap(canvas->convertPointToView(canvas->selectedNode()->center(), &window));
  script.wait(0.6);
  EXPECT_EQ(shown(), (std::vector<std::string>{"Cut", "Copy", "Delete"}));
  canvas->hideMenuController();
  undo();
  EXPECT_EQ(xml(), before);
}

TEST_F(PopupMenuTest, DeleteRunsBeforeTheMenuHidesThenOffersTopicOrBranchAndUndoRestores) {
  canvas->setSelectedNode(a1, true);
  const std::string before = xml();
  offer(MenuOption::Delete | MenuOption::Copy);
  choose("Delete");
  // The action set the sub-menu before the hide; did-hide keeps it for 0.1 s later.
  EXPECT_FALSE(menu.isMenuVisible());
  EXPECT_EQ(canvas->menuOptions(), MenuOption::DeleteTopic | MenuOption::DeleteBranch);
  script.wait(0.05);
  EXPECT_FALSE(menu.isMenuVisible());
  script.wait(0.1);
  ASSERT_TRUE(menu.isMenuVisible());
  EXPECT_EQ(shown(), (std::vector<std::string>{"Delete Topic", "Delete Branch"}));
  choose("Delete Topic");
  EXPECT_EQ(canvas->menuOptions(), 0u);
  EXPECT_EQ(canvas->getNodeByUUID(uuidA1), nullptr);
  EXPECT_EQ(a11->parentNode(), a);  // its child moved up
  undo();
  EXPECT_EQ(xml(), before);

  // A leaf goes at once, branch and all.
  canvas->setSelectedNode(canvas->getNodeByUUID(uuidB), true);
  offer(MenuOption::Delete);
  choose("Delete");
  EXPECT_EQ(canvas->getNodeByUUID(uuidB), nullptr);
  EXPECT_EQ(canvas->menuOptions(), 0u);
  script.wait(0.2);
  EXPECT_FALSE(menu.isMenuVisible());
  undo();
  EXPECT_EQ(xml(), before);

  // A topic whose only children are callouts is asked about too.
  NodeView* leaf = canvas->getNodeByUUID(uuidA11);
  NodeView* callout = canvas->createChildNodeOf(leaf, Point(leaf->center().x + 40, leaf->center().y - 60));
  callout->setIsCallout(true, false);
  canvas->setSelectedNode(leaf, true);
  offer(MenuOption::Delete);
  choose("Delete");
  script.wait(0.1);
  EXPECT_EQ(shown(), (std::vector<std::string>{"Delete Topic", "Delete Branch"}));
  EXPECT_EQ(canvas->getNodeByUUID(uuidA11), leaf);
}

TEST_F(PopupMenuTest, CutCopyAndPasteGoThroughTheTopicClipboard) {
  const std::string before = xml();
  canvas->setSelectedNode(a1, true);
  offer(MenuOption::Copy);
  choose("Copy");
  canvas->setSelectedNode(b, true);
  offer(MenuOption::Paste);
  choose("Paste");
  ASSERT_EQ(b->childNodes().size(), 1u);
  NodeView* copy = b->childNodes()[0].get();
  EXPECT_EQ(copy->strName(), "Sub A1");
  EXPECT_NE(copy->uuid(), uuidA1);
  ASSERT_EQ(copy->childNodes().size(), 1u);
  EXPECT_EQ(copy->childNodes()[0]->strName(), "Leaf A11");
  undo();
  EXPECT_EQ(xml(), before);

  canvas->setSelectedNode(canvas->getNodeByUUID(uuidA1), true);
  offer(MenuOption::Cut);
  choose("Cut");
  EXPECT_EQ(canvas->getNodeByUUID(uuidA1), nullptr);
  undo();
  EXPECT_EQ(xml(), before);
}

TEST_F(PopupMenuTest, DropMenuMovesMergesFloatsAndItsDismissalPutsTheTopicBack) {
  const std::string before = xml();
  const Point home = b->center();
  // Dismissed: back where it was, and selected.
  drop(b, a1, Point(a1->center().x + 20, a1->center().y + 10));
  offer(MenuOption::Move | MenuOption::Merge | MenuOption::Copy);
  EXPECT_EQ(shown(), (std::vector<std::string>{"Copy", "Move", "Merge"}));
  script.tap(Point(5, 795));
  EXPECT_EQ(b->center(), home);
  EXPECT_EQ(canvas->selectedNode(), b);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  // Escape dismisses it too; a touch on another topic keeps the selection that touch gave.
  for (bool escape : {true, false}) {
    drop(b, a1, Point(a1->center().x + 20, a1->center().y + 10));
    offer(MenuOption::Move);
    escape ? script.key(kit::Key::Escape) : script.tap(canvas->convertPointToView(a->center(), &window));
    EXPECT_EQ(b->center(), home);
    EXPECT_EQ(canvas->selectedNode(), escape ? b : a);
  }
  EXPECT_EQ(xml(), before);

  // Onto its own branch: refused, and the closing menu puts it back.
  const Point homeA = a->center();
  drop(a, a11, Point(a11->center().x, a11->center().y + 5));
  offer(MenuOption::Move);
  choose("Move");
  EXPECT_EQ(a->parentNode(), root);
  EXPECT_EQ(a->center(), homeA);
  EXPECT_EQ(xml(), before);

  // The drop menu's "Copy", after a real lift: the topic goes back and a copy of its branch
  // hangs from the topic under it; undo takes the copy away, then the lift's step.
  const std::size_t a1Children = a1->getChildTopicCount();
  script.down(canvas->convertPointToView(b->center(), &window));
  script.wait(0.7);
  ASSERT_EQ(canvas->dragDropNode(), b);
  const Point onA1 = canvas->convertPointToView(a1->center(), &window);
  script.move(onA1);
  script.up(onA1);
  choose("Copy");
  EXPECT_EQ(b->parentNode(), root);
  ASSERT_EQ(a1->getChildTopicCount(), a1Children + 1);
  EXPECT_EQ(a1->childNodes().back()->strName(), "Main B");
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  EXPECT_EQ(canvas->fosterNode(), nullptr);
  undo();
  undo();
  EXPECT_EQ(xml(), before);
  a1 = canvas->getNodeByUUID(uuidA1);
  a11 = canvas->getNodeByUUID(uuidA11);
  b = canvas->getNodeByUUID(uuidB);
  root = canvas->rootNode();

  // Move: under a1, 10 pt below its lowest child on that side.
  drop(b, a1, Point(a1->center().x + 20, a1->center().y + 10));
  offer(MenuOption::Move | MenuOption::Merge | MenuOption::Copy);
  std::string atDrop = xml();
  choose("Move");
  EXPECT_EQ(b->parentNode(), a1);
  EXPECT_EQ(canvas->selectedNode(), b);
  EXPECT_GT(b->frame().minY(), a11->frame().maxY());  // below the lowest child, sibling space made
  undo();
  EXPECT_EQ(xml(), atDrop);

  // Merge: an empty name leaves the target's alone, notes join, a link comes only to a topic
  // without one, and the dropped topic's children stay under the target.
  a = canvas->getNodeByUUID(uuidA);
  b = canvas->getNodeByUUID(uuidB);
  a1 = canvas->getNodeByUUID(uuidA1);
  b->setStrName("");
  b->setStrNote("note B");
  b->setStrLink("http://b.example");
  a->setStrNote("note A");
  NodeView* b1 = canvas->createChildNodeOf(b, Point(b->center().x + 150, b->center().y));
  drop(b, a, Point(a->center().x, a->center().y + 5));
  atDrop = xml();
  offer(MenuOption::Merge);
  choose("Merge");
  EXPECT_EQ(canvas->getNodeByUUID(uuidB), nullptr);
  EXPECT_EQ(a->strName(), "Main A");
  EXPECT_EQ(a->strNote(), "note A\nnote B");
  EXPECT_EQ(a->strLink(), "http://b.example");
  EXPECT_EQ(b1->parentNode(), a);
  undo();
  EXPECT_EQ(xml(), atDrop);

  // Float: a1 hangs from the central topic as a floating topic and keeps its place.
  a1 = canvas->getNodeByUUID(uuidA1);
  drop(a1, nullptr, Point(a1->center().x, a1->center().y + 200));
  atDrop = xml();
  const Point place = a1->center();
  offer(MenuOption::Float | MenuOption::FloatACopy | MenuOption::Delete);
  EXPECT_EQ(shown(), (std::vector<std::string>{"Delete", "Float", "Float a Copy"}));
  choose("Float");
  EXPECT_TRUE(a1->isFloating());
  EXPECT_EQ(a1->parentNode(), canvas->rootNode());
  EXPECT_EQ(a1->center(), place);
  EXPECT_EQ(canvas->selectedNode(), a1);
  undo();
  EXPECT_EQ(xml(), atDrop);

  // A lifted callout floats as a topic of its own, no longer a callout.
  a1 = canvas->getNodeByUUID(uuidA1);
  a1->setIsCallout(true, false);
  drop(a1, nullptr, Point(a1->center().x, a1->center().y + 200));
  offer(MenuOption::Float);
  choose("Float");
  EXPECT_TRUE(a1->isFloating());
  EXPECT_FALSE(a1->isCallout());
}

TEST_F(PopupMenuTest, AlignFoldAndSizeCommandsOfferTheirSubMenusAndUndoRestores) {
  const std::string before = xml();
  // Align on a topic with siblings and children: the sub-menu, then "Below" stacks b under a.
  canvas->setSelectedNode(a, true);
  offer(MenuOption::Align);
  choose("Align");
  EXPECT_EQ(canvas->menuOptions(), MenuOption::Above | MenuOption::Below | MenuOption::Justify |
                                       MenuOption::AlignChildren);
  script.wait(0.15);
  EXPECT_EQ(shown(), (std::vector<std::string>{"Justify", "Above", "Below", "Children"}));
  choose("Below");
  EXPECT_GT(b->center().y, a->center().y);
  undo();
  EXPECT_EQ(xml(), before);

  // "Show" records nothing and offers "Realign"; "All" records a step.
  a1 = canvas->getNodeByUUID(uuidA1);
  a1->fold();
  canvas->setSelectedNode(a1, true);
  kit::RunLoop::main().runOnce();
  doc.undoManager()->removeAllActions();
  offer(MenuOption::Show | MenuOption::Level1);
  choose("Show");
  EXPECT_FALSE(a1->isFolded());
  EXPECT_EQ(canvas->menuOptions(), MenuOption::Realign);
  kit::RunLoop::main().runOnce();
  EXPECT_FALSE(doc.undoManager()->canUndo());
  script.wait(0.15);
  EXPECT_EQ(shown(), std::vector<std::string>{"Realign"});
  canvas->hideMenuController();
  a1->fold();
  const std::string folded = xml();
  offer(MenuOption::LevelAll);
  choose("All");
  EXPECT_FALSE(a1->isFolded());
  undo();
  EXPECT_EQ(xml(), folded);

  // Auto-size on a topic with children and siblings, then "Apply To Children" with the
  // resize tool's values (context 2): the whole branch below takes width and font size.
  canvas->hideMenuController();
  a = canvas->getNodeByUUID(uuidA);
  canvas->setSelectedNode(a, true);
  offer(MenuOption::AutoSize);
  choose("Auto-size");
  EXPECT_EQ(canvas->menuOptions(), MenuOption::ApplyToChildren | MenuOption::ApplySiblings | MenuOption::ApplyBoth);
  EXPECT_EQ(canvas->menuOptionsContext(), 1);
  canvas->hideMenuController();
  a->setWidth(200, false, false);
  a->setFontSize(20, false, false);
  canvas->setMenuOptionsContext(2);
  const std::string sized = xml();
  kit::RunLoop::main().runOnce();
  offer(MenuOption::ApplyToChildren);
  choose("Apply To Children");
  NodeView* leaf = canvas->getNodeByUUID(uuidA11);
  EXPECT_EQ(canvas->getNodeByUUID(uuidA1)->getWidth(), 200);
  EXPECT_EQ(leaf->getFontSize(), 20);
  EXPECT_EQ(canvas->getNodeByUUID(uuidB)->getWidth(), 0);
  undo();  // one step for both setters over the branch
  EXPECT_EQ(xml(), sized);
  // "Siblings" reaches the parent's children only; "Both" their branches too.
  canvas->setSelectedNode(canvas->getNodeByUUID(uuidA), true);
  offer(MenuOption::ApplySiblings);
  choose("Siblings");
  EXPECT_EQ(canvas->getNodeByUUID(uuidB)->getFontSize(), 20);
  EXPECT_EQ(canvas->getNodeByUUID(uuidA1)->getFontSize(), 0);
  offer(MenuOption::ApplyBoth);
  choose("Both");
  EXPECT_EQ(canvas->getNodeByUUID(uuidA1)->getWidth(), 200);
  undo();
  undo();
  EXPECT_EQ(xml(), sized);

  // A leaf whose sibling has children: "Apply To Siblings", "Children" and "Both".
  canvas->setSelectedNode(canvas->getNodeByUUID(uuidB), true);
  offer(MenuOption::AutoSize);
  choose("Auto-size");
  EXPECT_EQ(canvas->menuOptions(), MenuOption::ApplyToSiblings | MenuOption::ApplyChildren | MenuOption::ApplyBoth);
}

}  // namespace
