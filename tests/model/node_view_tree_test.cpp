#include <gtest/gtest.h>

#include <set>

#include "model/tree_builder.h"

using kit::Point;

TEST(NodeViewCreation, DefaultsIdsAndFirstEvaluation) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  EXPECT_EQ(root->iID(), 1);
  EXPECT_EQ(a->iID(), 2);
  EXPECT_EQ(root->uuid().size(), 36u);
  EXPECT_NE(root->uuid(), a->uuid());
  EXPECT_EQ(a->nodeRect(), kit::Rect(0, 0, 10, 10));
  EXPECT_EQ(a->bounds(), kit::Rect(0, 0, 10, 10));
  EXPECT_TRUE(a->clipsToBounds());
  EXPECT_FALSE(a->clearsContextBeforeDrawing());
  EXPECT_EQ(a->percentComplete(), -1);
  EXPECT_EQ(a->getBrightness(), 1.0f);
  EXPECT_EQ(a->getShape(), TopicShape::Unset);
  EXPECT_EQ(a->getColourAsString(), "0000FE");
  EXPECT_FALSE(a->startDate().has_value());
  EXPECT_FALSE(a->_uuidImage().has_value());
  // Without a theme every theme answer is zero: black, shape 0; sizes fall to the defaults.
  EXPECT_EQ(a->getDisplayColourAsString(), "000000");
  EXPECT_EQ(a->getDisplayShape(), 0);
  EXPECT_EQ(root->getDisplayFontSize(), 18.0f);
  EXPECT_EQ(a->getDisplayFontSize(), 14.0f);
  EXPECT_EQ(a->getDisplayWidth(), 300.0f);
  EXPECT_NE(a->nodeModTally() & NodeModTally::Colour, 0u);
}

TEST(NodeViewCreation, ADeepChainIsReleasedWithoutRecursion) {
  TreeBuilder t;
  NodeView* n = t.central();
  for (int i = 0; i < 100000; ++i) n = t.add(n, "x");
  EXPECT_EQ(n->getNumberOfAncestors(), 100000);
  t.root.reset();  // must not exhaust the stack
  SUCCEED();
}

TEST(NodeViewTree, FloatingTopicsAreRootsOfTheirOwn) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* f = t.floating(root, "F");
  NodeView* fc = t.add(f, "FC");
  NodeView* fcc = t.add(fc, "FCC");
  EXPECT_TRUE(f->isRoot());
  EXPECT_EQ(f->getRoot(), f);
  EXPECT_EQ(f->getBranchRoot(), f);
  EXPECT_EQ(fc->getBranchRoot(), fc);
  EXPECT_EQ(fcc->getBranchRoot(), fc);
  EXPECT_EQ(fc->getNumberOfAncestors(), 1);
  EXPECT_EQ(fcc->getRoot(), f);
  EXPECT_EQ(f->getNumberOfAncestors(), 0);
  // The ancestor walk does not stop at floating topics.
  EXPECT_TRUE(fcc->isaChildOf(root));
  EXPECT_FALSE(root->isaChildOf(root));
  EXPECT_FALSE(fc->isaChildOf(nullptr));
}

TEST(NodeViewTree, BranchRoots) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  EXPECT_EQ(root->getBranchRoot(), nullptr);
  EXPECT_EQ(a->getBranchRoot(), a);
  EXPECT_EQ(b->getBranchRoot(), a);
  EXPECT_EQ(b->getNumberOfAncestors(), 2);
  EXPECT_EQ(root->getRoot(), root);
}

TEST(NodeViewTree, CalloutBranch) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* c = t.callout(a, "C");
  NodeView* cc = t.add(c, "CC");
  NodeView* inner = t.callout(cc, "inner");
  EXPECT_EQ(c->isOnCalloutBranch(), nullptr);
  EXPECT_EQ(cc->isOnCalloutBranch(), c);
  EXPECT_EQ(inner->isOnCalloutBranch(), c);
  EXPECT_EQ(root->isOnCalloutBranch(), nullptr);
}

