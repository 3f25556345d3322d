// Input through the one door (kit::submit) as a host sends it: touches, taps, the scroll view's
// claim on drags, the first responder, typing, zooming and shakes.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kit/core/notification_center.h"
#include "kit/core/run_loop.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view_animation.h"
#include "kit/ui/window.h"

namespace kit {
namespace {

// Logs what reaches it: phase, tap count and location in its own coordinates.
class Recorder : public View {
 public:
  explicit Recorder(const Rect& frame, std::vector<std::string>* log = nullptr) : View(frame), log_(log) {}
  void touchesBegan(const TouchSet& t, const Event&) override { note("began", t); }
  void touchesMoved(const TouchSet& t, const Event&) override { note("moved", t); }
  void touchesEnded(const TouchSet& t, const Event&) override { note("ended", t); }
  void touchesCancelled(const TouchSet& t, const Event&) override { note("cancelled", t); }
  void motionEnded(MotionType, const Event&) override { log().push_back("shake"); }
  bool canBecomeFirstResponder() const override { return takesFocus; }
  bool canResignFirstResponder() const override { return letsGo; }
  std::vector<std::string>& log() { return log_ ? *log_ : own_; }
  Point last;
  bool takesFocus = true, letsGo = true;

 private:
  void note(const char* what, const TouchSet& t) {
    last = t[0]->locationInView(this);
    log().push_back(std::string(what) + " " + std::to_string(t[0]->tapCount()));
  }
  std::vector<std::string>* log_;
  std::vector<std::string> own_;
};

class EventDeliveryTest : public ManualClockTest {
 protected:
  Window window{Rect(0, 0, 400, 300)};
  EventScript script{window};
};

TEST_F(EventDeliveryTest, TapsCountWithinTimeAndDistanceAndDragsCountZero) {
  Recorder r(Rect(0, 0, 400, 300));
  window.addSubview(&r);
  script.tap({100, 100});
  script.wait(0.45);
  script.tap({120, 110});  // 0.45 s after the first one lifted, 22 pt away
  script.wait(0.45);
  script.tap({120, 110});
  script.wait(0.55);
  script.tap({120, 110});  // too late: a new series
  script.wait(0.1);
  script.tap({150, 110});  // 30 pt away: a new series
  EXPECT_EQ(r.log(), (std::vector<std::string>{"began 1", "ended 1", "began 2", "ended 2", "began 3", "ended 3",
                                              "began 1", "ended 1", "began 1", "ended 1"}));
  r.log().clear();
  // The hysteresis is 10 pt along each axis, not a radius: 10 pt each way is still a tap.
  script.wait(1);
  script.down({100, 100});
  script.move({110, 90});
  script.up({110, 90});
  script.wait(0.1);
  script.down({100, 100});
  script.move({110, 110});
  script.move({100, 110.5f});
  script.up({100, 100});
  script.wait(0.1);
  script.tap({100, 100});  // after a drag, a tap starts a new count
  EXPECT_EQ(r.log(), (std::vector<std::string>{"began 1", "moved 1", "ended 1", "began 2", "moved 2", "moved 0",
                                              "ended 0", "began 1", "ended 1"}));
}

TEST_F(EventDeliveryTest, ATouchStaysWithItsViewAndUnhandledTouchesGoUpTheChain) {
  std::vector<std::string> log;
  Recorder outer(Rect(0, 0, 400, 300), &log);
  View plain(Rect(50, 40, 100, 100));  // handles nothing: its superview gets the touches
  Recorder inner(Rect(200, 100, 100, 100), &log);
  window.addSubview(&outer);
  outer.addSubview(&plain);
  outer.addSubview(&inner);
  script.down({210, 120});
  script.move({20, 20});  // far outside the view it began on
  script.up({20, 20});
  EXPECT_EQ(log, (std::vector<std::string>{"began 1", "moved 0", "ended 0"}));
  EXPECT_EQ(inner.last, Point(-180, -80));
  log.clear();
  script.wait(1);
  script.tap({60, 50});
  EXPECT_EQ(log, (std::vector<std::string>{"began 1", "ended 1"}));
  EXPECT_EQ(outer.last, Point(60, 50));
}

TEST_F(EventDeliveryTest, AViewLeavingMidTouchIsCancelledAndHearsNothingMore) {
  std::vector<std::string> log;
  Recorder base(Rect(0, 0, 400, 300), &log);
  auto topic = std::make_unique<Recorder>(Rect(10, 10, 50, 50), &log);
  window.addSubview(&base);
  base.addSubview(topic.get());
  script.down({20, 20});
  topic.reset();
  script.move({30, 30});
  script.up({30, 30});
  EXPECT_EQ(log, (std::vector<std::string>{"began 1", "cancelled 1"}));
}

TEST_F(EventDeliveryTest, IgnoringInteractionDropsTouchesBegunMeanwhile) {
  Recorder r(Rect(0, 0, 400, 300));
  window.addSubview(&r);
  window.beginIgnoringInteractionEvents();
  window.beginIgnoringInteractionEvents();
  script.down({10, 10});
  window.endIgnoringInteractionEvents();
  script.up({10, 10});
  script.tap({10, 10});
  window.endIgnoringInteractionEvents();
  script.wait(1);
  script.tap({10, 10});
  EXPECT_EQ(r.log(), (std::vector<std::string>{"began 1", "ended 1"}));
}

class TestScrollView : public ScrollView {
 public:
  using ScrollView::ScrollView;
  bool touchesShouldBegin(const TouchSet&, const Event&, View* v) override { return v != background; }
  bool touchesShouldCancelInContentView(View* v) override { return v != sticky; }
  View* background = nullptr;
  View* sticky = nullptr;
};

TEST_F(EventDeliveryTest, AScrollViewTakesADragOnlyWhereItsHooksLetIt) {
  TestScrollView sv(Rect(0, 0, 400, 300));
  View content(Rect(0, 0, 2000, 1000));
  std::vector<std::string> log;
  // Seen through the offset (500, 300), these sit at (100, 100) and (200, 100) on screen.
  Recorder yielding(Rect(600, 400, 50, 50), &log), sticky(Rect(700, 400, 50, 50), &log);
  window.addSubview(&sv);
  sv.setContentView(&content);
  content.addSubview(&yielding);
  content.addSubview(&sticky);
  sv.background = &content;
  sv.sticky = &sticky;
  sv.setContentOffset({500, 300});

  // A drag from a topic that yields: the topic is cancelled once the finger passes 10 pt; the
  // content then follows the finger.
  script.drag({{110, 110}, {105, 110}, {90, 110}, {60, 100}}, 0.3);
  EXPECT_EQ(log, (std::vector<std::string>{"began 1", "moved 1", "cancelled 0"}));
  EXPECT_EQ(sv.contentOffset(), Point(550, 310));
  // A drag on a view that keeps its touches never scrolls.
  log.clear();
  script.wait(1);
  script.drag({{160, 100}, {150, 150}, {100, 200}}, 0.2);  // the sticky view now shows at (150, 90)
  EXPECT_EQ(log, (std::vector<std::string>{"began 1", "moved 0", "moved 0", "ended 0"}));
  EXPECT_EQ(sv.contentOffset(), Point(550, 310));
  // A drag that begins on the background always scrolls, and stops at the content's edge.
  script.wait(1);
  script.drag({{350, 100}, {350, 200}, {350, 800}}, 0.2);
  EXPECT_EQ(sv.contentOffset(), Point(550, 0));
  EXPECT_FALSE(sv.isDragging());
}

TEST_F(EventDeliveryTest, ZoomStaysInItsLimitsAndKeepsThePointUnderTheFinger) {
  ScrollView sv(Rect(0, 0, 400, 300));
  View content(Rect(0, 0, 1000, 1000));
  window.addSubview(&sv);
  sv.setContentView(&content);
  sv.setMinimumZoomScale(0.5f);
  sv.setMaximumZoomScale(2);
  sv.setContentOffset({100, 100});
  // The content point under (200, 150) on screen is (300, 250).
  script.magnify({200, 150}, 1.5f);
  EXPECT_FLOAT_EQ(sv.zoomScale(), 1.5f);
  Point under = content.convertPointFromView(Point(200, 150), &window);
  EXPECT_NEAR(under.x, 300, 0.01);
  EXPECT_NEAR(under.y, 250, 0.01);
  EXPECT_EQ(sv.contentSize(), Size(1500, 1500));
  script.magnify({200, 150}, 10);
  EXPECT_FLOAT_EQ(sv.zoomScale(), 2);
  script.magnify({200, 150}, 0.001f);
  EXPECT_FLOAT_EQ(sv.zoomScale(), 0.5f);
  script.magnify({200, 150}, std::numeric_limits<float>::quiet_NaN());
  EXPECT_FLOAT_EQ(sv.zoomScale(), 0.5f);
}

TEST_F(EventDeliveryTest, AWheelScrollsTheInnermostScrollViewUnderItThatItMayReach) {
  struct Content : View {
    using View::View;
    bool mayScroll = true;
    bool subviewsMayScroll() const override { return mayScroll; }
  };
  ScrollView outer(Rect(0, 0, 400, 300));
  Content content(Rect(0, 0, 1000, 1000));
  ScrollView inner(Rect(50, 50, 100, 100));
  View innerContent(Rect(0, 0, 500, 500));
  window.addSubview(&outer);
  outer.setContentView(&content);
  content.addSubview(&inner);
  inner.setContentView(&innerContent);
  script.scroll({100, 100}, 0, 40);
  EXPECT_EQ(inner.contentOffset(), Point(0, 40));
  EXPECT_EQ(outer.contentOffset(), Point(0, 0));
  // A content that says none of its subviews scrolls is not searched: the outer one scrolls.
  content.mayScroll = false;
  script.scroll({100, 100}, 0, 40);
  EXPECT_EQ(inner.contentOffset(), Point(0, 40));
  EXPECT_EQ(outer.contentOffset(), Point(0, 40));
  inner.removeFromSuperview();
  outer.removeFromSuperview();
}

TEST_F(EventDeliveryTest, FirstResponderNeedsAWindowAndTheOldOnesConsent) {
  Recorder a(Rect(0, 0, 10, 10)), b(Rect(0, 0, 10, 10)), loose(Rect(0, 0, 10, 10));
  window.addSubview(&a);
  window.addSubview(&b);
  EXPECT_FALSE(loose.becomeFirstResponder());
  EXPECT_TRUE(a.becomeFirstResponder());
  a.letsGo = false;
  EXPECT_FALSE(b.becomeFirstResponder());
  EXPECT_TRUE(a.isFirstResponder());
  a.letsGo = true;
  EXPECT_TRUE(b.becomeFirstResponder());
  EXPECT_FALSE(a.isFirstResponder());
  // Shakes go to the first responder.
  script.shake();
  EXPECT_EQ(b.log(), std::vector<std::string>{"shake"});
  EXPECT_TRUE(a.log().empty());
  b.removeFromSuperview();
  EXPECT_EQ(window.firstResponder(), nullptr);
}

class DelegateLog : public TextViewDelegate {
 public:
  bool textViewShouldChangeTextInRange(TextView&, TextRange r, const std::string& t) override {
    log.push_back("should " + std::to_string(r.location) + "," + std::to_string(r.length) + " '" + t + "'");
    return t != "no";
  }
  void textViewDidChange(TextView& v) override { log.push_back("did '" + v.text() + "'"); }
  void textViewDidBeginEditing(TextView&) override { log.push_back("begin"); }
  void textViewDidEndEditing(TextView&) override { log.push_back("end"); }
  std::vector<std::string> log;
};

TEST_F(EventDeliveryTest, TypingReachesTheEditingTextViewInThePlatformsOrder) {
  TextView tv(Rect(0, 0, 200, 100));
  DelegateLog d;
  tv.setDelegate(&d);
  window.addSubview(&tv);
  std::vector<std::string> keyboard;
  int owner = 0;
  for (const char* n : {kKeyboardWillShow, kKeyboardDidShow, kKeyboardWillHide, kKeyboardDidHide})
    NotificationCenter::defaultCenter().addObserver(&owner, n, &window, [&](const Notification& note) {
      keyboard.push_back(note.name + " " + std::to_string(static_cast<int>(note.userInfo["frame"].rect().origin.y)));
    });

  script.type("lost");  // nobody is editing yet
  ASSERT_TRUE(tv.becomeFirstResponder());
  script.backspace();  // at the start: an empty range with empty text
  script.type("a\xF0\x9F\x98\x80");
  script.type("no");  // refused by the delegate
  script.backspace();  // the emoji goes whole (two UTF-16 units)
  script.preedit("ni", 2);
  EXPECT_EQ(tv.text(), "a");
  script.type("\xE4\xBD\xA0\xFF");  // the input method commits; a broken byte is replaced
  tv.resignFirstResponder();
  EXPECT_EQ(d.log, (std::vector<std::string>{"begin", "should 0,0 ''", "should 0,0 'a\xF0\x9F\x98\x80'",
                                            "did 'a\xF0\x9F\x98\x80'", "should 3,0 'no'", "should 1,2 ''", "did 'a'",
                                            "should 1,0 '\xE4\xBD\xA0\xEF\xBF\xBD'",
                                            "did 'a\xE4\xBD\xA0\xEF\xBF\xBD'", "end"}));
  EXPECT_EQ(tv.selectedRange(), (TextRange{3, 0}));
  EXPECT_EQ(keyboard, (std::vector<std::string>{"KeyboardWillShow 84", "KeyboardDidShow 84", "KeyboardWillHide 84",
                                               "KeyboardDidHide 84"}));
  NotificationCenter::defaultCenter().removeObserver(&owner);
}

TEST_F(EventDeliveryTest, AnEditingTextViewIsADesktopTextField) {
  TextView tv(Rect(0, 0, 400, 100));
  DelegateLog d;
  tv.setDelegate(&d);
  window.addSubview(&tv);
  ASSERT_TRUE(tv.becomeFirstResponder());
  auto shortcut = [&](const char* c) { script.send(KeyInput{Key::Other, kControl, c, {}}); };
  script.type("buy fresh milk");
  script.key(Key::Home, kShift);  // from the caret at the end to the start
  EXPECT_EQ(tv.selectedRange(), (TextRange{0, 14}));
  script.key(Key::Right);
  script.key(Key::Left, kShift);
  script.key(Key::Left, kShift);
  script.key(Key::Left, kShift);
  script.key(Key::Left, kShift);
  shortcut("x");
  EXPECT_EQ(tv.text(), "buy fresh ");
  EXPECT_EQ(Pasteboard::general().string(), "milk");
  script.key(Key::Home);
  shortcut("v");
  EXPECT_EQ(tv.text(), "milkbuy fresh ");
  shortcut("a");
  shortcut("c");
  EXPECT_EQ(Pasteboard::general().string(), "milkbuy fresh ");
  // A double tap selects the word under it, a tap puts the caret there.
  const Point word = tv.convertPointToView(Point(TextView::kInset + 2, TextView::kInset + 8), nullptr);
  script.doubleTap(word);
  EXPECT_EQ(tv.selectedRange(), (TextRange{0, 7}));
  script.wait(0.6);
  script.tap(word);
  EXPECT_EQ(tv.selectedRange(), (TextRange{0, 0}));
  // Text being composed is kept when the edit ends; Escape ends it.
  script.key(Key::End);
  script.preedit("\xE4\xBD\xA0", 1);
  EXPECT_EQ(tv.shownText(), "milkbuy fresh \xE4\xBD\xA0");
  script.key(Key::Escape);
  EXPECT_FALSE(tv.isFirstResponder());
  EXPECT_EQ(tv.text(), "milkbuy fresh \xE4\xBD\xA0");
  EXPECT_EQ(d.log.back(), "end");
  script.type("lost");  // the input method's late commit reaches nobody
  EXPECT_EQ(tv.text(), "milkbuy fresh \xE4\xBD\xA0");
  Pasteboard::general().clear();
}

TEST_F(EventDeliveryTest, ASecondTouchOnAnEditingTextViewGoesOnUpToItsEnd) {
  Recorder parent(Rect(0, 0, 400, 300));
  TextView tv(Rect(0, 0, 400, 100));
  parent.addSubview(&tv);
  window.addSubview(&parent);
  ASSERT_TRUE(tv.becomeFirstResponder());
  script.down({20, 20}, 1);  // selects
  script.down({60, 20}, 2);
  script.move({90, 40}, 2);
  script.up({90, 40}, 2);
  script.up({20, 20}, 1);
  EXPECT_EQ(parent.log(), (std::vector<std::string>{"began 1", "moved 0", "ended 0"}));
}

TEST_F(EventDeliveryTest, AnimationsChangeValuesAtOnceAndCompleteAfterTheirDuration) {
  View v(Rect(0, 0, 10, 10));
  std::vector<std::string> done;
  ViewAnimation::animate(0.3, [&] { v.setAlpha(0); }, [&](bool f) { done.push_back(f ? "slow" : "?"); });
  ViewAnimation::animate(0, [&] { v.setCenter({50, 50}); }, [&](bool) { done.push_back("instant"); });
  EXPECT_EQ(v.alpha(), 0);
  EXPECT_EQ(v.center(), Point(50, 50));
  EXPECT_TRUE(done.empty());  // never inside the call
  RunLoop::main().runOnce();
  EXPECT_EQ(done, std::vector<std::string>{"instant"});
  script.wait(0.29);
  EXPECT_EQ(done.size(), 1u);
  script.wait(0.02);
  EXPECT_EQ(done, (std::vector<std::string>{"instant", "slow"}));
}

TEST_F(EventDeliveryTest, EventsForAWindowThatWentAreDropped) {
  auto w = std::make_unique<Window>(Rect(0, 0, 100, 100));
  Recorder r(Rect(0, 0, 100, 100));
  w->addSubview(&r);
  submit(*w, TouchInput{1, TouchPhase::Began, {5, 5}, {}});
  w.reset();
  RunLoop::main().runOnce();
  EXPECT_TRUE(r.log().empty());
}

}  // namespace
}  // namespace kit
