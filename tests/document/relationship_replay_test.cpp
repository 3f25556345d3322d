// Undo and redo of the boundary and relationship records through the document controller.
#include <gtest/gtest.h>

#include "document/pseudo_map_view_controller.h"
#include "kit/core/run_loop.h"
#include "kit/testing/fixtures.h"

using kit::Point;

namespace {

class RelationshipReplayTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    doc = std::make_unique<PseudoMapViewController>();
    canvas = doc->bigView();
    root = canvas->createChildNodeOf(nullptr, Point());
    Point c = root->center();
    a = canvas->createChildNodeOf(root, Point(c.x + 300, c.y - 100));
    b = canvas->createChildNodeOf(root, Point(c.x - 300, c.y + 100));
    for (NodeView* n : {root, a, b}) n->_calcLayout();
    r = canvas->createRelationshipBetweenNode(a, 1, b, 1, Point(), RGB255{0, 255, 0});
    endPass();
  }
  void TearDown() override { doc.reset(); }

  void endPass() { kit::RunLoop::main().runOnce(); }
  kit::UndoManager& undo() { return *doc->undoManager(); }

  std::unique_ptr<PseudoMapViewController> doc;
  BigView* canvas = nullptr;
  NodeView *root = nullptr, *a = nullptr, *b = nullptr;
  RelationshipView* r = nullptr;
};

}  // namespace

TEST_F(RelationshipReplayTest, ArrowTypesUndoAndRedo) {
  r->setEnd1ArrowType(0);
  endPass();
  r->setEnd2ArrowType(2);
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(r->arrowTypeEnd2(), 1);
  EXPECT_EQ(r->arrowTypeEnd1(), 0);
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(r->arrowTypeEnd1(), 1);
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(r->arrowTypeEnd1(), 0);
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(r->arrowTypeEnd2(), 2);
}

TEST_F(RelationshipReplayTest, ColourUndoAndRedo) {
  r->setColourWithRGB255(RGB255{255, 0, 0}, true);
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(r->getColourAsString(), "00FF00");
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(r->getColourAsString(), "FF0000");
}

TEST_F(RelationshipReplayTest, ControlPointMoveUndoAndRedo) {
  Point before = r->center();
  // As a drag records it on its first move.
  doc->pushUndoRedoOperation("relationship-move", kit::Value(kit::Dictionary{{"uuid", r->uuid()}, {"centre", before}}));
  r->moveByX(40, -30);
  Point after = r->center();
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(r->center(), before);
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(r->center(), after);
}

TEST_F(RelationshipReplayTest, AMoveRecordWithoutAPointMovesNothing) {
  Point before = r->center();
  doc->pushUndoRedoOperation("relationship-move", kit::Value(kit::Dictionary{{"uuid", r->uuid()}, {"centre", "{1, 2}"}}));
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(r->center(), before);
}

TEST_F(RelationshipReplayTest, UndoingACreationRemovesTheRelationship) {
  doc->pushUndoRedoOperation("delete-relationship", kit::Value(kit::Dictionary{{"uuid", r->uuid()}}));
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_TRUE(canvas->relationships().empty());
  EXPECT_TRUE(a->getRelationships().empty());
  EXPECT_TRUE(undo().canRedo());  // the whole-map snapshot taken first
}

TEST_F(RelationshipReplayTest, RecordsOfARelationshipGoneWithItsTopicReplayNothing) {
  r->setEnd1ArrowType(0);
  r->setColourWithRGB255(RGB255{1, 2, 3}, true);
  endPass();
  canvas->deleteBranch(a);
  endPass();
  EXPECT_TRUE(canvas->relationships().empty());
  EXPECT_TRUE(undo().undo());  // nothing to replay on, nothing breaks
  EXPECT_TRUE(canvas->relationships().empty());
}

TEST_F(RelationshipReplayTest, BoundaryFlagUndoAndRedo) {
  a->setHasBoundary(true, true);
  endPass();
  a->getRoot()->recalcBoundaries();
  ASSERT_FALSE(a->boundaryPoints().empty());
  ASSERT_TRUE(undo().undo());
  EXPECT_FALSE(a->hasBoundary());
  EXPECT_TRUE(a->boundaryPoints().empty());
  ASSERT_TRUE(undo().redo());
  EXPECT_TRUE(a->hasBoundary());
  EXPECT_FALSE(a->boundaryPoints().empty());  // the outline is rebuilt with the replay
}
