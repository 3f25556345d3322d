// Folding and visibility, movement and sibling push, style setters and position snapshots.
#include <gtest/gtest.h>

#include <cmath>

#include "model/app_services.h"
#include "model/tree_builder.h"

using kit::Point;

TEST(NodeViewFolding, HidesNormalDescendantsButNotCalloutsOrFloating) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* n = t.add(a, "N");
  NodeView* nn = t.add(n, "NN");
  NodeView* c = t.callout(a, "C");
  NodeView* f = t.floating(a, "F");
  n->setBrightness(0.1f);
  a->fold();
  EXPECT_TRUE(a->isFolded());
  EXPECT_EQ(a->alpha(), 1.0f);
  EXPECT_EQ(n->alpha(), 0.0f);
  EXPECT_EQ(nn->alpha(), 0.0f);
  EXPECT_EQ(c->alpha(), 1.0f);
  EXPECT_EQ(f->alpha(), 1.0f);
  a->unfold();
  EXPECT_EQ(n->alpha(), 0.1f);  // its own brightness, not 1.0
  EXPECT_EQ(nn->alpha(), 1.0f);
}

TEST(NodeViewFolding, NothingToFoldWhenOnlyCalloutsAndFloating) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  t.callout(a, "C");
  t.floating(a, "F");
  a->fold();
  EXPECT_FALSE(a->isFolded());
  EXPECT_EQ(a->getChildTopicCount(), 0);
  EXPECT_EQ(a->getCalloutTopicCount(), 1);
}

TEST(NodeViewFolding, SiblingQuestions) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* c = t.callout(root, "C");
  EXPECT_FALSE(a->hasSiblingTopics());
  NodeView* b = t.add(root, "B");
  EXPECT_TRUE(a->hasSiblingTopics());
  EXPECT_TRUE(b->hasVisibleSiblingTopics());
  EXPECT_FALSE(c->hasSiblingTopics());
  EXPECT_FALSE(root->hasSiblingTopics());
}

TEST(NodeViewFlags, CalloutAndFloatingRecordsHoldTheOldFlag) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  a->setNodeModTally(0);
  a->setIsCallout(true, true);
  a->setIsCallout(true, true);  // unchanged: nothing
  a->setIsFloating(true, true);
  ASSERT_EQ(t.doc.records.size(), 2u);
  EXPECT_EQ(t.doc.records[0].action, "topic-callout");
  EXPECT_EQ(t.doc.records[0].details["callout"].intValue(), 0);
  EXPECT_EQ(t.doc.records[0].details["uuid"].string(), a->uuid());
  EXPECT_EQ(t.doc.records[1].action, "topic-float");
  EXPECT_EQ(a->nodeModTally(), NodeModTally::Callout);
}

TEST(NodeViewMovement, SubPointMovesDoNothingAndCentresStayWhole) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(100, 100));
  root->moveByX(0.6f, -0.9f, true);
  EXPECT_EQ(root->center(), Point(100, 100));
  root->moveByX(1.0f, 0, true);
  EXPECT_EQ(root->center(), Point(101, 100));
  root->moveByX(2.5f, 1.5f, true);  // ties to even
  EXPECT_EQ(root->center(), Point(104, 102));
}

TEST(NodeViewMovement, ChildrenFollowButFloatingTopicsStay) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(100, 100));
  NodeView* a = t.add(root, "A", Point(200, 100));
  NodeView* c = t.callout(a, "Co", Point(220, 60));
  NodeView* f = t.floating(root, "F", Point(0, 0));
  root->moveByX(10, 20, true);
  EXPECT_EQ(a->center(), Point(210, 120));
  EXPECT_EQ(c->center(), Point(230, 80));
  EXPECT_EQ(f->center(), Point(0, 0));
  EXPECT_TRUE(root->moveTo(Point(0, 120), true, false) == false);
  EXPECT_EQ(a->center(), Point(100, 120));
}

TEST(NodeViewMovement, CrossingTheCentralTopicMirrorsTheBranchOnce) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* b = t.add(a, "B", Point(1300, 1050));
  EXPECT_TRUE(a->moveTo(Point(800, 1000), true, true));
  EXPECT_EQ(a->center(), Point(800, 1000));
  EXPECT_EQ(b->center(), Point(700, 1050));  // mirrored about a
  EXPECT_FALSE(a->moveTo(Point(790, 1000), true, true));
}

