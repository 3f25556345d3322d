// The task badge text, task dates as text, and reference ids.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "helpers/global_helpers_dates.h"
#include "kit/io/uuid.h"
#include "kit/text/date_format.h"
#include "model/node_view.h"
#include "model/tree_builder.h"

namespace {

class TaskTextTest : public ::testing::Test {
 protected:
  TaskTextTest() { topic_ = tree_.central("Topic"); }

  static kit::Date day(int y, int m, int d) { return *kit::dateFromLocalComponents({y, m, d, 0, 0, 0}); }
  // The badge's dates are the locale's short day, month and year.
  static std::string shortDate(kit::Date d) {
    kit::DateFormatter f;
    f.setLocalizedDateFormatFromTemplate("ddMMMyy");
    return f.stringFromDate(d);
  }

  TreeBuilder tree_;
  NodeView* topic_ = nullptr;
};

}  // namespace

// ---- Badge text ---------------------------------------------------------------------------------

TEST_F(TaskTextTest, NoTaskDataGivesAnEmptyBadge) { EXPECT_EQ(topic_->getTaskBadgeText(), ""); }

TEST_F(TaskTextTest, DatesShowAsStartDueOrARange) {
  const kit::Date start = day(2024, 3, 5), due = day(2024, 4, 30);
  ASSERT_NE(shortDate(start), shortDate(due));
  topic_->setStartDate(start, false);
  EXPECT_EQ(topic_->getTaskBadgeText(), "Start: " + shortDate(start));
  topic_->setDueDate(due, false);
  EXPECT_EQ(topic_->getTaskBadgeText(), shortDate(start) + " - " + shortDate(due));
  topic_->setStartDate(std::nullopt, false);
  EXPECT_EQ(topic_->getTaskBadgeText(), "Due: " + shortDate(due));
}

TEST_F(TaskTextTest, LinesComeInOrderDatesEffortResources) {
  const kit::Date due = day(2024, 4, 30);
  topic_->setDueDate(due, false);
  topic_->setEffort("1.50w", false);
  topic_->setResources("Bob,Ann", "50");
  EXPECT_EQ(topic_->getTaskBadgeText(), "Due: " + shortDate(due) + "\n1.50 Weeks\nAnn, Bob@50%");
}

TEST_F(TaskTextTest, ACompleteTaskShowsNoDates) {
  topic_->setStartDate(day(2024, 3, 5), false);
  topic_->setDueDate(day(2024, 4, 30), false);
  topic_->setEffort("2h", false);
  topic_->setProgress(100, false);
  EXPECT_EQ(topic_->getTaskBadgeText(), "2 Hours");
}

TEST_F(TaskTextTest, FullOrMissingLoadingsShowTheNameAlone) {
  topic_->setResources("Ann;Bob;Cy;Di", "100,,25,100.0");
  EXPECT_EQ(topic_->getTaskBadgeText(), "Ann, Bob, Cy@25%, Di");
  topic_->addResource("Eve", false);
  EXPECT_EQ(topic_->getTaskBadgeText(), "Ann, Bob, Cy@25%, Di, Eve");
}

// ---- Dates as text ------------------------------------------------------------------------------------

TEST_F(TaskTextTest, DatesReadAndWriteInTheSharedFormats) {
  const kit::Date start = day(2024, 3, 5);
  topic_->setStartDateFromString(*GlobalHelpers::createStringFromDate(start, 5), 5);
  EXPECT_EQ(topic_->startDate(), start);
  EXPECT_EQ(topic_->getStartDateAsStringFormattedAs(5), "2024-03-05 00:00:00");
  EXPECT_FALSE(topic_->getDueDateAsStringFormattedAs(5));
  topic_->setDueDateFromString("2024-04-30T10:15:00", 3);
  EXPECT_EQ(topic_->getDueDateAsStringFormattedAs(3), "2024-04-30T10:15:00");
  // Unreadable or missing text clears.
  topic_->setStartDateFromString("soon", 5);
  EXPECT_FALSE(topic_->startDate());
  topic_->setDueDateFromString(std::nullopt, 3);
  EXPECT_FALSE(topic_->dueDate());
}

// ---- Reference ids ------------------------------------------------------------------------------------

TEST_F(TaskTextTest, ReferenceIdsReachEveryKindOfDescendant) {
  NodeView* child = tree_.add(topic_, "child");
  NodeView* grandchild = tree_.add(child, "grandchild");
  NodeView* remark = tree_.callout(child, "remark");
  NodeView* loose = tree_.floating(topic_, "loose");
  NodeView* sibling = tree_.add(topic_, "untouched");
  const std::vector<NodeView*> branch{child, grandchild, remark};

  child->refreshReferenceID();
  std::set<std::string> ids;
  for (NodeView* n : branch) {
    ASSERT_TRUE(n->strReferenceID());
    EXPECT_TRUE(kit::parseUUID(*n->strReferenceID()));
    ids.insert(*n->strReferenceID());
  }
  EXPECT_EQ(ids.size(), branch.size());
  EXPECT_FALSE(sibling->strReferenceID());
  EXPECT_FALSE(loose->strReferenceID());

  topic_->refreshReferenceID();
  EXPECT_TRUE(loose->strReferenceID());
  EXPECT_EQ(ids.count(*child->strReferenceID()), 0u);  // new ids each time
  topic_->clearReferenceID();
  for (NodeView* n : {topic_, child, grandchild, remark, loose, sibling}) EXPECT_FALSE(n->strReferenceID());
}

