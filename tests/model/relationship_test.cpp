#include "model/relationship_view.h"

#include <gtest/gtest.h>

#include <chrono>

#include "kit/graphics/image_context.h"
#include "kit/testing/fixtures.h"
#include "model/tree_builder.h"

using kit::Point;
using kit::Rect;

namespace {

class RelationshipTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    root = t.central("C", Point(1000, 1000));
    a = t.add(root, "A", Point(1200, 900));
    a1 = t.add(a, "A1", Point(1400, 850));
    a2 = t.add(a, "A2", Point(1400, 950));
    b = t.add(root, "B", Point(800, 1000));
    f = t.floating(root, "F", Point(500, 500));
    f1 = t.add(f, "F1", Point(600, 500));
  }

  std::unique_ptr<RelationshipView> make(NodeView* from, NodeView* to) {
    auto r = std::make_unique<RelationshipView>(Rect(), &t.doc);
    r->setEnd1(from);
    r->setEnd2(to);
    return r;
  }

  TreeBuilder t;
  NodeView *root, *a, *a1, *a2, *b, *f, *f1;
};

}  // namespace

// ---- Creation and identity --------------------------------------------------------------------------

TEST_F(RelationshipTest, NewRelationshipIsGreenWithArrowsAndSizedToItsHandle) {
  int before = t.doc.nextID;
  RelationshipView r(Rect(), &t.doc);
  EXPECT_EQ(r.iID(), before + 1);
  EXPECT_EQ(r.uuid().size(), 36u);
  EXPECT_EQ(r.rgb255().r, 0);
  EXPECT_EQ(r.rgb255().g, 255);
  EXPECT_EQ(r.rgb255().b, 0);
  EXPECT_EQ(r.arrowTypeEnd1(), RelationshipEnd::Arrow);
  EXPECT_EQ(r.arrowTypeEnd2(), RelationshipEnd::Arrow);
  ASSERT_TRUE(r.controlPointIcon());
  EXPECT_EQ(r.bounds().size, r.controlPointIcon()->size());
  EXPECT_GT(r.bounds().width(), 0);
  EXPECT_EQ(r.end1(), nullptr);
  EXPECT_EQ(r.end2(), nullptr);
  EXPECT_NE(RelationshipView(Rect(), &t.doc).uuid(), r.uuid());
}

TEST_F(RelationshipTest, ColourAsIntegerAndText) {
  RelationshipView r(Rect(), nullptr);
  EXPECT_EQ(r.getColourAsInteger(), 0xFF00FF00u);
  EXPECT_EQ(r.getColourAsString(), "00FF00");
  r.setRgb255(RGB255{18.9f, 171.2f, 255});
  EXPECT_EQ(r.getColourAsInteger(), 0xFF12ABFFu);
  EXPECT_EQ(r.getColourAsString(), "12ABFF");
}

TEST_F(RelationshipTest, HandleDrawsTheControlPointImage) {
  RelationshipView r(Rect(), nullptr);
  kit::Size size = r.bounds().size;
  auto image = kit::ImageContext::create(size);
  ASSERT_TRUE(image);
  r.drawRect(image->context(), r.bounds());
  kit::ImageRef drawn = image->image();
  ASSERT_TRUE(drawn);
  bool painted = false;
  for (int y = 0; y < drawn->pixelHeight() && !painted; ++y)
    for (int x = 0; x < drawn->pixelWidth() && !painted; ++x) painted = drawn->pixelAt(x, y)->alpha > 0;
  EXPECT_TRUE(painted);
}

// ---- Ends and the start topic's list ------------------------------------------------------------------

TEST_F(RelationshipTest, StartTopicListsItFinishTopicDoesNot) {
  auto r = make(a, b);
  ASSERT_EQ(a->getRelationships().size(), 1u);
  EXPECT_EQ(a->getRelationships()[0], r.get());
  EXPECT_TRUE(b->getRelationships().empty());
}

TEST_F(RelationshipTest, MovingTheStartMovesTheListing) {
  auto r = make(a, b);
  auto other = make(a, f1);
  r->setEnd1(a1);
  ASSERT_EQ(a->getRelationships().size(), 1u);
  EXPECT_EQ(a->getRelationships()[0], other.get());
  ASSERT_EQ(a1->getRelationships().size(), 1u);
  other->setEnd1(a1);
  EXPECT_TRUE(a->getRelationships().empty());
  EXPECT_EQ(a1->getRelationships().size(), 2u);
  r->setEnd2(f1);
  EXPECT_TRUE(f1->getRelationships().empty());
  EXPECT_EQ(r->end2(), f1);
}

TEST_F(RelationshipTest, ReleaseTakesItOffTheStartTopic) {
  auto r = make(a, b);
  auto s = make(a, b);
  r.reset();
  ASSERT_EQ(a->getRelationships().size(), 1u);
  EXPECT_EQ(a->getRelationships()[0], s.get());
  s->setEnd1(nullptr);
  EXPECT_TRUE(a->getRelationships().empty());
  a->removeRelationship(s.get());  // not listed: nothing changes
  EXPECT_TRUE(a->getRelationships().empty());
}

