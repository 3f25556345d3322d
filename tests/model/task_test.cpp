// Task data: dates, progress, effort and resources; copying attributes with task data.
#include <gtest/gtest.h>

#include "model/tree_builder.h"

namespace {
constexpr kit::Date kMonday{1700000000};
constexpr kit::Date kFriday{1700345600};

std::vector<std::string> names(const NodeView* n) {
  std::vector<std::string> out;
  for (const kit::Value& r : n->getResources()) out.push_back(r["name"].string());
  return out;
}
}  // namespace

TEST(TaskDates, UnchangedDatesDoNothingAtAll) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setNodeModTally(0);
  root->setStartDate(std::nullopt, true);
  EXPECT_EQ(root->nodeModTally(), 0u);
  root->setStartDate(kMonday, true);
  root->setStartDate(kit::Date{kMonday.seconds}, true);  // equal date
  EXPECT_EQ(root->nodeModTally(), NodeModTally::StartDate);
  root->setDueDate(kFriday, true);
  root->setStartDate(std::nullopt, true);
  ASSERT_EQ(t.doc.records.size(), 3u);
  EXPECT_EQ(t.doc.records[0].action, "topic-task-start");
  EXPECT_FALSE(t.doc.records[0].details.contains("date"));  // there was none
  EXPECT_EQ(t.doc.records[1].action, "topic-task-due");
  EXPECT_EQ(t.doc.records[2].details["date"].date(), kMonday);
  EXPECT_FALSE(root->startDate().has_value());
  EXPECT_EQ(root->dueDate(), kFriday);
  EXPECT_EQ(root->nodeModTally(), NodeModTally::StartDate | NodeModTally::DueDate);
}

TEST(TaskProgress, SameValuePushesNothingAndSetsNoTally) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setNodeModTally(0);
  root->setProgress(-1, true);
  EXPECT_TRUE(t.doc.records.empty());
  EXPECT_EQ(root->nodeModTally(), 0u);
  root->setProgress(50, true);
  ASSERT_EQ(t.doc.records.size(), 1u);
  EXPECT_EQ(t.doc.records[0].action, "topic-task-progress");
  EXPECT_EQ(t.doc.records[0].details["progress"].intValue(), -1);
  EXPECT_EQ(root->nodeModTally(), NodeModTally::Progress);
  EXPECT_EQ(root->percentComplete(), 50);
}

TEST(TaskEffort, ZeroMinutesMeansNoEffort) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setEffort(std::string("0h"), true);
  EXPECT_FALSE(root->getEffort().has_value());
  EXPECT_TRUE(t.doc.records.empty());  // no effort over no effort is no change
  root->setEffort(std::string("2.50h"), true);
  EXPECT_EQ(root->getEffort(), "2.50h");
  root->setEffort(std::string("2.50h"), true);
  root->setEffort(std::string("nonsense"), true);  // reads as 0 minutes
  EXPECT_FALSE(root->getEffort().has_value());
  ASSERT_EQ(t.doc.records.size(), 2u);
  EXPECT_EQ(t.doc.records[0].action, "topic-task-effort");
  EXPECT_EQ(t.doc.records[0].details["effort"].string(), "");
  EXPECT_EQ(t.doc.records[1].details["effort"].string(), "2.50h");
}

TEST(TaskResources, LoadingsMatchTheGivenOrderBeforeTheSort) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setResources("Bob;Ann,,", "50,80");
  EXPECT_EQ(names(root), (std::vector<std::string>{"Ann", "Bob"}));
  EXPECT_EQ(root->getResourceNames(), "Ann,Bob");
  EXPECT_EQ(root->getResourceLoadings(), "80,50");
  // Blanks are trimmed; a loading list longer than the names is cut; empty loadings read 100.
  root->setResources(" Zed ;\n Amy\t", " , 30, 70, 90");
  EXPECT_EQ(root->getResourceNames(), "Amy,Zed");
  EXPECT_EQ(root->getResourceLoadings(), "30,100");
  // Every Unicode blank and line end: no-break and ideographic spaces, line separators.
  root->setResources("\u00A0Zed\u3000;\u2028Amy\u0085", "\u200A40\u00A0");
  EXPECT_EQ(root->getResourceNames(), "Amy,Zed");
  EXPECT_EQ(root->getResourceLoadings(), "100,40");
  root->setResources("", "");
  EXPECT_FALSE(root->getResourceNames().has_value());
  EXPECT_FALSE(root->getResourceLoadings().has_value());
  // Resources without names are a list all the same: empty text, not nothing.
  root->addResource("", false);
  EXPECT_EQ(root->getResourceNames(), "");
  EXPECT_EQ(root->getResourceLoadings(), "");
  EXPECT_TRUE(t.doc.records.empty());
}

