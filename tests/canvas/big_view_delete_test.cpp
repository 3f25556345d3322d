#include <random>
#include <set>

#include "canvas/canvas_test_support.h"
#include "kit/core/run_loop.h"

using kit::Point;

namespace {

// Every topic of the tree is a subview of the canvas, every child points back at its parent,
// and nothing else is on the canvas besides its four tools.
void expectConsistent(BigView& canvas) {
  std::set<const kit::View*> topics;
  if (NodeView* root = canvas.rootNode()) {
    EXPECT_EQ(root->parentNode(), nullptr);
    for (NodeView* n : root->getListOfDescendents()) {
      topics.insert(n);
      EXPECT_EQ(n->superview(), &canvas);
      for (const auto& c : n->childNodes()) EXPECT_EQ(c->parentNode(), n);
    }
  }
  std::size_t tools = 0;
  for (kit::View* v : canvas.subviews())
    if (!topics.count(v)) ++tools;
  EXPECT_EQ(tools, 4u);
  EXPECT_EQ(canvas.subviewCount(), topics.size() + 4);
  for (NodeView* p : {canvas.selectedNode(), canvas.dragDropNode(), canvas.fosterNode(), canvas.lastLoadedRootNode()})
    if (p) {
      EXPECT_TRUE(topics.count(p)) << "a pointer to a removed topic";
    }
}

}  // namespace

TEST_F(CanvasTest, DeletingTheRootDoesNothing) {
  NodeView* root = make(nullptr, Point());
  make(root, Point(100, 100));
  canvas->deleteBranch(root);
  canvas->deleteTopic(root);
  EXPECT_EQ(canvas->rootNode(), root);
  EXPECT_EQ(canvas->getTopicCount(nullptr), 2);
}

TEST_F(CanvasTest, DeleteBranchSelectsTheNearestSiblingOrTheParent) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* a = make(root, Point(c.x + 300, c.y - 100));
  NodeView* b = make(root, Point(c.x + 300, c.y));
  NodeView* bChild = make(b, Point(c.x + 500, c.y));
  NodeView* left = make(root, Point(c.x - 300, c.y + 1));  // other side: never chosen
  canvas->setSelectedNode(bChild, false);
  canvas->deleteBranch(b);
  EXPECT_EQ(canvas->selectedNode(), a);
  EXPECT_EQ(canvas->getTopicCount(nullptr), 3);
  EXPECT_EQ(doc.ensureVisibleCalls.back(), a);
  canvas->deleteBranch(left);
  EXPECT_EQ(canvas->selectedNode(), root);  // no sibling on its side
  expectConsistent(*canvas);
}

TEST_F(CanvasTest, DeletingTheLastChildRelaysOutTheParentOnly) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* p = canvas->createChildNodeOf(root, Point(c.x + 300, c.y));  // 10 x 10, not laid out
  NodeView* k1 = make(p, Point(c.x + 500, c.y - 50));
  NodeView* k2 = make(p, Point(c.x + 500, c.y + 50));
  canvas->deleteBranch(k1);
  EXPECT_EQ(p->bounds().size, kit::Size(10, 10));
  canvas->deleteBranch(k2);
  // Laid out now: a second layout changes nothing.
  const kit::Size laidOut = p->bounds().size;
  EXPECT_NE(laidOut, kit::Size(10, 10));
  p->_calcLayout();
  EXPECT_EQ(p->bounds().size, laidOut);
}

TEST_F(CanvasTest, NearestSiblingComparesWholePointDistances) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* t = make(root, Point(c.x + 300, c.y));
  NodeView* first = make(root, Point(c.x + 300, c.y + 100));
  NodeView* second = make(root, Point(c.x + 300, c.y + 100));
  // 10.4 above and 10.6 below both count as 10: the first in child order wins.
  first->setCenter(Point(c.x + 300, c.y - 10.4f));
  second->setCenter(Point(c.x + 300, c.y + 10.6f));
  EXPECT_EQ(canvas->findNearestVisibleSibling(t), first);
  EXPECT_EQ(canvas->findNearestVisibleSibling(root), nullptr);
}