TEST_F(RelationshipTest, ReleasingManyFromOneTopicTakesLinearTime) {
  auto secondsToRelease = [&](std::size_t n) {
    std::vector<std::unique_ptr<RelationshipView>> all(n);
    for (auto& r : all) r = make(a, b);
    const auto start = std::chrono::steady_clock::now();
    all.clear();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  EXPECT_LT(secondsToRelease(80000), 8 * secondsToRelease(20000) + 0.05);  // linear: 4 times; a search: 16
}

// ---- Undo records ----------------------------------------------------------------------------------------

TEST_F(RelationshipTest, ArrowTypeSettersPushThePreviousType) {
  auto r = make(a, b);
  r->setEnd1ArrowType(0);
  ASSERT_EQ(t.doc.records.size(), 1u);
  EXPECT_EQ(t.doc.records[0].action, "relationship-end1");
  EXPECT_EQ(t.doc.records[0].details["uuid"].string(), r->uuid());
  EXPECT_EQ(t.doc.records[0].details["type"].intValue(), 1);
  EXPECT_EQ(r->arrowTypeEnd1(), 0);
  r->setEnd2ArrowType(2);
  EXPECT_EQ(t.doc.records[1].action, "relationship-end2");
  EXPECT_EQ(t.doc.records[1].details["type"].intValue(), 1);
  EXPECT_EQ(r->arrowTypeEnd2(), 2);
  r->setArrowTypeEnd1(2);  // plain accessor
  EXPECT_EQ(t.doc.records.size(), 2u);
}

TEST_F(RelationshipTest, ColourSetterPushesThePreviousColourWhenAsked) {
  auto r = make(a, b);
  r->setColourWithRGB255(RGB255{255, 0, 0}, false);
  EXPECT_TRUE(t.doc.records.empty());
  r->setColourWithRGB255(RGB255{0, 0, 255}, true);
  ASSERT_EQ(t.doc.records.size(), 1u);
  EXPECT_EQ(t.doc.records[0].action, "relationship-colour");
  EXPECT_EQ(t.doc.records[0].details["colour"].string(), "FF0000");
  EXPECT_EQ(t.doc.records[0].details["uuid"].string(), r->uuid());
  EXPECT_EQ(r->getColourAsString(), "0000FF");
}

// ---- Geometry and queries ----------------------------------------------------------------------------------

TEST_F(RelationshipTest, MoveAndFlipTheControlPoint) {
  auto r = make(a, b);
  r->setCenter(Point(130, 40));
  r->moveByX(5, -10);
  EXPECT_EQ(r->center(), Point(135, 30));
  NodeView* pivot = t.add(root, "pivot", Point(100, 500));
  r->setCenter(Point(130, 40));
  r->flipAboutY(pivot);
  EXPECT_EQ(r->center(), Point(70, 40));
  r->flipAboutY(nullptr);
  EXPECT_EQ(r->center(), Point(70, 40));
}

TEST_F(RelationshipTest, BranchAffinityCountsTheEndsInTheBranch) {
  auto inside = make(a1, a2);
  EXPECT_EQ(inside->getBranchAffinityWith(a), 2);
  EXPECT_EQ(inside->getBranchAffinityWith(a1), 1);
  EXPECT_EQ(inside->getBranchAffinityWith(b), 0);
  EXPECT_EQ(inside->getBranchAffinityWith(nullptr), 0);
  auto across = make(a1, b);
  EXPECT_EQ(across->getBranchAffinityWith(a), 1);
  EXPECT_EQ(across->getBranchAffinityWith(b), 1);
  EXPECT_EQ(across->getBranchAffinityWith(root), 2);
}

TEST_F(RelationshipTest, BranchAffinityOfTheCentralTopicLeavesFloatingBranchesOut) {
  auto toFloating = make(a1, f1);
  EXPECT_EQ(toFloating->getBranchAffinityWith(root), 1);
  EXPECT_EQ(toFloating->getBranchAffinityWith(f), 1);  // a floating topic has a parent
  auto withinFloating = make(f, f1);
  EXPECT_EQ(withinFloating->getBranchAffinityWith(root), 0);
  EXPECT_EQ(withinFloating->getBranchAffinityWith(f), 2);
  auto startless = make(a1, b);
  startless->setEnd1(nullptr);
  EXPECT_EQ(startless->getBranchAffinityWith(root), 1);
  EXPECT_EQ(startless->getBranchAffinityWith(a), 0);
}

TEST_F(RelationshipTest, VisibilityOfTheEnds) {
  auto r = make(a, b);
  EXPECT_TRUE(r->areBothEndsVisible());
  EXPECT_TRUE(r->areBothEndsFullyVisible());
  b->setAlpha(0.5f);
  EXPECT_TRUE(r->areBothEndsVisible());
  EXPECT_FALSE(r->areBothEndsFullyVisible());
  b->setAlpha(0);
  EXPECT_FALSE(r->areBothEndsVisible());
  b->setAlpha(1);
  r->setEnd2(nullptr);
  EXPECT_FALSE(r->areBothEndsVisible());
  EXPECT_FALSE(r->areBothEndsFullyVisible());
}
