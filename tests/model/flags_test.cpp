// Kind flags, sibling questions, link and note, roll-up and visibility.
#include <gtest/gtest.h>

#include "model/tree_builder.h"

using kit::Point;

TEST(TopicFlags, RollupRecordsOnlyAChange) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setIsRollupTask(false, true);
  EXPECT_TRUE(t.doc.records.empty());
  root->setIsRollupTask(true, true);
  ASSERT_EQ(t.doc.records.size(), 1u);
  EXPECT_EQ(t.doc.records[0].action, "topic-task-rollup");
  EXPECT_EQ(t.doc.records[0].details["uuid"].string(), root->uuid());
  EXPECT_FALSE(t.doc.records[0].details["rollup"].boolValue());
  EXPECT_TRUE(root->isRollupTask());
  root->setIsRollupTask(false, false);
  EXPECT_FALSE(root->isRollupTask());
  EXPECT_EQ(t.doc.records.size(), 1u);
}

TEST(TopicFlags, CalloutTallyButNotFloating) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  a->setNodeModTally(0);
  a->setIsFloating(true, false);
  EXPECT_EQ(a->nodeModTally(), 0u);
  a->setIsFloating(false, false);
  a->setIsCallout(true, false);
  EXPECT_EQ(a->nodeModTally(), NodeModTally::Callout);
  a->setNodeModTally(0);
  a->setIsCallout(true, true);  // unchanged: nothing
  EXPECT_EQ(a->nodeModTally(), 0u);
  EXPECT_TRUE(t.doc.records.empty());
}

TEST(TopicFlags, RollupBranchStopsAtRootsAndCallouts) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  NodeView* c = t.callout(b, "C");
  NodeView* c1 = t.add(c, "C1");
  EXPECT_EQ(b->isOnRollupTaskBranch(), nullptr);
  root->setIsRollupTask(true, false);
  EXPECT_EQ(b->isOnRollupTaskBranch(), root);
  EXPECT_EQ(root->isOnRollupTaskBranch(), nullptr);  // a root answers nil
  a->setIsRollupTask(true, false);
  EXPECT_EQ(b->isOnRollupTaskBranch(), a);
  EXPECT_EQ(a->isOnRollupTaskBranch(), root);
  // A callout without the flag ends the walk; with it, it is the answer.
  EXPECT_EQ(c1->isOnRollupTaskBranch(), nullptr);
  c->setIsRollupTask(true, false);
  EXPECT_EQ(c1->isOnRollupTaskBranch(), c);
  // A floating topic is a root of its own.
  NodeView* f = t.floating(a, "F");
  NodeView* f1 = t.add(f, "F1");
  EXPECT_EQ(f1->isOnRollupTaskBranch(), nullptr);
}

TEST(TopicFlags, SiblingQuestions) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(root, "B");
  NodeView* c = t.callout(root, "C");
  EXPECT_FALSE(a->siblingTopicsHaveChildren());
  t.add(c, "C1");  // a callout sibling with a child counts
  EXPECT_TRUE(a->siblingTopicsHaveChildren());
  EXPECT_TRUE(b->siblingTopicsHaveChildren());
  EXPECT_FALSE(c->siblingTopicsHaveChildren());
  EXPECT_FALSE(root->siblingTopicsHaveChildren());
  // Only child topics count, not the sibling's callouts.
  TreeBuilder u;
  NodeView* r2 = u.central();
  NodeView* x = u.add(r2, "X");
  NodeView* y = u.add(r2, "Y");
  u.callout(y, "YC");
  EXPECT_FALSE(x->siblingTopicsHaveChildren());
  u.add(x, "X1");
  EXPECT_TRUE(y->siblingTopicsHaveChildren());
  EXPECT_FALSE(x->siblingTopicsHaveChildren());
}

TEST(TopicFlags, BranchInRectUnlessFolded) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(100, 100));
  NodeView* a = t.add(root, "A", Point(300, 100));
  NodeView* a1 = t.add(a, "A1", Point(500, 500));
  t.callout(a1, "deep", Point(900, 900));
  EXPECT_TRUE(root->isBranchAnywhereInParentRect(kit::Rect(890, 890, 20, 20)));
  EXPECT_FALSE(root->isBranchAnywhereInParentRect(kit::Rect(2000, 2000, 20, 20)));
  EXPECT_TRUE(a1->isBranchAnywhereInParentRect(kit::Rect(495, 495, 10, 10)));
  a->fold();
  EXPECT_FALSE(root->isBranchAnywhereInParentRect(kit::Rect(890, 890, 20, 20)));
  EXPECT_TRUE(root->isBranchAnywhereInParentRect(kit::Rect(295, 95, 5, 5)));  // a itself
}

TEST(TopicLinkNote, RecordsHoldTheOldTextOnlyWhenItChanges) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setLink(std::string("http://a"), true);
  root->setLink(std::string("http://a"), true);  // same: no record
  root->setLink(std::string("http://b"), false);
  root->setLink(std::nullopt, true);             // nil differs from any stored text
  ASSERT_EQ(t.doc.records.size(), 2u);
  EXPECT_EQ(t.doc.records[0].action, "topic-link");
  EXPECT_EQ(t.doc.records[0].details["link"].string(), "");
  EXPECT_EQ(t.doc.records[1].details["link"].string(), "http://b");
  EXPECT_EQ(root->strLink(), "");
  root->setNote(std::string("Remember"), true);
  root->setNote(std::string("remember"), true);  // case matters
  ASSERT_EQ(t.doc.records.size(), 4u);
  EXPECT_EQ(t.doc.records[2].action, "topic-note");
  EXPECT_EQ(t.doc.records[3].details["note"].string(), "Remember");
  EXPECT_EQ(root->strNote(), "remember");
  EXPECT_EQ(root->nodeModTally() & ~(NodeModTally::Colour | NodeModTally::Shape | NodeModTally::FontSize | NodeModTally::Width), 0u);
}

TEST(TopicVisibility, UnfoldingRestoresEachBrightness) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* a1 = t.add(a, "A1");
  NodeView* a11 = t.add(a1, "A11");
  a1->setBrightness(0.3f);
  a11->setBrightness(0.6f);
  a->fold();
  EXPECT_EQ(a->alpha(), 1.0f);
  EXPECT_EQ(a1->alpha(), 0.0f);
  EXPECT_EQ(a11->alpha(), 0.0f);
  a->unfold();
  EXPECT_FLOAT_EQ(a1->alpha(), 0.3f);
  EXPECT_FLOAT_EQ(a11->alpha(), 0.6f);
  a->unfold();  // not folded: nothing
  EXPECT_FALSE(a->isFolded());
}

TEST(TopicVisibility, CalloutUnderAHiddenTopicIsHiddenToo) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* a1 = t.add(a, "A1");
  NodeView* c = t.callout(a1, "C");
  NodeView* cDirect = t.callout(a, "CD");
  NodeView* f = t.floating(a1, "F");
  a->fold();
  EXPECT_EQ(cDirect->alpha(), 1.0f);  // directly under the folded topic
  EXPECT_EQ(c->alpha(), 0.0f);        // under a hidden topic
  EXPECT_EQ(f->alpha(), 1.0f);        // floating topics are never hidden by their parent
  // Updating from a topic inside the folded branch still hides it.
  a1->recursivelyUpdateVisiblity();
  EXPECT_EQ(a1->alpha(), 0.0f);
}