TEST(NodeViewTree, FoldedBranchSparesCalloutsDirectlyBelow) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  NodeView* c = t.callout(b, "C");
  NodeView* d = t.add(c, "D");
  NodeViewTestAccess::setFolded(b, true);
  EXPECT_EQ(c->isOnFoldedBranch(), nullptr);  // a callout right under the folded topic
  EXPECT_EQ(d->isOnFoldedBranch(), nullptr);  // only b is folded, reached through the callout
  NodeViewTestAccess::setFolded(b, false);
  NodeViewTestAccess::setFolded(a, true);
  EXPECT_EQ(d->isOnFoldedBranch(), a);
  EXPECT_EQ(c->isOnFoldedBranch(), a);
  EXPECT_EQ(root->isOnFoldedBranch(), nullptr);
}

TEST(NodeViewTree, FoldingStopsAtTheFirstRoot) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* f = t.floating(root, "F");
  NodeView* fc = t.add(f, "FC");
  NodeViewTestAccess::setFolded(root, true);
  EXPECT_EQ(fc->isOnFoldedBranch(), nullptr);
  EXPECT_EQ(f->isOnFoldedBranch(), nullptr);
}

TEST(NodeViewTree, TaskCompleteSelectedAndDraggedWalksIgnoreTheTopicItself) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  b->setPercentComplete(100);
  EXPECT_EQ(b->isOnTaskCompleteBranch(), nullptr);
  a->setPercentComplete(100);
  EXPECT_EQ(b->isOnTaskCompleteBranch(), a);
  a->setPercentComplete(99);
  EXPECT_EQ(b->isOnTaskCompleteBranch(), nullptr);
  root->setIsSelected(true);
  EXPECT_EQ(b->isOnSelectedBranch(), root);  // the root is tested before the walk ends
  a->setBeingDragged(true);
  EXPECT_EQ(b->isOnDraggedBranch(), a);
  EXPECT_EQ(a->isOnDraggedBranch(), nullptr);
}

TEST(NodeViewTree, BoundaryBranchStopsAtCallouts) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* c = t.callout(a, "C");
  NodeView* cc = t.add(c, "CC");
  NodeViewTestAccess::setHasBoundary(a, true);
  EXPECT_EQ(a->isOnBoundaryBranch(), a);
  EXPECT_EQ(cc->isOnBoundaryBranch(), nullptr);
  NodeViewTestAccess::setHasBoundary(c, true);
  EXPECT_EQ(cc->isOnBoundaryBranch(), c);
}

TEST(NodeViewTree, FloatingBranch) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* f = t.floating(root, "F");
  NodeView* fc = t.add(f, "FC");
  EXPECT_EQ(fc->isOnFloatingBranch(), f);
  EXPECT_EQ(f->isOnFloatingBranch(), f);
  EXPECT_EQ(root->isOnFloatingBranch(), nullptr);
}

TEST(NodeViewTree, SidesAndPositions) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* right = t.add(root, "R", Point(1200, 900));
  NodeView* rightChild = t.add(right, "RC", Point(1000, 950));  // left of its parent
  NodeView* left = t.add(root, "L", Point(800, 1100));
  NodeView* f = t.floating(root, "F", Point(500, 500));
  NodeView* fc = t.add(f, "FC", Point(600, 500));
  EXPECT_TRUE(right->isLogicallyToRightOfRoot());
  EXPECT_TRUE(rightChild->isLogicallyToRightOfRoot());  // its main branch decides
  EXPECT_FALSE(rightChild->isToRightOfParent());
  EXPECT_FALSE(left->isLogicallyToRightOfRoot());
  EXPECT_FALSE(root->isLogicallyToRightOfRoot());
  EXPECT_FALSE(f->isLogicallyToRightOfRoot());  // against its parent
  EXPECT_TRUE(fc->isLogicallyToRightOfRoot());  // against the floating root
  EXPECT_TRUE(right->isAboveParent());
  EXPECT_FALSE(root->isAboveParent());
  EXPECT_EQ(right->getPositionRelativeToParent(), Point(200, -100));
  // A dragged topic is judged by where it is now.
  rightChild->setBeingDragged(true);
  EXPECT_FALSE(rightChild->isLogicallyToRightOfRoot());
}

