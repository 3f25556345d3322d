// Undo and redo of the link, note, task, resource and icon records through the document
// controller's replay.
#include <gtest/gtest.h>

#include <set>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
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

// ---- Copying attributes: every flag, every scope, undone to the byte -----------------------------

TEST_F(ReplayTest, CopyAttributesEachFlagAndScopeUndoesExactly) {
  NodeView* sibling = canvas->createChildNodeOf(root, Point(17300, 15200));
  NodeView* grandchild = canvas->createChildNodeOf(topic, Point(17600, 15000));
  NodeView* callout = canvas->createChildNodeOf(root, Point(16800, 15000));
  callout->setIsCallout(true, false);
  NodeView* floating = canvas->createChildNodeOf(root, Point(16800, 15400));
  floating->setIsFloating(true, false);
  // Values of their own, so undo has to put back values and not merely clear.
  topic->addResource("Cy", false);
  sibling->setIcon1(std::string("smile"), std::nullopt, false);
  grandchild->setStartDate(kDue, false);
  grandchild->setColourWithRGB255(RGB255{9, 9, 9}, false, false);
  endPass();

  const kit::Value record(kit::Dictionary{{"_colour", "123456"}, {"_shape", 2}, {"_boundary", true},
                                          {"_callout", true}, {"_fontSize", 22}, {"_width", 150},
                                          {"_textStyle", 6}, {"_progress", 40}, {"_startDate", kStart},
                                          {"_dueDate", kDue}, {"_effort", "2h"}, {"_resources", "Ann,Bob"},
                                          {"_icon1", "flag"}, {"_icon2", "star"}});
  std::vector<NodeView*> all{root, topic, sibling, grandchild, callout, floating};
  const std::uint32_t scopes[] = {0, 0x4, 0x2};
  for (std::uint32_t flag = 0x4; flag <= 0x4000; flag <<= 1) {
    for (std::uint32_t scope : scopes) {
      SCOPED_TRACE(testing::Message() << "flag 0x" << std::hex << flag << " scope 0x" << scope);
      const std::string before = MapFormats::dumpMap(*canvas);
      std::vector<kit::Value> was;
      for (NodeView* n : all) was.push_back(n->dumpToDictionary(flag));
      undo().beginUndoGrouping();
      topic->copyAttributes(record, flag, scope, true);
      undo().endUndoGrouping();
      endPass();
      // The callout flag turns the receiver into a callout first, which then does not spread
      // to its siblings.
      std::set<NodeView*> reached{topic};
      if (scope == 0x4 && flag != NodeModTally::Callout) reached.insert(sibling);
      if (scope == 0x2) reached.insert(grandchild);
      for (std::size_t i = 0; i < all.size(); ++i) {
        const bool changed = !(all[i]->dumpToDictionary(flag) == was[i]);
        EXPECT_EQ(changed, reached.count(all[i]) == 1) << all[i]->strName() << " #" << i;
      }
      const std::string after = MapFormats::dumpMap(*canvas);
      EXPECT_NE(after, before);
      ASSERT_TRUE(undo().undo());
      EXPECT_EQ(MapFormats::dumpMap(*canvas), before);
      ASSERT_TRUE(undo().redo());
      EXPECT_EQ(MapFormats::dumpMap(*canvas), after);
      ASSERT_TRUE(undo().undo());
    }
  }
}

TEST_F(ReplayTest, RestoringPositionsSkipsTopicsThatAreGone) {
  NodeView* child = canvas->createChildNodeOf(topic, Point(17600, 15000));
  endPass();
  const kit::Value snapshot = root->snapshotNodePositions();
  ASSERT_EQ(snapshot.array().size(), 3u);
  topic->moveTo(Point(17400, 15300), false);
  canvas->deleteTopic(child);
  endPass();
  canvas->restoreNodePositions(snapshot);
  EXPECT_EQ(topic->center(), Point(17300, 15000));
  EXPECT_EQ(topic->childNodes().size(), 0u);
  EXPECT_EQ(canvas->getNodeByUUID(snapshot.array()[2]["uuid"].string()), nullptr);
}
