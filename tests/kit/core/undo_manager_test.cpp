#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/core/undo_manager.h"
#include "kit/testing/fixtures.h"

using namespace kit;

namespace {

// A document whose value changes are recorded as undo steps holding the value to restore, the
// way the map's records are replayed.
class UndoTest : public ManualClockTest {
 protected:
  UndoManager undo;
  int value = 0;
  std::vector<int> replayed;

  void set(int v) {
    int old = value;
    value = v;
    undo.registerUndo(this, "set", Value(old), [this](const Value& o) {
      replayed.push_back(static_cast<int>(o.integerValue()));
      set(static_cast<int>(o.integerValue()));  // records the inverse
    });
  }
  void endPass() { time_.runOnce(); }
};

}  // namespace

TEST_F(UndoTest, OnePassIsOneStep) {
  set(1);
  set(2);
  set(3);
  EXPECT_EQ(undo.groupingLevel(), 1);
  endPass();
  EXPECT_EQ(undo.groupingLevel(), 0);
  set(4);
  endPass();
  EXPECT_EQ(undo.undoCount(), 2u);

  ASSERT_TRUE(undo.undo());
  EXPECT_EQ(value, 3);
  ASSERT_TRUE(undo.undo());
  EXPECT_EQ(value, 0);
  EXPECT_EQ(replayed, (std::vector<int>{3, 2, 1, 0}));  // reverse order of registration
  EXPECT_FALSE(undo.canUndo());
  EXPECT_FALSE(undo.undo());
}

TEST_F(UndoTest, RegistrationsWhileUndoingGoToRedoAndBack) {
  set(5);
  endPass();
  undo.undo();
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(undo.canRedo());
  EXPECT_FALSE(undo.canUndo());
  ASSERT_TRUE(undo.redo());
  EXPECT_EQ(value, 5);
  EXPECT_TRUE(undo.canUndo());  // redoing recorded onto the undo stack
  EXPECT_FALSE(undo.canRedo());
  undo.undo();
  undo.redo();
  undo.undo();
  EXPECT_EQ(value, 0);
  EXPECT_EQ(undo.undoCount(), 0u);
  EXPECT_EQ(undo.redoCount(), 1u);
}

TEST_F(UndoTest, NewRegistrationClearsRedoButRedoingDoesNot) {
  set(1);
  endPass();
  set(2);
  endPass();
  undo.undo();
  undo.undo();
  EXPECT_EQ(undo.redoCount(), 2u);
  undo.redo();
  EXPECT_EQ(undo.redoCount(), 1u);  // the redo itself did not clear the rest
  set(7);
  EXPECT_FALSE(undo.canRedo());
}

TEST_F(UndoTest, StateFlagsDuringReplay) {
  set(1);
  endPass();
  bool sawUndoing = false, sawRedoing = false;
  undo.registerUndo(this, "probe", {}, [&](const Value&) {
    sawUndoing = undo.isUndoing();
    undo.registerUndo(this, "probe", {}, [&](const Value&) { sawRedoing = undo.isRedoing(); });
  });
  endPass();
  undo.undo();
  EXPECT_TRUE(sawUndoing);
  EXPECT_FALSE(undo.isUndoing());
  undo.redo();
  EXPECT_TRUE(sawRedoing);
  EXPECT_FALSE(undo.isRedoing());
}

TEST_F(UndoTest, NestedExplicitGroupsJoinTheirPass) {
  undo.setGroupsByEvent(false);
  undo.beginUndoGrouping();
  set(1);
  undo.beginUndoGrouping();
  set(2);
  undo.endUndoGrouping();
  EXPECT_EQ(undo.groupingLevel(), 1);
  EXPECT_FALSE(undo.canUndo());
  set(3);
  undo.endUndoGrouping();
  EXPECT_EQ(undo.undoCount(), 1u);
  undo.undo();
  EXPECT_EQ(value, 0);
  EXPECT_EQ(replayed, (std::vector<int>{2, 1, 0}));
}

TEST_F(UndoTest, ExplicitGroupsInOnePassBecomeOneStep) {
  undo.beginUndoGrouping();
  set(1);
  undo.endUndoGrouping();
  undo.beginUndoGrouping();
  set(2);
  undo.endUndoGrouping();
  endPass();
  EXPECT_EQ(undo.undoCount(), 1u);
}

TEST_F(UndoTest, GroupSpanningPassesStaysOpenUntilEnded) {
  undo.beginUndoGrouping();
  set(1);
  endPass();
  set(2);
  endPass();
  EXPECT_EQ(undo.groupingLevel(), 2);
  EXPECT_FALSE(undo.undo());  // an explicit group is still open
  undo.endUndoGrouping();
  endPass();
  EXPECT_EQ(undo.undoCount(), 1u);
  undo.undo();
  EXPECT_EQ(value, 0);
}

TEST_F(UndoTest, UndoClosesThePassGroupFirst) {
  set(1);
  set(2);
  EXPECT_TRUE(undo.canUndo());
  ASSERT_TRUE(undo.undo());
  EXPECT_EQ(value, 0);
  EXPECT_EQ(undo.groupingLevel(), 0);
}

TEST_F(UndoTest, WithoutGroupingByEventEachRegistrationIsAStep) {
  undo.setGroupsByEvent(false);
  set(1);
  set(2);
  EXPECT_EQ(undo.undoCount(), 2u);
  undo.undo();
  EXPECT_EQ(value, 1);
}

TEST_F(UndoTest, UnbalancedEndIsIgnored) {
  undo.endUndoGrouping();
  EXPECT_EQ(undo.groupingLevel(), 0);
  undo.beginUndoGrouping();
  undo.endUndoGrouping();
  endPass();
  EXPECT_FALSE(undo.canUndo());  // empty groups are dropped
}

TEST_F(UndoTest, RemoveActionsOfOneTarget) {
  int other = 0;
  set(1);
  undo.registerUndo(&other, "other", {}, [&](const Value&) { other = 1; });
  endPass();
  undo.registerUndo(&other, "other", {}, [&](const Value&) { other = 2; });
  endPass();
  undo.removeAllActions(&other);
  EXPECT_EQ(undo.undoCount(), 1u);
  undo.undo();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(value, 0);
  undo.removeAllActions();
  EXPECT_FALSE(undo.canUndo());
  EXPECT_FALSE(undo.canRedo());
}

TEST_F(UndoTest, LevelsOfUndoDropTheOldest) {
  undo.setLevelsOfUndo(2);
  for (int i = 1; i <= 4; ++i) {
    set(i);
    endPass();
  }
  EXPECT_EQ(undo.undoCount(), 2u);
  undo.undo();
  undo.undo();
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(undo.undo());
}

TEST_F(UndoTest, ObjectIsKeptAndActionNamesFollowTheStep) {
  Dictionary details{{"action", "move"}, {"details", Dictionary{{"uuid", "A1"}}}};
  Value seen;
  undo.registerUndo(this, "onUndoRedo", Value(details), [&](const Value& o) { seen = o; });
  undo.setActionName("Move");
  details.clear();
  endPass();
  EXPECT_EQ(undo.undoActionName(), "Move");
  undo.undo();
  EXPECT_EQ(seen["action"].string(), "move");
  EXPECT_EQ(seen["details"]["uuid"].string(), "A1");
}