TEST(TaskResources, AddRemoveAndRenameRecordTheInverse) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setNodeModTally(0);
  root->addResource("Kim", true);
  root->addResource("Al", true);
  root->addResource("Kim", true);  // present once: nothing
  EXPECT_EQ(names(root), (std::vector<std::string>{"Al", "Kim"}));
  EXPECT_EQ(root->getResourceLoadings(), "100,100");
  EXPECT_EQ(root->nodeModTally(), NodeModTally::Resources);
  root->renameResourceFrom("Al", "Zoe", false, true);
  EXPECT_EQ(names(root), (std::vector<std::string>{"Kim", "Zoe"}));
  root->removeResource("Kim", false, true);
  root->removeResource("Nobody", false, true);
  EXPECT_EQ(names(root), (std::vector<std::string>{"Zoe"}));
  ASSERT_EQ(t.doc.records.size(), 4u);
  EXPECT_EQ(t.doc.records[0].action, "topic-task-resource-remove");
  EXPECT_EQ(t.doc.records[0].details["name"].string(), "Kim");
  EXPECT_EQ(t.doc.records[2].action, "topic-task-resource-rename");
  EXPECT_EQ(t.doc.records[2].details["from"].string(), "Zoe");
  EXPECT_EQ(t.doc.records[2].details["to"].string(), "Al");
  EXPECT_EQ(t.doc.records[3].action, "topic-task-resource-add");
  EXPECT_EQ(t.doc.records[3].details["name"].string(), "Kim");
}

TEST(TaskResources, DuplicateNamesAreAmbiguous) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setResources("Ann,Bob", "");
  root->renameResourceFrom("Bob", "Ann", false, false);
  EXPECT_EQ(root->getResourceByName("Ann"), nullptr);
  root->removeResource("Ann", false, false);
  root->renameResourceFrom("Ann", "Cy", false, false);
  EXPECT_EQ(names(root), (std::vector<std::string>{"Ann", "Ann"}));
  root->addResource("Ann", false);
  EXPECT_EQ(names(root).size(), 3u);
  EXPECT_EQ(root->getResourceNames(), "Ann,Ann,Ann");
}

TEST(TaskResources, RecursiveChangesReachEveryKindOfChild) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* c = t.callout(a, "C");
  NodeView* f = t.floating(root, "F");
  for (NodeView* n : {root, a, c, f}) n->addResource("Pat", false);
  a->addResource("Lee", false);
  EXPECT_EQ(root->getResourcesForBranch(), (std::set<std::string>{"Lee", "Pat"}));
  root->renameResourceFrom("Pat", "Sam", true, true);
  for (NodeView* n : {root, a, c, f}) EXPECT_NE(n->getResourceByName("Sam"), nullptr);
  EXPECT_EQ(t.doc.records.size(), 4u);
  a->removeResource("Sam", true, false);
  EXPECT_EQ(a->getResourceByName("Sam"), nullptr);
  EXPECT_EQ(c->getResourceByName("Sam"), nullptr);
  EXPECT_NE(root->getResourceByName("Sam"), nullptr);
  EXPECT_EQ(a->getResourcesForBranch(), std::set<std::string>{"Lee"});
}

// ---- Copying task data ------------------------------------------------------------------------------

TEST(TaskCopy, MissingKeysClearDatesAndEffortButNotProgress) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* src = t.add(root, "S");
  NodeView* dst = t.add(root, "D");
  dst->setStartDate(kMonday, false);
  dst->setDueDate(kFriday, false);
  dst->setEffort(std::string("3d"), false);
  dst->setProgress(40, false);
  kit::Value d = src->dumpToDictionary(0x1E00);
  EXPECT_FALSE(d.contains("_startDate"));
  EXPECT_FALSE(d.contains("_effort"));
  EXPECT_EQ(d["_progress"].intValue(), -1);
  dst->copyAttributes(kit::Value(kit::Dictionary{}), 0x1E00, 0, false);
  EXPECT_FALSE(dst->startDate().has_value());
  EXPECT_FALSE(dst->dueDate().has_value());
  EXPECT_FALSE(dst->getEffort().has_value());
  EXPECT_EQ(dst->percentComplete(), 40);  // a missing progress leaves it
  dst->cloneAttributes(0x1E00, src, 0, false);
  EXPECT_EQ(dst->percentComplete(), -1);
}

