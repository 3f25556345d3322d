// The simple picker driven by touches: what it reports to its opener, its rows from stored lists
// of any shape, and its popover size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/simple_picker.h"
#include "kit/core/localization.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/testing/pictures.h"
#include "kit/ui/compositor.h"
#include "kit/ui/window.h"

using kit::IndexPath;
using kit::Point;
using kit::TableViewCellAccessory;

namespace {

struct Opener : kit::ViewControllerDelegate {
  struct Call {
    std::string kind;
    kit::ViewController* sender;
    kit::Value context;
  };
  void onDone(kit::ViewController& sender, const kit::Value& context) override { calls.push_back({"done", &sender, context}); }
  void onCancel(kit::ViewController& sender, const kit::Value& context) override {
    calls.push_back({"cancel", &sender, context});
  }
  std::vector<Call> calls;
};

kit::Value row(kit::Dictionary d) { return kit::Value(std::move(d)); }

// Pictures for people to look at go to the build tree, never the source tree.
void writePicture(kit::View& view, const std::string& name) {
  kit::ImageRef image = kit::renderViewTree(view, 2, kit::Color::white());
  ASSERT_TRUE(image);
  EXPECT_TRUE(kit::writeTestPicture(image, name));
}

class SimplePickerTest : public kit::ManualClockTest {
 protected:
  void open(kit::Array rows, std::optional<std::string> header = std::nullopt) {
    auto owned = std::make_unique<SimplePicker>();
    picker = owned.get();
    picker->setTheData(std::move(rows));
    picker->setHeader(std::move(header));
    picker->setViewControllerDelegate(&opener);
    picker->setUserContext(kit::Value("fill colour"));
    nav = std::make_unique<kit::NavigationController>(std::move(owned));
    nav->view().setFrame(window.bounds());
    window.addSubview(&nav->view());
    nav->viewDidAppear(false);
  }
  // The middle of a row, in window coordinates.
  Point rowPoint(int r) {
    kit::Rect rect = picker->tableView().rectForRowAtIndexPath(IndexPath{0, r});
    return picker->tableView().convertPointToView(Point(rect.midX(), rect.midY()), &window);
  }
  TableViewCellAccessory accessory(int r) {
    return picker->tableView().cellForRowAtIndexPath(IndexPath{0, r})->accessoryType();
  }

  kit::Window window{kit::Rect(0, 0, 320, 480)};
  kit::EventScript script{window};
  Opener opener;
  SimplePicker* picker = nullptr;
  std::unique_ptr<kit::NavigationController> nav;
};

}  // namespace

TEST_F(SimplePickerTest, TapsReportDoneAndBackReportsCancelWithThePicker) {
  open({row({{"text", "Red"}}), row({{"text", "Green"}, {"checked", true}}), row({{"text", "Blue"}})}, "Colours");
  script.tap(rowPoint(2));
  ASSERT_EQ(opener.calls.size(), 1u);
  EXPECT_EQ(opener.calls[0].kind, "done");
  EXPECT_EQ(opener.calls[0].sender, picker);
  EXPECT_TRUE(opener.calls[0].context.isNull());
  EXPECT_EQ(picker->selectedRow(), 2);
  EXPECT_EQ(picker->userContext().string(), "fill colour");
  // Deselected again, and the row that was tapped is not shown pressed.
  EXPECT_FALSE(picker->tableView().indexPathForSelectedRow().has_value());
  EXPECT_FALSE(picker->tableView().cellForRowAtIndexPath(IndexPath{0, 2})->isHighlighted());

  // A touch that slides off its row picks nothing.
  script.drag({rowPoint(0), rowPoint(1)}, 0.3);
  EXPECT_EQ(opener.calls.size(), 1u);

  ASSERT_NE(nav->leftBarButton(), nullptr);
  script.tap(nav->leftBarButton()->convertPointToView(Point(10, 10), &window));
  ASSERT_EQ(opener.calls.size(), 2u);
  EXPECT_EQ(opener.calls[1].kind, "cancel");
  EXPECT_EQ(opener.calls[1].sender, picker);
  EXPECT_TRUE(opener.calls[1].context.isNull());
  EXPECT_EQ(picker->selectedRow(), 2);

  // Without a delegate a tap only stores the row.
  picker->setViewControllerDelegate(nullptr);
  script.tap(rowPoint(0));
  EXPECT_EQ(opener.calls.size(), 2u);
  EXPECT_EQ(picker->selectedRow(), 0);
}