TEST(NodeViewMovement, ClosingAGapLeavesTenPoints) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* above = t.add(root, "Up", Point(1200, 900));
  NodeView* me = t.add(root, "Me", Point(1200, 1000));
  for (NodeView* n : root->getListOfDescendents()) n->_calcLayout();
  // Me goes 12 points below the frame above.
  const float gap = me->getAdjustedNodeFrame().minY() - above->getAdjustedNodeFrame().maxY();
  me->moveByX(0, 12 - gap, false);
  ASSERT_EQ(me->getAdjustedNodeFrame().minY() - above->getAdjustedNodeFrame().maxY(), 12.0f);
  const Point mine = me->center();
  me->pushSiblingsUpBy(-30, 0);
  EXPECT_EQ(above->center(), Point(1200, 902));  // down by 2, not 30
  EXPECT_EQ(me->center(), mine);
  EXPECT_EQ(me->getAdjustedNodeFrame().minY() - above->getAdjustedNodeFrame().maxY(), 10.0f);
}

TEST(NodeViewMovement, PushFromFloatingOrCalloutDoesNothing) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 900));
  NodeView* c = t.callout(root, "Co", Point(1200, 1000));
  c->pushSiblingsUpBy(50, 50);
  EXPECT_EQ(a->center(), Point(1200, 900));
}

TEST(NodeViewGeometry, BranchRectOfAFoldedTopicIsItsOwnFrame) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* a = t.add(root, "A", Point(1200, 1000));
  NodeView* b = t.add(a, "B", Point(1400, 1100));
  NodeView* co = t.callout(a, "Co", Point(1200, 2000));
  for (NodeView* n : root->getListOfDescendents()) n->_calcLayout();
  const kit::Rect branch = a->getBranchBoundingRect();
  EXPECT_EQ(branch, a->getAdjustedNodeFrame().unionWith(b->getAdjustedNodeFrame()));
  EXPECT_FALSE(branch.intersects(co->getAdjustedNodeFrame()));  // callouts excluded
  a->fold();
  EXPECT_EQ(a->getBranchBoundingRect(), a->getAdjustedNodeFrame());
}

TEST(NodeViewGeometry, NavigationAmongSiblings) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(1000, 1000));
  NodeView* r1 = t.add(root, "R1", Point(1200, 900));
  NodeView* r2 = t.add(root, "R2", Point(1200, 1100));
  NodeView* r3 = t.add(root, "R3", Point(1200, 1100));
  NodeView* l1 = t.add(root, "L1", Point(800, 1300));
  EXPECT_EQ(r1->getSiblingBelow(), r2);  // equal y: the first in child order
  EXPECT_EQ(r3->getSiblingAbove(), r1);
  EXPECT_EQ(root->getLowestChildOnSide(2), r2);
  EXPECT_EQ(root->getLowestChildOnSide(1), l1);
  EXPECT_EQ(root->getLowestChildOnSide(0), nullptr);
  EXPECT_EQ(root->getSiblingBelow(), nullptr);
}

TEST(NodeViewStyle, SettersPushTheOldValueAndSkipCalloutsAndFloating) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  NodeView* c = t.callout(a, "C");
  a->setColourWithRGB255(RGB255{255, 0, 0}, true, true);
  ASSERT_EQ(t.doc.records.size(), 2u);
  EXPECT_EQ(t.doc.records[0].action, "topic-colour");
  EXPECT_EQ(t.doc.records[0].details["colour"].string(), "0000FE");
  EXPECT_EQ(t.doc.records[1].details["uuid"].string(), b->uuid());
  EXPECT_EQ(b->getColourAsString(), "FF0000");
  EXPECT_EQ(c->getColourAsString(), "0000FE");
  // An unchanged colour still pushes; an unchanged text style does not.
  t.doc.records.clear();
  a->setColourWithRGB255(RGB255{255, 0, 0}, false, true);
  a->setTextStyle(0, false, true);
  ASSERT_EQ(t.doc.records.size(), 1u);
  a->setTextStyle(TopicTextStyle::Bold, false, true);
  EXPECT_EQ(t.doc.records.back().action, "topic-text-style");
  EXPECT_EQ(t.doc.records.back().details["style"].intValue(), 0);
}

