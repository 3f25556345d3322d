// The child orders: clockwise round the central topic, leaf topics first, top to bottom and
// the task-report order; sorting stays whole when the comparison is not consistent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "model/tree_builder.h"

using kit::Point;

namespace {
std::string childNames(const NodeView* n) {
  std::string s;
  for (const auto& c : n->childNodes()) {
    if (!s.empty()) s += ' ';
    s += c->strName();
  }
  return s;
}
}  // namespace

TEST(ClockwiseComparison, MainBranchesBySideThenHeight) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* r1 = t.add(root, "R1", Point(1200, 900));
  NodeView* r2 = t.add(root, "R2", Point(1300, 900));
  NodeView* r3 = t.add(root, "R3", Point(1200, 1100));
  NodeView* l1 = t.add(root, "L1", Point(800, 600));
  NodeView* l2 = t.add(root, "L2", Point(800, 1300));
  EXPECT_EQ(r1->stdClockwiseSort(r2), 0);  // same side, same height
  EXPECT_EQ(r1->stdClockwiseSort(r3), -1);
  EXPECT_EQ(r3->stdClockwiseSort(r1), 1);
  // Right before left whatever the heights.
  EXPECT_EQ(r3->stdClockwiseSort(l1), -1);
  EXPECT_EQ(l1->stdClockwiseSort(r3), 1);
  // Up the left side: the lower one first.
  EXPECT_EQ(l2->stdClockwiseSort(l1), -1);
  EXPECT_EQ(l1->stdClockwiseSort(l2), 1);
}

TEST(ClockwiseComparison, BelowMainBranchesItIsTopToBottomOnEitherSide) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(700, 1000));
  NodeView* upper = t.add(a, "Upper", Point(500, 900));
  NodeView* lower = t.add(a, "Lower", Point(900, 1100));  // right of its parent
  EXPECT_EQ(upper->stdClockwiseSort(lower), -1);
  EXPECT_EQ(lower->stdClockwiseSort(upper), 1);
  EXPECT_EQ(upper->_sortChildNodesVertically(lower), -1);
  EXPECT_EQ(upper->_sortChildNodesVertically(upper), 0);
}

TEST(ClockwiseSort, RunsDownTheRightThenUpTheLeftWithCalloutsThenFloatingLast) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  t.floating(root, "Float", Point(1200, 100));
  t.add(root, "L-top", Point(800, 700));
  t.callout(root, "Callout", Point(1200, 200));
  t.add(root, "R-bottom", Point(1200, 1300));
  t.add(root, "L-bottom", Point(800, 1300));
  t.add(root, "R-top", Point(1200, 700));
  root->sortChildNodesClockwise(false);
  EXPECT_EQ(childNames(root), "R-top R-bottom L-bottom L-top Callout Float");
}

TEST(ClockwiseSort, RecursiveSortsEveryLevel) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* b = t.add(root, "B", Point(1200, 1200));
  NodeView* a = t.add(root, "A", Point(1200, 800));
  t.add(a, "a2", Point(1400, 850));
  t.add(a, "a1", Point(1400, 750));
  NodeView* b2 = t.add(b, "b2", Point(1400, 1250));
  t.add(b, "b1", Point(1400, 1150));
  t.add(b2, "y", Point(1600, 1300));
  t.add(b2, "x", Point(1600, 1200));
  root->sortChildNodesClockwise(false);
  EXPECT_EQ(childNames(root), "A B");
  EXPECT_EQ(childNames(a), "a2 a1");
  root->sortChildNodesClockwise(true);
  EXPECT_EQ(childNames(a), "a1 a2");
  EXPECT_EQ(childNames(b), "b1 b2");
  EXPECT_EQ(childNames(b2), "x y");
}