TEST_F(CanvasTest, RemovingTheSelectedBranchClearsEveryPointerIntoIt) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* a = make(root, Point(c.x + 300, c.y));
  NodeView* deep = make(make(a, Point(c.x + 500, c.y)), Point(c.x + 700, c.y));
  NodeView* other = make(root, Point(c.x - 300, c.y));
  canvas->setSelectedNode(deep, true);
  canvas->setDragDropNode(a);
  canvas->setFosterNode(other);
  canvas->setLastLoadedRootNode(deep);
  canvas->removeNode(a);
  EXPECT_EQ(canvas->selectedNode(), nullptr);
  EXPECT_EQ(canvas->dragDropNode(), nullptr);
  EXPECT_EQ(canvas->lastLoadedRootNode(), nullptr);
  EXPECT_EQ(canvas->fosterNode(), other);  // pointers outside the branch survive
  EXPECT_EQ(canvas->topicResizeTool()->alpha(), 0.0f);
  EXPECT_EQ(root->childNodes().size(), 1u);
  canvas->removeNode(other);
  EXPECT_EQ(canvas->fosterNode(), nullptr);
  expectConsistent(*canvas);
}

TEST_F(CanvasTest, RemovingTheRootEmptiesTheCanvas) {
  NodeView* root = make(nullptr, Point());
  make(make(root, Point(100, 100)), Point(200, 200));
  canvas->removeNode(root);
  EXPECT_EQ(canvas->rootNode(), nullptr);
  EXPECT_EQ(canvas->selectedNode(), nullptr);
  EXPECT_EQ(canvas->getTopicCount(nullptr), 0);
  EXPECT_EQ(canvas->subviewCount(), 4u);
}

TEST_F(CanvasTest, DeleteTopicMergesAllKindsOfChildrenIntoTheParent) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* a = make(root, Point(c.x + 300, c.y));
  NodeView* n = make(a, Point(c.x + 500, c.y));
  NodeView* co = make(a, Point(c.x + 500, c.y - 80));
  co->setIsCallout(true, false);
  NodeView* fl = make(a, Point(c.x + 500, c.y + 300));
  fl->setIsFloating(true, false);
  canvas->setSelectedNode(a, false);
  canvas->deleteTopic(a);
  ASSERT_EQ(root->childNodes().size(), 3u);
  EXPECT_EQ(root->childNodes()[0].get(), n);
  EXPECT_EQ(root->childNodes()[1].get(), co);
  EXPECT_EQ(root->childNodes()[2].get(), fl);
  EXPECT_EQ(n->parentNode(), root);
  EXPECT_EQ(canvas->selectedNode(), root);
  // The branch moved by the horizontal distance to the parent; floating children stayed.
  EXPECT_EQ(n->center(), Point(c.x + 200, c.y));
  EXPECT_EQ(fl->center(), Point(c.x + 500, c.y + 300));
  expectConsistent(*canvas);
}

TEST_F(CanvasTest, MergingAFoldedTopicUnfoldsItFirst) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* a = make(root, Point(c.x + 300, c.y));
  NodeView* n = make(a, Point(c.x + 500, c.y));
  a->fold();
  EXPECT_EQ(n->alpha(), 0.0f);
  canvas->mergeNodeChildren(a);
  EXPECT_EQ(n->parentNode(), root);
  EXPECT_EQ(n->alpha(), 1.0f);
}

TEST_F(CanvasTest, DeleteTopicThenEditParentSnapshotsFirst) {
  NodeView* root = make(nullptr, Point());
  make(root, Point(100, 100));
  canvas->deleteTopicThenEditParent();
  EXPECT_EQ(doc.snapshots, 1);
  EXPECT_EQ(canvas->selectedNode(), root);
  EXPECT_EQ(canvas->getTopicCount(nullptr), 1);
}

