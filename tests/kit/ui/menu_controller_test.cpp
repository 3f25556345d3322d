// The shared edit menu: which items show, where the row stands, and the order of a chosen
// item's action and the did-hide notice.
#include "kit/ui/menu_controller.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/core/notification_center.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

std::vector<std::string> titles(const std::vector<MenuItem>& items) {
  std::vector<std::string> out;
  for (const MenuItem& m : items) out.push_back(m.title);
  return out;
}

// Accepts "a:" and "c:", logs what it runs and whether the menu was still up then.
class Target : public View {
 public:
  Target(const Rect& frame, std::vector<std::string>& log) : View(frame), log_(log) {}
  bool canBecomeFirstResponder() const override { return true; }
  bool canPerformAction(std::string_view action, const void*) const override {
    return action == "a:" || action == "c:";
  }
  bool performAction(std::string_view action, const void*) override {
    log_.push_back(std::string(action) + (MenuController::shared().isMenuVisible() ? " shown" : " hidden"));
    return true;
  }
  void touchesBegan(const TouchSet&, const Event&) override { log_.push_back("began"); }

 private:
  std::vector<std::string>& log_;
};

class MenuControllerTest : public ManualClockTest {
 protected:
  void SetUp() override {
    window.addSubview(&target);
    NotificationCenter::defaultCenter().addObserver(this, MenuController::kDidHideNotification, nullptr,
                                                    [this](const Notification&) { log.push_back("did-hide"); });
    menu.setMenuItems({{"A", "a:"}, {"B", "b:"}, {"C", "c:"}});
    menu.setArrowDirection(MenuArrowDirection::Default);
  }
  void TearDown() override {
    NotificationCenter::defaultCenter().removeObserver(this);
    menu.forgetView(&target);
  }
  void show(const Rect& r) {
    menu.setTargetRect(r, &target);
    menu.setMenuVisible(true, true);
  }

  MenuController& menu = MenuController::shared();
  std::vector<std::string> log;
  Window window{Rect(0, 0, 800, 600)};
  Target target{Rect(100, 100, 600, 400), log};
  EventScript script{window};
};

TEST_F(MenuControllerTest, ShowsOnlyAcceptedItemsInOrderAndOnlyForTheFirstResponder) {
  show(Rect(100, 100, 50, 20));
  EXPECT_FALSE(menu.isMenuVisible());  // nobody accepts: nothing shows, nothing hides
  menu.setMenuVisible(false, false);
  EXPECT_TRUE(log.empty());

  ASSERT_TRUE(target.becomeFirstResponder());
  show(Rect(100, 100, 50, 20));
  ASSERT_TRUE(menu.isMenuVisible());
  EXPECT_EQ(titles(menu.visibleItems()), (std::vector<std::string>{"A", "C"}));
  EXPECT_FALSE(menu.chooseItem("B"));
  EXPECT_EQ(menu.menuItems().size(), 3u);

  // A first responder that takes no action itself passes the question on to the view it lies in.
  struct Plain : View {
    using View::View;
    bool canBecomeFirstResponder() const override { return true; }
  } inner{Rect(0, 0, 10, 10)};
  target.addSubview(&inner);
  ASSERT_TRUE(inner.becomeFirstResponder());
  EXPECT_TRUE(inner.canPerformAction("a:", nullptr));
  EXPECT_FALSE(inner.canPerformAction("b:", nullptr));
  ASSERT_TRUE(target.becomeFirstResponder());
  inner.removeFromSuperview();
}

TEST_F(MenuControllerTest, RowStandsAboveOrBelowTheTargetAndTheZeroRectKeepsIt) {
  ASSERT_TRUE(target.becomeFirstResponder());
  // Target in window coordinates: (200, 300) to (250, 320).
  show(Rect(100, 200, 50, 20));
  Rect f = menu.menuFrame();
  EXPECT_FLOAT_EQ(f.maxY(), 290);  // 10 pt above
  EXPECT_FLOAT_EQ(f.midX(), 225);
  menu.setMenuVisible(false, false);

  menu.setArrowDirection(MenuArrowDirection::Up);
  menu.setTargetRect(Rect(), &target);  // keeps the last target
  menu.setMenuVisible(true, true);
  f = menu.menuFrame();
  EXPECT_FLOAT_EQ(f.minY(), 330);  // 10 pt below
  EXPECT_EQ(menu.targetRect(), Rect(100, 200, 50, 20));
  menu.setMenuVisible(false, false);

  // No room above the window's top: the default direction goes below.
  menu.setArrowDirection(MenuArrowDirection::Default);
  show(Rect(100, -90, 50, 20));
  EXPECT_FLOAT_EQ(menu.menuFrame().minY(), 40);
  EXPECT_EQ(log, (std::vector<std::string>{"did-hide", "did-hide"}));
}

TEST_F(MenuControllerTest, AChosenItemRunsBeforeTheMenuHidesAndATouchElsewhereHidesIt) {
  ASSERT_TRUE(target.becomeFirstResponder());
  show(Rect(100, 200, 50, 20));
  // A real touch on the second cell, "C".
  const Rect f = menu.menuFrame();
  script.tap(Point(f.maxX() - 5, f.midY()));
  EXPECT_EQ(log, (std::vector<std::string>{"c: shown", "did-hide"}));
  EXPECT_FALSE(menu.isMenuVisible());

  log.clear();
  show(Rect(100, 200, 50, 20));
  ASSERT_TRUE(menu.chooseItem("A"));
  EXPECT_EQ(log, (std::vector<std::string>{"a: shown", "did-hide"}));

  // Elsewhere: the touched view sees the touch-down first, then the menu goes.
  log.clear();
  show(Rect(100, 200, 50, 20));
  script.tap(Point(600, 450));
  EXPECT_EQ(log, (std::vector<std::string>{"began", "did-hide"}));
  EXPECT_FALSE(menu.isMenuVisible());
}

}  // namespace
}  // namespace kit
