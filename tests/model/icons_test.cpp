// The two icon slots of a topic and the translation of foreign icon names.
#include <gtest/gtest.h>

#include "model/app_services.h"
#include "model/tree_builder.h"

namespace {

// Knows one FreeMind name.
class OneIconTable : public AppServices::IconTable {
 public:
  std::optional<std::string> getExportIconFromName(std::string_view, int) const override { return std::nullopt; }
  std::optional<std::string> getNativeIconGivenName(std::string_view name, int format) const override {
    if (format == 29 && name == "full-1") return std::string("priority-1");
    return std::nullopt;
  }
};

class InstalledTable {
 public:
  explicit InstalledTable(const AppServices::IconTable* t) : previous_(AppServices::iconTable()) {
    AppServices::installIconTable(t);
  }
  ~InstalledTable() { AppServices::installIconTable(previous_); }

 private:
  const AppServices::IconTable* previous_;
};

}  // namespace

TEST(TopicIcons, AddNamedFillsTheFirstFreeSlot) {
  TreeBuilder t;
  NodeView* root = t.central();
  EXPECT_FALSE(root->isIcon1Set());
  root->setStrIcon2(std::string("flag"));
  root->addIconNamed("star");
  EXPECT_EQ(root->strIcon1(), "star");
  EXPECT_EQ(root->strIcon2(), "flag");
  root->addIconNamed("smile");  // both set: nothing
  EXPECT_EQ(root->strIcon1(), "star");
  EXPECT_EQ(root->strIcon2(), "flag");
  // An empty name counts as no icon.
  root->setStrIcon1(std::string(""));
  EXPECT_FALSE(root->isIcon1Set());
  root->addIconNamed("smile");
  EXPECT_EQ(root->strIcon1(), "smile");
  EXPECT_TRUE(t.doc.records.empty());
}

TEST(TopicIcons, ForeignNamesTranslateOrSurviveMarked) {
  OneIconTable table;
  InstalledTable installed(&table);
  TreeBuilder t;
  NodeView* root = t.central();
  root->addIcon("full-1", 29);
  EXPECT_EQ(root->strIcon1(), "priority-1");
  root->addIcon("", 29);  // nothing
  EXPECT_FALSE(root->isIcon2Set());
  root->addIcon("bell", 29);
  EXPECT_EQ(root->strIcon2(), "!29!bell");
}

TEST(TopicIcons, WithoutATableEveryForeignNameIsKept) {
  InstalledTable none(nullptr);
  TreeBuilder t;
  NodeView* root = t.central();
  root->addIcon("full-1", 29);
  EXPECT_EQ(root->strIcon1(), "!29!full-1");
}

TEST(TopicIcons, SetterRecordsThePreviousNamesAndMarksTheTally) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setNodeModTally(0);
  root->setIcon1(std::string("star"), std::nullopt, true);
  ASSERT_EQ(t.doc.records.size(), 1u);
  EXPECT_EQ(t.doc.records[0].action, "topic-icon");
  EXPECT_EQ(t.doc.records[0].details["uuid"].string(), root->uuid());
  EXPECT_EQ(t.doc.records[0].details["icon1"].string(), "");
  EXPECT_EQ(t.doc.records[0].details["icon2"].string(), "");
  EXPECT_TRUE(t.doc.records[0].details["icon2"].isString());
  EXPECT_EQ(root->nodeModTally(), NodeModTally::Icons);
  root->setIcon1(std::string("flag"), std::string("smile"), true);
  EXPECT_EQ(t.doc.records[1].details["icon1"].string(), "star");
  EXPECT_EQ(root->strIcon2(), "smile");
  kit::Value d = root->dumpToDictionary(NodeModTally::Icons);
  EXPECT_EQ(d["_icon1"].string(), "flag");
  EXPECT_EQ(d["_icon2"].string(), "smile");
}