TEST_F(CanvasTest, ToggleFoldRecordsAndFlips) {
  NodeView* root = make(nullptr, Point());
  NodeView* a = make(root, Point(100, 100));
  make(a, Point(200, 200));
  canvas->toggleFoldState(a);
  EXPECT_TRUE(a->isFolded());
  canvas->toggleFoldState(a);
  EXPECT_FALSE(a->isFolded());
  ASSERT_EQ(doc.records.size(), 2u);
  EXPECT_EQ(doc.records[0].action, "toggle-fold");
  EXPECT_EQ(doc.records[0].details["uuid"].string(), a->uuid());
}

TEST_F(CanvasTest, ExpandToADepth) {
  NodeView* root = make(nullptr, Point());
  NodeView* a = make(root, Point(100, 100));
  NodeView* b = make(a, Point(200, 200));
  NodeView* c = make(b, Point(300, 300));
  make(c, Point(400, 400));
  canvas->recursivelyExpandNodesFrom(root, 2);
  EXPECT_FALSE(root->isFolded());
  EXPECT_FALSE(a->isFolded());
  EXPECT_TRUE(b->isFolded());
  EXPECT_EQ(c->alpha(), 0.0f);
  canvas->recursivelyExpandNodesFrom(root, -1);
  EXPECT_FALSE(b->isFolded());
  EXPECT_FALSE(c->isFolded());
  EXPECT_EQ(c->alpha(), 1.0f);
}

TEST_F(CanvasTest, ExpandingAVeryDeepChainNeitherRecursesNorWalksAgain) {
  NodeView* root = canvas->createChildNodeOf(nullptr, Point());
  std::vector<NodeView*> chain{root};
  for (int i = 0; i < 300000; ++i) chain.push_back(canvas->createLoadedChildOf(chain.back(), Point(1, 1), ""));
  for (NodeView* n : chain) n->setFoldedWithoutVisibility(true);
  root->recursivelyUpdateVisiblity();
  ASSERT_TRUE(chain[1]->isFolded());
  ASSERT_EQ(chain.back()->alpha(), 0.0f);
  canvas->recursivelyExpandNodesFrom(root, -1);
  EXPECT_FALSE(chain[chain.size() - 2]->isFolded());
  EXPECT_EQ(chain.back()->alpha(), 1.0f);
  // Folded again 100,000 levels down: what lies below is hidden, what lies above is not.
  canvas->recursivelyExpandNodesFrom(root, 100000);
  EXPECT_TRUE(chain[100000]->isFolded());
  EXPECT_EQ(chain[100000]->alpha(), 1.0f);
  EXPECT_EQ(chain[100001]->alpha(), 0.0f);
  EXPECT_EQ(chain.back()->alpha(), 0.0f);
  // The fold menu measures the branch's depth as deep as it goes.
  canvas->setSelectedNode(chain[1], false);
  canvas->showFoldMenu();
  EXPECT_EQ(canvas->menuOptions() & (MenuOption::Level2 | MenuOption::LevelAll), MenuOption::Level2 | MenuOption::LevelAll);
  canvas->setSelectedNode(chain[chain.size() - 3], false);
  canvas->showFoldMenu();
  EXPECT_EQ(canvas->menuOptions() & (MenuOption::Level2 | MenuOption::LevelAll), MenuOption::Level2);
}