TEST(GroupLeafSort, LeavesFirstCountingCalloutsAndFloatingAsChildren) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* withCallout = t.add(root, "WithCallout", Point(1200, 700));
  t.callout(withCallout, "c", Point(1200, 650));
  NodeView* parent = t.add(root, "Parent", Point(1200, 800));
  t.add(parent, "p", Point(1400, 800));
  t.add(root, "Leaf2", Point(1200, 1200));
  t.add(root, "Leaf1", Point(1200, 900));
  root->sortChildNodesClockwiseAndGroupLeafNodes(false);
  EXPECT_EQ(childNames(root), "Leaf1 Leaf2 WithCallout Parent");
}

TEST(VerticalSort, TopToBottomRecursively) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1300));
  t.add(root, "B", Point(800, 700));
  t.add(a, "a2", Point(1400, 1400));
  t.add(a, "a1", Point(1400, 1200));
  root->sortChildNodesVertically(true);
  EXPECT_EQ(childNames(root), "B A");
  EXPECT_EQ(childNames(a), "a1 a2");
}

TEST(TaskReportOrder, ByParentTextThenProgress) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* alpha = t.add(root, "Alpha", Point(1200, 900));
  NodeView* beta = t.add(root, "Beta", Point(1200, 1100));
  NodeView* a1 = t.add(alpha, "a1");
  NodeView* a2 = t.add(alpha, "a2");
  NodeView* b1 = t.add(beta, "b1");
  a1->setPercentComplete(50);
  a2->setPercentComplete(10);
  b1->setPercentComplete(0);
  EXPECT_EQ(a1->_sortGroupByParentNameThenProgress(b1), -1);
  EXPECT_EQ(b1->_sortGroupByParentNameThenProgress(a1), 1);
  EXPECT_EQ(a2->_sortGroupByParentNameThenProgress(a1), -1);
  EXPECT_EQ(a1->_sortGroupByParentNameThenProgress(a2), 1);
  a2->setPercentComplete(50);
  EXPECT_EQ(a1->_sortGroupByParentNameThenProgress(a2), 0);
  // Different parents with the same text fall through to 0; the central topic has no parent.
  beta->setStrName("Alpha");
  EXPECT_EQ(a1->_sortGroupByParentNameThenProgress(b1), 0);
  EXPECT_EQ(root->_sortGroupByParentNameThenProgress(a1), -1);
  EXPECT_EQ(a1->_sortGroupByParentNameThenProgress(root), 1);
}

// A position that is not a number compares equal to everything, which breaks transitivity.
// Every child must survive the sort, in some order.
TEST(SortSafety, InconsistentComparisonsKeepEveryChild) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::set<NodeView*> before;
  for (int i = 0; i < 3000; ++i) {
    const float y = (i % 7 == 0) ? nan : static_cast<float>((i * 7919) % 3001);
    const float x = (i % 2 == 0) ? 1200.0f : ((i % 11 == 0) ? nan : 800.0f);
    NodeView* n = (i % 13 == 0) ? t.callout(root, "c", Point(x, y))
                                : (i % 17 == 0 ? t.floating(root, "f", Point(x, y)) : t.add(root, "n", Point(x, y)));
    before.insert(n);
    if (i % 5 == 0) t.add(n, "leaf", Point(x, y));
  }
  for (int round = 0; round < 3; ++round) {
    if (round == 0) root->sortChildNodesClockwise(true);
    if (round == 1) root->sortChildNodesClockwiseAndGroupLeafNodes(true);
    if (round == 2) root->sortChildNodesVertically(true);
    std::set<NodeView*> after;
    for (const auto& c : root->childNodes()) {
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->parentNode(), root);
      after.insert(c.get());
    }
    EXPECT_EQ(after, before);
  }
}

TEST(SortSafety, ReversedChildrenComeOutTopToBottom) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  for (int i = 0; i < 200; ++i) t.add(root, std::to_string(i), Point(1200, static_cast<float>(1000 - i)));
  root->sortChildNodesVertically(false);
  const auto& kids = root->childNodes();
  for (std::size_t i = 1; i < kids.size(); ++i) ASSERT_LT(kids[i - 1]->center().y, kids[i]->center().y);
}