TEST(NodeViewStyle, InheritedColourFollowsTheParentUnlessOwnIsSet) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  a->setColourWithRGB255(RGB255{0, 255, 0}, false, false);
  // With no theme the level colour is black, so that comes before inheritance.
  EXPECT_EQ(b->getDisplayColourAsString(), "000000");
  EXPECT_EQ(a->getDisplayColourAsString(), "00FF00");
}

TEST(NodeViewStyle, RainbowColoursMainBranchesByAngle) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(0, 0));
  NodeView* right = t.add(root, "R", Point(100, 0));
  NodeView* left = t.add(root, "L", Point(-100, 0));
  NodeView* rc = t.add(right, "RC", Point(200, 0));
  AppServices::setRainbowFlag(true);
  root->evaluateDisplayColourForBranch();
  AppServices::setRainbowFlag(false);
  EXPECT_NE(right->getDisplayColourAsString(), left->getDisplayColourAsString());
  EXPECT_EQ(rc->getDisplayColourAsString(), right->getDisplayColourAsString());
}

TEST(NodeViewStyle, CloningAStylelessTopicClearsTheOwnStyle) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* plain = t.add(root, "P");
  NodeView* styled = t.add(root, "S");
  styled->setColourWithRGB255(RGB255{1, 2, 3}, false, false);
  styled->setShape(TopicShape::Oval, false, false);
  styled->setFontSize(30, false, false);
  styled->setWidth(120, false, false);
  styled->setTextStyle(TopicTextStyle::Italic, false, false);
  kit::Value d = plain->dumpToDictionary(0x1CC);
  EXPECT_EQ(d["_colour"].string(), "0000FE");
  EXPECT_EQ(d["_shape"].intValue(), 99);
  styled->cloneAttributes(0x1CC, plain, 0, false);
  EXPECT_EQ(styled->getColourAsString(), "0000FE");
  EXPECT_EQ(styled->getShape(), TopicShape::Unset);
  EXPECT_EQ(styled->getFontSize(), 0.0f);
  EXPECT_EQ(styled->getWidth(), 0.0f);
  EXPECT_EQ(styled->getTextStyle(), 0u);
  EXPECT_EQ(styled->getDisplayFontSize(), 14.0f);
}

TEST(NodeViewStyle, SiblingScopeReachesNormalSiblingsOnly) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(root, "B");
  NodeView* c = t.callout(root, "C");
  NodeView* f = t.floating(root, "F");
  kit::Value d(kit::Dictionary{{"_shape", 1}});
  a->copyAttributes(d, NodeModTally::Shape, 0x4, false);
  EXPECT_EQ(a->getShape(), 1);
  EXPECT_EQ(b->getShape(), 1);
  EXPECT_EQ(c->getShape(), TopicShape::Unset);
  EXPECT_EQ(f->getShape(), TopicShape::Unset);
}

// A pasted callout style makes a topic with a parent a callout, never the central or a floating
// topic; the last normal child of a folded topic made a callout unfolds it (a fold over callouts
// alone would be lost on reading the map), and its record says to fold it again.
TEST(NodeViewStyle, ACalloutStyleNeedsAParentAndLeavesNoFoldOverCalloutsAlone) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* f = t.floating(root, "F");
  NodeView* a = t.add(root, "A");
  NodeView* a1 = t.add(a, "A1");
  NodeView* a2 = t.add(a, "A2");
  a->fold();
  const kit::Value callout(kit::Dictionary{{"_callout", 1}});
  for (NodeView* n : {root, f, a1}) n->copyAttributes(callout, NodeModTally::Callout, 0, true);
  EXPECT_FALSE(root->isCallout());
  EXPECT_FALSE(f->isCallout());
  EXPECT_TRUE(a1->isCallout());
  EXPECT_TRUE(a->isFolded());
  a2->setIsCallout(true, true);
  EXPECT_FALSE(a->isFolded());
  ASSERT_EQ(t.doc.records.size(), 2u);
  EXPECT_FALSE(t.doc.records[0].details.contains("refoldParent"));
  EXPECT_TRUE(t.doc.records[1].details.contains("refoldParent"));
}