TEST_F(SimplePickerTest, RowsShowWhatTheyCanAndThePopoverFitsTheList) {
  kit::setLocalizedStrings({{"Red", "Rot"}});
  open({row({{"text", "Red"}, {"accessory", 1}, {"checked", true}}), row({{"text", "Green"}, {"checked", true}}),
        row({{"text", "Blue"}, {"checked", false}, {"image", "gear-small-black.png"}}), kit::Value("not a row"),
        row({{"text", 5}, {"accessory", "3"}, {"checked", "YES"}, {"image", 7}}), row({{"accessory", 77}}), row({{"text", "Purple"}})});
  kit::setLocalizedStrings({});
  kit::TableView& table = picker->tableView();
  ASSERT_EQ(table.numberOfRowsInSection(0), 7);
  EXPECT_EQ(accessory(0), TableViewCellAccessory::DisclosureIndicator);
  EXPECT_EQ(accessory(1), TableViewCellAccessory::Checkmark);
  EXPECT_EQ(accessory(2), TableViewCellAccessory::None);
  EXPECT_EQ(accessory(3), TableViewCellAccessory::None);
  EXPECT_EQ(accessory(4), TableViewCellAccessory::None);
  EXPECT_EQ(accessory(5), TableViewCellAccessory::None);
  EXPECT_EQ(table.cellForRowAtIndexPath(IndexPath{0, 0})->textLabel().text(), "Rot");
  EXPECT_EQ(table.cellForRowAtIndexPath(IndexPath{0, 1})->textLabel().text(), "Green");
  EXPECT_EQ(table.cellForRowAtIndexPath(IndexPath{0, 4})->textLabel().text(), "");
  EXPECT_NE(table.cellForRowAtIndexPath(IndexPath{0, 2})->imageView().image(), nullptr);
  EXPECT_EQ(table.cellForRowAtIndexPath(IndexPath{0, 4})->imageView().image(), nullptr);
  // Seven rows of 44 points: taller than the 275 minimum.
  EXPECT_EQ(picker->contentSizeForViewInPopover(), kit::Size(320, 308));
  EXPECT_TRUE(picker->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::LandscapeLeft));
  EXPECT_FALSE(picker->shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation::PortraitUpsideDown));
  // A reload takes cells from the reuse queue, with the same rows shown.
  table.reloadData();
  EXPECT_EQ(accessory(1), TableViewCellAccessory::Checkmark);
  EXPECT_EQ(accessory(0), TableViewCellAccessory::DisclosureIndicator);
  writePicture(nav->view(), "simple-picker.png");
  nav->viewDidDisappear(false);
  EXPECT_EQ(picker->contentSizeForViewInPopover(), kit::Size(320, 0));
}

TEST_F(SimplePickerTest, AnEmptyListInAPopoverIs275High) {
  auto owned = std::make_unique<SimplePicker>();
  owned->setHideBackButton(true);
  kit::PopoverController popover(*owned);
  popover.presentFromRect(kit::Rect(100, 10, 20, 20), window, false);
  EXPECT_EQ(owned->tableView().numberOfRowsInSection(0), 0);
  EXPECT_EQ(popover.popoverContentSize(), kit::Size(320, 275));
  EXPECT_FALSE(owned->navigationItem().leftBarButtonItem.has_value());
  popover.dismissPopoverAnimated(false);
  EXPECT_FALSE(popover.isPopoverVisible());
  EXPECT_EQ(owned->contentSizeForViewInPopover(), kit::Size(320, 0));

  // On a stack in a popover: the bar comes on top, and the picker gets the rest.
  auto stacked = std::make_unique<SimplePicker>();
  SimplePicker* inner = stacked.get();
  inner->setTheData({row({{"text", "Only row"}, {"checked", true}})});
  kit::NavigationController stack(std::move(stacked));
  kit::PopoverController framed(stack);
  kit::View host(kit::Rect(0, 0, 400, 380));
  host.setBackgroundColor(kit::Color::gray(0.6f));
  framed.presentFromRect(kit::Rect(150, 0, 100, 20), host, false);
  EXPECT_EQ(framed.popoverContentSize(), kit::Size(320, 319));
  EXPECT_EQ(inner->view().frame(), kit::Rect(0, 44, 320, 275));
  writePicture(host, "simple-picker-popover.png");
}