TEST(NodeViewTree, PathAndSearch) {
  TreeBuilder t;
  NodeView* root = t.central("Top");
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "Top");
  t.add(root, "B");
  EXPECT_EQ(b->getPath(), "/Top/A/Top");
  EXPECT_EQ(root->findNodeNamed(std::string("Top")), root);
  EXPECT_EQ(a->findNodeNamed(std::string("Top")), b);
  EXPECT_EQ(root->findNodeNamed(std::nullopt), nullptr);
  EXPECT_EQ(root->findNodeNamed(std::string("none")), nullptr);
  EXPECT_EQ(root->findNodeNamed(std::string("top")), nullptr);  // case matters
}

TEST(NodeViewTree, DescendantsInPreOrder) {
  TreeBuilder t;
  NodeView* root = t.central("R");
  NodeView* a = t.add(root, "A");
  t.add(a, "A1");
  t.callout(root, "C");
  std::string names;
  for (NodeView* n : root->getListOfDescendents()) names += n->strName() + ",";
  EXPECT_EQ(names, "R,A,A1,C,");
}

TEST(NodeViewRedraw, IfModifiedVisitsCalloutsAndFloatingUnderAFold) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* normal = t.add(a, "N");
  NodeView* callout = t.callout(a, "C");
  NodeView* floating = t.floating(a, "F");
  NodeView* calloutChild = t.add(callout, "CC");
  for (NodeView* n : root->getListOfDescendents()) n->clearNeedsDisplay();
  NodeViewTestAccess::setFolded(a, true);
  a->setNodeModTally(0);
  calloutChild->setNodeModTally(0);
  a->setNeedsDisplayIfModified(true);
  EXPECT_FALSE(a->needsDisplay());  // tally 0
  EXPECT_FALSE(normal->needsDisplay());
  EXPECT_TRUE(callout->needsDisplay());
  EXPECT_TRUE(floating->needsDisplay());
  EXPECT_FALSE(calloutChild->needsDisplay());
}

TEST(NodeViewRedraw, RecursiveRequestReachesFoldedDescendants) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  NodeViewTestAccess::setFolded(a, true);
  root->setNeedsDisplay(true);
  EXPECT_TRUE(b->needsDisplay());
}

TEST(NodeViewTreeLists, ConditionsCompletedBranchesImagesAndDepth) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* done = t.add(root, "done");
  NodeView* open = t.add(done, "open");
  NodeView* leaf = t.add(open, "leaf");
  NodeView* note = t.add(root, "note");
  done->setPercentComplete(100);
  open->setPercentComplete(20);
  done->addResource("Ann", false);
  open->addResource("Ann", false);
  note->setStrNote("n");
  done->set_uuidImage(std::string("IMG"));
  leaf->set_uuidImage(std::string("IMG"));
  note->set_uuidImage(std::string(""));
  leaf->setIsCallout(true, false);

  EXPECT_TRUE(root->getListOfNodesWithTaskAttributes(false).empty());  // the completed parent hides its branch
  EXPECT_EQ(root->getListOfNodesWithTaskAttributes(true), (std::vector<NodeView*>{done, open}));
  EXPECT_EQ(root->getListOfNodesWithResource("Ann", false), std::vector<NodeView*>{open});
  EXPECT_EQ(root->getListOfNodesWithResource("Ann", true), (std::vector<NodeView*>{done, open}));
  EXPECT_EQ(root->getListOfNodesWithNotes(), std::vector<NodeView*>{note});
  EXPECT_EQ(root->getListOfCallouts(), std::vector<NodeView*>{leaf});
  EXPECT_EQ(root->getListOfAssetIDs(), (std::vector<std::string>{"IMG", "IMG"}));  // once per topic
  const kit::Array mapped = root->getListOfAssetIDsMappedToNodeIDs();
  ASSERT_EQ(mapped.size(), 2u);
  EXPECT_EQ(mapped[1]["uuidNode"].string(), leaf->uuid());
  EXPECT_EQ(mapped[1]["iidNode"].integerValue(), leaf->iID());
  EXPECT_EQ(leaf->getListOfDescendents(), std::vector<NodeView*>{leaf});

  // Depth runs through normal children only: the callout leaf does not count.
  EXPECT_EQ(root->getFurthestDescendentCount(), 2);
  EXPECT_EQ(open->getFurthestDescendentCount(), 0);
  EXPECT_EQ(done->getFurthestDescendentCount(), 1);
}
