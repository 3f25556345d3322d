#include <gtest/gtest.h>

#include <vector>

#include "kit/graphics/image.h"
#include "kit/ui/button.h"

using namespace kit;

namespace {

struct Recorder {
  std::vector<ControlEvents> events;
  void attach(Control& c, ControlEvents mask = ControlEventAllEvents) {
    c.addTarget(this, [this](Control&, ControlEvents e) { events.push_back(e); }, mask);
  }
};

}  // namespace

TEST(ControlTargets, ActionsFireForTheirEventsInOrder) {
  Button b(Rect(0, 0, 60, 60));
  std::vector<int> order;
  int a = 0, c = 0;
  b.addTarget(&a, [&](Control& sender, ControlEvents) {
    EXPECT_EQ(&sender, &b);
    order.push_back(1);
  }, ControlEventTouchDown);
  b.addTarget(&c, [&](Control&, ControlEvents) { order.push_back(2); }, ControlEventTouchDown | ControlEventTouchUpInside);
  b.sendActionsForControlEvents(ControlEventTouchDown);
  b.sendActionsForControlEvents(ControlEventTouchUpInside);
  b.sendActionsForControlEvents(ControlEventValueChanged);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 2}));
}

TEST(ControlTargets, RemovalByTargetAndEvents) {
  Button b;
  int a = 0, c = 0;
  int fired = 0;
  b.addTarget(&a, [&](Control&, ControlEvents) { ++fired; }, ControlEventTouchDown | ControlEventTouchUpInside);
  b.addTarget(&c, [&](Control&, ControlEvents) { ++fired; }, ControlEventTouchDown);
  b.removeTarget(&a, ControlEventTouchDown);
  EXPECT_EQ(b.actionCount(ControlEventTouchDown), 1u);
  EXPECT_EQ(b.actionCount(ControlEventTouchUpInside), 1u);
  b.removeTarget(&c);
  b.sendActionsForControlEvents(ControlEventTouchDown);
  EXPECT_EQ(fired, 0);
  b.removeTarget(nullptr);
  EXPECT_EQ(b.actionCount(), 0u);
}

TEST(ControlTargets, ActionMayRemoveItselfWhileFiring) {
  Button b;
  int a = 0, fired = 0;
  b.addTarget(&a, [&](Control& s, ControlEvents) {
    ++fired;
    s.removeTarget(&a);
    s.addTarget(&a, [&](Control&, ControlEvents) { fired += 10; }, ControlEventTouchDown);
  }, ControlEventTouchDown);
  b.sendActionsForControlEvents(ControlEventTouchDown);
  EXPECT_EQ(fired, 1);
  b.sendActionsForControlEvents(ControlEventTouchDown);
  EXPECT_EQ(fired, 11);
}

TEST(ControlTracking, TapInsideHighlightsThenFiresUpInside) {
  Button b(Rect(0, 0, 60, 60));
  Recorder r;
  r.attach(b);
  b.beginTracking(Point(30, 30));
  EXPECT_TRUE(b.isHighlighted());
  EXPECT_EQ(b.state(), ControlStateHighlighted);
  b.endTracking(Point(30, 30));
  EXPECT_FALSE(b.isHighlighted());
  EXPECT_EQ(r.events, (std::vector<ControlEvents>{ControlEventTouchDown, ControlEventTouchUpInside}));
}

TEST(ControlTracking, DragOutAndBackReportsExitAndEnter) {
  Button b(Rect(0, 0, 60, 60));
  Recorder r;
  r.attach(b);
  b.beginTracking(Point(30, 30), 2);
  b.continueTracking(Point(40, 30));
  b.continueTracking(Point(500, 30));
  EXPECT_FALSE(b.isHighlighted());
  b.continueTracking(Point(600, 30));
  b.continueTracking(Point(30, 30));
  b.endTracking(Point(500, 500));
  ASSERT_EQ(r.events.size(), 6u);
  EXPECT_EQ(r.events[0], ControlEventTouchDown | ControlEventTouchDownRepeat);
  EXPECT_EQ(r.events[1], ControlEventTouchDragInside);
  EXPECT_EQ(r.events[2], ControlEventTouchDragOutside | ControlEventTouchDragExit);
  EXPECT_EQ(r.events[3], ControlEventTouchDragOutside);
  EXPECT_EQ(r.events[4], ControlEventTouchDragInside | ControlEventTouchDragEnter);
  EXPECT_EQ(r.events[5], ControlEventTouchUpOutside);
}

TEST(ControlTracking, CancelAndDisabled) {
  Button b(Rect(0, 0, 60, 60));
  Recorder r;
  r.attach(b);
  b.beginTracking(Point(1, 1));
  b.cancelTracking();
  b.endTracking(Point(1, 1));  // no longer tracking
  EXPECT_EQ(r.events, (std::vector<ControlEvents>{ControlEventTouchDown, ControlEventTouchCancel}));
  r.events.clear();
  b.setEnabled(false);
  EXPECT_EQ(b.state(), ControlStateDisabled);
  b.beginTracking(Point(1, 1));
  b.endTracking(Point(1, 1));
  EXPECT_TRUE(r.events.empty());
}

TEST(ButtonAppearance, StatesFallBackToNormal) {
  Button b;
  EXPECT_FALSE(b.currentTitle());
  b.setTitle("Go", ControlStateNormal);
  b.setTitleColor(Color(1, 0, 0), ControlStateNormal);
  b.setTitleColor(Color(0, 0, 1), ControlStateHighlighted);
  EXPECT_EQ(b.titleForState(ControlStateHighlighted), "Go");
  EXPECT_EQ(*b.titleColorForState(ControlStateHighlighted), Color(0, 0, 1));
  EXPECT_EQ(*b.titleColorForState(ControlStateSelected), Color(1, 0, 0));
  b.setHighlighted(true);
  EXPECT_EQ(*b.currentTitleColor(), Color(0, 0, 1));
  b.setTitle(std::nullopt, ControlStateNormal);
  EXPECT_FALSE(b.currentTitle());
  EXPECT_FALSE(b.isOpaque());
  EXPECT_EQ(b.buttonType(), Button::Type::Custom);
}

TEST(ButtonAppearance, NamedImagesAreTheResourceImagesUntilReplaced) {
  const ImageRef crosshair = imageNamed("crosshair.png"), edit = imageNamed("topicEditButton");
  ASSERT_TRUE(crosshair && edit && crosshair != edit);
  Button b;
  b.setImageNamed("crosshair.png", ControlStateNormal);
  b.setImageNamed("topicEditButton", ControlStateHighlighted);
  b.setImageNamed("no-such-image", ControlStateSelected);
  EXPECT_EQ(b.imageForState(ControlStateHighlighted), edit);
  // A named image that cannot be read falls back to the normal state's.
  EXPECT_EQ(b.imageForState(ControlStateSelected), crosshair);
  b.setImage(crosshair, ControlStateHighlighted);
  EXPECT_EQ(b.imageForState(ControlStateHighlighted), crosshair);
  b.setImage(nullptr, ControlStateNormal);
  EXPECT_EQ(b.imageForState(ControlStateNormal), nullptr);
}