TEST_F(CanvasTest, LookUpsAndPositionRestore) {
  NodeView* root = make(nullptr, Point());
  NodeView* a = make(root, Point(100, 100));
  NodeView* b = make(a, Point(200, 200));
  b->setStrReferenceID(std::string("ref-b"));
  EXPECT_EQ(canvas->getNodeByUUID(b->uuid()), b);
  EXPECT_EQ(canvas->getNodeByUUID("missing"), nullptr);
  EXPECT_EQ(canvas->getNodeByReferenceID("ref-b", a), b);
  EXPECT_EQ(canvas->getNodeByReferenceID("ref-b", root->childNodes()[0]->childNodes()[0].get()), b);
  EXPECT_EQ(canvas->getTopicCount(a), 2);
  kit::Value snap = a->snapshotNodePositions();
  a->moveByX(50, 50, true);
  kit::Array entries = snap.array();
  entries.push_back(kit::Value(kit::Dictionary{{"uuid", "gone"}, {"centre", Point(1, 1)}}));
  entries.push_back(kit::Value(42));
  canvas->restoreNodePositions(kit::Value(entries));
  EXPECT_EQ(a->center(), Point(100, 100));
  EXPECT_EQ(b->center(), Point(200, 200));
}

TEST_F(CanvasTest, RandomEditsKeepTheTreeAndCanvasConsistent) {
  std::mt19937 rng(1234);
  NodeView* root = make(nullptr, Point());
  for (int step = 0; step < 600; ++step) {
    std::vector<NodeView*> all = root->getListOfDescendents();
    NodeView* t = all[rng() % all.size()];
    canvas->setSelectedNode(all[rng() % all.size()], false);
    canvas->setDragDropNode(all[rng() % all.size()]);
    canvas->setFosterNode(all[rng() % all.size()]);
    switch (rng() % 9) {
      case 0: canvas->createAndEditNewChildOf(t, "c"); break;
      case 1: canvas->createAndEditNewSiblingOf(t, rng() % 2, "s"); break;
      case 2: canvas->createAndEditNewParentOf(t, "p"); break;
      case 3: canvas->createAndEditNewChildLevelOf(t, "l"); break;
      case 4: canvas->createAndEditNewCallout(t, "o"); break;
      case 5: if (all.size() > 30) canvas->deleteBranch(t); break;
      case 6: canvas->deleteTopic(t); break;
      case 7: canvas->toggleFoldState(t); break;
      case 8: canvas->createChildNodeOf(t, static_cast<int>(rng() % 3)); break;
    }
    expectConsistent(*canvas);
    if (HasFailure()) break;
  }
}

TEST_F(CanvasTest, FoldingTheSelectionAwaySelectsTheNearestVisibleTopic) {
  NodeView* root = make(nullptr, Point());
  Point c = root->center();
  NodeView* a = make(root, Point(c.x + 300, c.y));
  NodeView* hidden = make(a, Point(c.x + 500, c.y));
  make(a, Point(c.x + 500, c.y + 20));  // nearer, but folded away too
  NodeView* b = make(root, Point(c.x + 450, c.y + 40));
  canvas->setSelectedNode(hidden, true);
  a->fold();
  canvas->ensureCurrentSelectionIsOnVisibleTopic();
  EXPECT_EQ(canvas->selectedNode(), b);
  canvas->ensureCurrentSelectionIsOnVisibleTopic();  // visible: stays
  EXPECT_EQ(canvas->selectedNode(), b);
  EXPECT_EQ(canvas->getClosestVisibleNodeTo(b), a);
}

TEST_F(CanvasTest, GrowScalesTheTopicAndShrinkUndoesOnlyAnEnlargement) {
  NodeView* root = make(nullptr, Point());
  NodeView* a = make(root, Point(100, 100));
  const kit::Rect frame = a->frame();
  canvas->shrinkNode(a);  // never enlarged: no animation, no redraw to come
  EXPECT_EQ(kit::RunLoop::main().pendingPerforms(canvas.get()), 0u);
  canvas->growNode(a, 1.2f);
  EXPECT_FLOAT_EQ(a->frame().width(), frame.width() * 1.2f);
  EXPECT_EQ(a->center(), frame.mid());
  canvas->shrinkNode(a);
  EXPECT_EQ(a->frame(), frame);
  EXPECT_EQ(kit::RunLoop::main().pendingPerforms(canvas.get()), 1u);  // the redraw when it stops
}
