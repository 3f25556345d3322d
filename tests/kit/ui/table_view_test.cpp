// Tables (sections, headers, row geometry, reuse) and the navigation stack's appear calls.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "kit/ui/table_view.h"

namespace kit {
namespace {

struct Source : TableViewDataSource {
  std::vector<int> rows{2, 3};
  std::vector<TableViewCell*> handedOut;
  int numberOfSectionsInTableView(TableView&) override { return static_cast<int>(rows.size()); }
  int numberOfRowsInSection(TableView&, int s) override { return rows[static_cast<std::size_t>(s)]; }
  std::optional<std::string> titleForHeaderInSection(TableView&, int s) override {
    return s == 0 ? std::optional<std::string>("A") : std::nullopt;
  }
  std::unique_ptr<TableViewCell> cellForRowAtIndexPath(TableView& t, IndexPath p) override {
    if (p.section == 1 && p.row == 2) return nullptr;
    auto cell = t.dequeueReusableCellWithIdentifier("Cell");
    if (!cell) cell = std::make_unique<TableViewCell>("Cell");
    handedOut.push_back(cell.get());
    return cell;
  }
};

TEST(TableViewTest, SectionsHeadersRowsAndReuse) {
  TableView table(Rect(0, 0, 320, 400));
  Source source;
  table.setDataSource(&source);
  table.reloadData();
  EXPECT_EQ(table.contentHeight(), 22 + 2 * 44 + 3 * 44);
  EXPECT_EQ(table.rectForRowAtIndexPath(IndexPath{1, 0}), Rect(0, 110, 320, 44));
  EXPECT_EQ(table.indexPathForRowAtPoint(Point(5, 30)), (IndexPath{0, 0}));
  EXPECT_FALSE(table.indexPathForRowAtPoint(Point(5, 10)).has_value());  // the header
  EXPECT_FALSE(table.indexPathForRowAtPoint(Point(5, 300)).has_value());
  ASSERT_NE(table.cellForRowAtIndexPath(IndexPath{1, 2}), nullptr);  // nullptr from the source: an empty cell
  table.selectRowAtIndexPath(IndexPath{0, 1}, false);
  EXPECT_TRUE(table.cellForRowAtIndexPath(IndexPath{0, 1})->isSelected());

  const std::set<TableViewCell*> first(source.handedOut.begin(), source.handedOut.end());
  source.handedOut.clear();
  source.rows = {1, -4};
  table.reloadData();
  EXPECT_EQ(table.numberOfRowsInSection(1), 0);
  ASSERT_EQ(source.handedOut.size(), 1u);
  EXPECT_EQ(first.count(source.handedOut[0]), 1u);  // a queued cell, not a new one
  EXPECT_FALSE(source.handedOut[0]->isSelected());
  EXPECT_FALSE(table.indexPathForSelectedRow().has_value());
}

struct Screen : ViewController {
  explicit Screen(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
  void viewDidAppear(bool) override { log_.push_back(name_ + " appear"); }
  void viewDidDisappear(bool) override { log_.push_back(name_ + " disappear"); }
  std::vector<std::string>& log_;
  std::string name_;
};

TEST(TableViewTest, NavigationStackAppearsAndPops) {
  std::vector<std::string> log;
  NavigationController nav(std::make_unique<Screen>(log, "root"));
  nav.view().setFrame(Rect(0, 0, 320, 480));
  nav.viewDidAppear(false);
  auto pushed = std::make_unique<Screen>(log, "next");
  Screen* next = pushed.get();
  nav.pushViewController(std::move(pushed), true);
  EXPECT_EQ(next->navigationController(), &nav);
  EXPECT_EQ(next->view().frame(), Rect(0, 44, 320, 436));
  std::unique_ptr<ViewController> gone = nav.popViewControllerAnimated(true);
  EXPECT_EQ(gone.get(), next);
  EXPECT_EQ(next->navigationController(), nullptr);
  EXPECT_EQ(nav.popViewControllerAnimated(true), nullptr);  // the root stays
  EXPECT_EQ(log, (std::vector<std::string>{"root appear", "root disappear", "next appear", "next disappear",
                                           "root appear"}));
}

}  // namespace
}  // namespace kit
