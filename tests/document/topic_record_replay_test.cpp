// Undo and redo of the link, note, task, resource and icon records through the document
// controller's replay.
#include <gtest/gtest.h>

#include "document/pseudo_map_view_controller.h"
#include "kit/core/run_loop.h"
#include "kit/testing/fixtures.h"

using kit::Point;

namespace {

class ReplayTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    doc = std::make_unique<PseudoMapViewController>();
    canvas = doc->bigView();
    root = canvas->createChildNodeOf(nullptr, Point(17000, 15000));
    topic = canvas->createChildNodeOf(root, Point(17300, 15000));
    endPass();
  }
  void TearDown() override { doc.reset(); }

  void endPass() { kit::RunLoop::main().runOnce(); }
  kit::UndoManager& undo() { return *doc->undoManager(); }

  std::unique_ptr<PseudoMapViewController> doc;
  BigView* canvas = nullptr;
  NodeView* root = nullptr;
  NodeView* topic = nullptr;
};

constexpr kit::Date kStart{1700000000};
constexpr kit::Date kDue{1700600000};

}  // namespace

TEST_F(ReplayTest, LinkAndNote) {
  topic->setLink(std::string("http://example.org"), true);
  topic->setNote(std::string("Bring the slides"), true);
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(topic->strLink(), "");
  EXPECT_EQ(topic->strNote(), "");
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(topic->strLink(), "http://example.org");
  EXPECT_EQ(topic->strNote(), "Bring the slides");
}

TEST_F(ReplayTest, DatesProgressEffortAndRollup) {
  topic->setStartDate(kStart, true);
  topic->setDueDate(kDue, true);
  topic->setProgress(60, true);
  topic->setEffort(std::string("3h"), true);
  topic->setIsRollupTask(true, true);
  endPass();
  // A second step changes the dates again, so undo restores values, not just absence.
  topic->setStartDate(kDue, true);
  topic->setProgress(100, true);
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(topic->startDate(), kStart);
  EXPECT_EQ(topic->percentComplete(), 60);
  ASSERT_TRUE(undo().undo());
  EXPECT_FALSE(topic->startDate().has_value());
  EXPECT_FALSE(topic->dueDate().has_value());
  EXPECT_EQ(topic->percentComplete(), -1);
  EXPECT_FALSE(topic->getEffort().has_value());
  EXPECT_FALSE(topic->isRollupTask());
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(topic->startDate(), kStart);
  EXPECT_EQ(topic->dueDate(), kDue);
  EXPECT_EQ(topic->percentComplete(), 60);
  EXPECT_EQ(topic->getEffort(), "3h");
  EXPECT_TRUE(topic->isRollupTask());
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(topic->startDate(), kDue);
  EXPECT_EQ(topic->percentComplete(), 100);
}

TEST_F(ReplayTest, ResourcesComeBackByName) {
  topic->setResources("Ann,Bob", "");
  topic->addResource("Cy", true);
  endPass();
  topic->removeResource("Ann", false, true);
  endPass();
  topic->renameResourceFrom("Bob", "Dee", false, true);
  endPass();
  EXPECT_EQ(topic->getResourceNames(), "Cy,Dee");
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(topic->getResourceNames(), "Bob,Cy");
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(topic->getResourceNames(), "Ann,Bob,Cy");
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(topic->getResourceNames(), "Ann,Bob");
  ASSERT_TRUE(undo().redo());
  ASSERT_TRUE(undo().redo());
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(topic->getResourceNames(), "Cy,Dee");
}

TEST_F(ReplayTest, IconsRestoreUnsetSlots) {
  topic->setIcon1(std::string("flag-red"), std::nullopt, true);
  endPass();
  topic->setIcon1(std::string("check"), std::string("bell"), true);
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(topic->strIcon1(), "flag-red");
  EXPECT_FALSE(topic->isIcon2Set());
  ASSERT_TRUE(undo().undo());
  EXPECT_FALSE(topic->strIcon1().has_value());
  EXPECT_FALSE(topic->strIcon2().has_value());
  ASSERT_TRUE(undo().redo());
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(topic->strIcon2(), "bell");
}

TEST_F(ReplayTest, BranchStyleAndCopiedAttributesUndoInOneGroup) {
  NodeView* child = canvas->createChildNodeOf(topic, Point(17600, 15000));
  NodeView* callout = canvas->createChildNodeOf(topic, Point(17600, 15200));
  callout->setIsCallout(true, false);
  endPass();
  undo().beginUndoGrouping();
  topic->setWidth(120, true, true);
  topic->copyAttributes(kit::Value(kit::Dictionary{{"_progress", 50}, {"_effort", "2d"}}), 0x1200, 0x2, true);
  undo().endUndoGrouping();
  endPass();
  EXPECT_EQ(child->getWidth(), 120.0f);
  EXPECT_EQ(child->percentComplete(), 50);
  EXPECT_EQ(callout->percentComplete(), -1);
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(topic->getWidth(), 0.0f);
  EXPECT_EQ(child->getWidth(), 0.0f);
  EXPECT_EQ(child->percentComplete(), -1);
  EXPECT_FALSE(child->getEffort().has_value());
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(child->getWidth(), 120.0f);
  EXPECT_EQ(topic->getEffort(), "2d");
}

TEST_F(ReplayTest, UnknownActionsAndMissingTopicsChangeNothing) {
  doc->onUndoRedo(kit::Value(kit::Dictionary{{"action", "topic-icon"}, {"details", kit::Dictionary{{"uuid", "gone"}}}}));
  doc->onUndoRedo(kit::Value(kit::Dictionary{{"action", "topic-nonsense"},
                                             {"details", kit::Dictionary{{"uuid", topic->uuid()}}}}));
  // Details of the wrong types read as empty values.
  doc->onUndoRedo(kit::Value(kit::Dictionary{
      {"action", "topic-task-start"}, {"details", kit::Dictionary{{"uuid", topic->uuid()}, {"date", "yesterday"}}}}));
  EXPECT_FALSE(topic->startDate().has_value());
  EXPECT_FALSE(topic->isIcon1Set());
}