TEST(TaskCopy, ResourcesAreReplacedWithoutTheirLoadings) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* src = t.add(root, "S");
  NodeView* dst = t.add(root, "D");
  src->setResources("Ann,Bob", "20,30");
  dst->setResources("Old", "");
  dst->cloneAttributes(NodeModTally::Resources, src, 0, true);
  EXPECT_EQ(dst->getResourceNames(), "Ann,Bob");
  EXPECT_EQ(dst->getResourceLoadings(), "100,100");
  ASSERT_EQ(t.doc.records.size(), 3u);
  EXPECT_EQ(t.doc.records[0].action, "topic-task-resource-add");  // undoing re-adds "Old"
  EXPECT_EQ(t.doc.records[0].details["name"].string(), "Old");
  // Without undo the list is emptied directly; no names means no resources.
  src->setResources("", "");
  dst->cloneAttributes(NodeModTally::Resources, src, 0, false);
  EXPECT_TRUE(dst->getResources().empty());
}

TEST(TaskCopy, DatesEffortIconsAndCalloutRoundTrip) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* src = t.add(root, "S");
  NodeView* dst = t.add(root, "D");
  src->setStartDate(kMonday, false);
  src->setDueDate(kFriday, false);
  src->setEffort(std::string("1w"), false);
  src->setProgress(100, false);
  src->setIcon1(std::nullopt, std::string("flag"), false);
  src->setIsCallout(true, false);
  dst->setIcon1(std::string("star"), std::string("smile"), false);
  const std::uint32_t mask = 0x7E20;
  dst->cloneAttributes(mask, src, 0, true);
  EXPECT_EQ(dst->startDate(), kMonday);
  EXPECT_EQ(dst->dueDate(), kFriday);
  EXPECT_EQ(dst->getEffort(), "1w");
  EXPECT_EQ(dst->percentComplete(), 100);
  EXPECT_FALSE(dst->strIcon1().has_value());
  EXPECT_EQ(dst->strIcon2(), "flag");
  EXPECT_TRUE(dst->isCallout());
  // Applying the same again pushes only the icon record (it always records).
  t.doc.records.clear();
  dst->cloneAttributes(mask, src, 0, true);
  ASSERT_EQ(t.doc.records.size(), 1u);
  EXPECT_EQ(t.doc.records[0].action, "topic-icon");
}

TEST(TaskCopy, SameStyleStillPushesTheStyleRecords) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(root, "B");
  a->cloneAttributes(0x1CC | 0x200 | 0x20, b, 0, true);
  std::vector<std::string> actions;
  for (const PushedRecord& r : t.doc.records) actions.push_back(r.action);
  EXPECT_EQ(actions, (std::vector<std::string>{"topic-colour", "topic-shape", "topic-width", "topic-font"}));
}

TEST(TaskCopy, ScopeReachesSiblingsAndBranchesButNeverCalloutsOrFloating) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* a1 = t.add(a, "A1");
  NodeView* ac = t.callout(a, "AC");
  NodeView* b = t.add(root, "B");
  NodeView* b1 = t.add(b, "B1");
  NodeView* f = t.floating(root, "F");
  NodeView* f1 = t.add(f, "F1");
  kit::Value d(kit::Dictionary{{"_progress", 25}});
  a->copyAttributes(d, NodeModTally::Progress, 0x6, true);
  for (NodeView* n : {a, a1, b, b1}) EXPECT_EQ(n->percentComplete(), 25);
  for (NodeView* n : {ac, f, f1, root}) EXPECT_EQ(n->percentComplete(), -1);
  EXPECT_EQ(t.doc.records.size(), 4u);  // each reached topic changes once
  // A floating receiver changes and spreads down, not sideways.
  f->copyAttributes(kit::Value(kit::Dictionary{{"_progress", 75}}), NodeModTally::Progress, 0x6, false);
  EXPECT_EQ(f->percentComplete(), 75);
  EXPECT_EQ(f1->percentComplete(), 75);
  EXPECT_EQ(a->percentComplete(), 25);
}

TEST(TaskCopy, BoundaryAndCalloutFlagsCopyWithTheirRecords) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* src = t.add(root, "S");
  NodeView* dst = t.add(root, "D");
  NodeViewTestAccess::setHasBoundary(src, true);
  kit::Value d = src->dumpToDictionary(NodeModTally::Boundary | NodeModTally::Callout);
  EXPECT_TRUE(d["_boundary"].boolValue());
  EXPECT_FALSE(d["_callout"].boolValue());
  dst->copyAttributes(d, NodeModTally::Boundary | NodeModTally::Callout, 0, true);
  EXPECT_TRUE(dst->hasBoundary());
  ASSERT_EQ(t.doc.records.size(), 1u);  // the callout flag did not change
  EXPECT_EQ(t.doc.records[0].action, "topic-boundary");
  // A dictionary without the keys leaves both flags.
  dst->copyAttributes(kit::Value(kit::Dictionary{}), NodeModTally::Boundary | NodeModTally::Callout, 0, true);
  EXPECT_TRUE(dst->hasBoundary());
}