TEST(NodeViewSnapshot, BranchInPreOrderAndRestore) {
  TreeBuilder t;
  NodeView* root = t.central("C", Point(10, 10));
  NodeView* a = t.add(root, "A", Point(20, 20));
  NodeView* a1 = t.add(a, "A1", Point(30, 30));
  NodeView* b = t.add(root, "B", Point(40, 40));
  kit::Value snap = root->snapshotNodePositions();
  ASSERT_EQ(snap.array().size(), 4u);
  EXPECT_EQ(snap.array()[1]["uuid"].string(), a->uuid());
  EXPECT_EQ(snap.array()[2]["uuid"].string(), a1->uuid());
  EXPECT_EQ(snap.array()[3]["uuid"].string(), b->uuid());
  EXPECT_EQ(snap.array()[2]["centre"].point(), Point(30, 30));
  a->setNodePositionFromDict(kit::Value(kit::Dictionary{{"centre", Point(50, 60)}}), false);
  EXPECT_EQ(a->center(), Point(50, 60));
  EXPECT_EQ(a1->center(), Point(30, 30));
  a->setNodePositionFromDict(kit::Value(kit::Dictionary{}), true);  // no centre: (0, 0)
  EXPECT_EQ(a->center(), Point(0, 0));
  EXPECT_EQ(a1->center(), Point(-20, -30));
}

TEST(NodeViewStyle, PastedRecordAppliesWhatIsValidAndIgnoresTheRest) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  a->setShape(TopicShape::Oval, false, false);
  a->setFontSize(18, false, false);
  a->setColourWithRGB255(RGB255{1, 2, 3}, false, false);
  a->setProgress(20, false);
  a->setStartDate(kit::Date{1700000000}, false);
  a->setIcon1(std::string("flag"), std::nullopt, false);
  a->addResource("Cy", false);
  kit::Array list{kit::Value(1)};
  const kit::Value record(kit::Dictionary{{"_shape", "1"}, {"_fontSize", std::nan("")}, {"_width", 150},
                                          {"_colour", 5}, {"_progress", 500}, {"_startDate", "tomorrow"},
                                          {"_effort", "3h"}, {"_icon1", 7}, {"_resources", kit::Value(list)},
                                          {"_textStyle", -2}, {"_boundary", kit::Value(list)}, {"_what", 1}});
  a->copyAttributes(record, 0x7FFC, 0, false);
  EXPECT_EQ(a->getWidth(), 150.0f);
  EXPECT_EQ(a->getEffort(), "3h");
  EXPECT_EQ(a->getShape(), TopicShape::Oval);
  EXPECT_EQ(a->getFontSize(), 18.0f);
  EXPECT_EQ(a->getColourAsString(), "010203");
  EXPECT_EQ(a->percentComplete(), 20);
  EXPECT_EQ(a->startDate(), kit::Date{1700000000});
  EXPECT_EQ(a->strIcon1(), "flag");
  EXPECT_EQ(a->getResourceNames(), "Cy");
  EXPECT_EQ(a->getTextStyle(), 0u);
  EXPECT_FALSE(a->hasBoundary());
  // Not a dictionary at all: nothing changes; text that is no colour leaves the colour alone.
  a->copyAttributes(kit::Value("_width"), 0x7FFC, 0x6, false);
  EXPECT_EQ(a->getWidth(), 150.0f);
  a->copyAttributes(kit::Value(kit::Dictionary{{"_colour", "banana"}}), NodeModTally::Colour, 0, false);
  EXPECT_EQ(a->getColourAsString(), "010203");
  a->copyAttributes(kit::Value(kit::Dictionary{{"_colour", "#80ff0000"}}), NodeModTally::Colour, 0, false);
  EXPECT_EQ(a->getColourAsString(), "010203");
  a->copyAttributes(kit::Value(kit::Dictionary{{"_colour", "ffc0ffee"}}), NodeModTally::Colour, 0, false);
  EXPECT_EQ(a->getColourAsString(), "C0FFEE");
}
