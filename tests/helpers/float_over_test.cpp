// The overlay message: sizes by type, placement by position and keyboard, lifetime by reading
// time, the modal block, and following the keyboard.
#include <gtest/gtest.h>

#include "helpers/float_over.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/keyboard.h"

using kit::Point;
using kit::Rect;

namespace {

class FloatOverTest : public kit::ManualClockTest {
 protected:
  void SetUp() override {
    FloatOver::setCurrentScreenProvider([this] { return &screen; });
    window.addSubview(&screen);
  }
  void TearDown() override { FloatOver::setCurrentScreenProvider(nullptr); }

  kit::Window window{Rect(0, 0, 320, 480)};
  kit::View screen{Rect(0, 0, 320, 480)};
  kit::EventScript script{window};
};

}  // namespace

TEST_F(FloatOverTest, SizesAndPlacesEachTypeOnWholeEvenPoints) {
  // Without a title: text only 20 x 20; the spinner a square of max(37 + 20, 2 x (18.5 + 10)),
  // made even; the bar (150 + 20) x (9 + 30 + 10), made even after placing.
  auto text = FloatOver::displayModal(false, &screen, FloatOver::kCentre, std::nullopt, 22, FloatOver::kTextOnly, 0);
  EXPECT_EQ(text->frame(), Rect(150, 230, 20, 20));
  auto spin = FloatOver::displayModal(false, &screen, FloatOver::kTopRight, std::nullopt, 22, FloatOver::kSpinner, 0);
  // Placed by its 57-point side, then rounded: x = 320 - 20 - 57.
  EXPECT_EQ(spin->frame(), Rect(243, 20 + 44, 58, 58));
  ASSERT_NE(spin->activityIndicator(), nullptr);
  EXPECT_TRUE(spin->activityIndicator()->isAnimating());
  EXPECT_EQ(spin->activityIndicator()->center(), Point(29, 29));
  window.keyboard().show();
  auto bar = FloatOver::displayModal(false, &screen, FloatOver::kBottomRight, std::nullopt, 12, FloatOver::kProgressBar, 0);
  EXPECT_EQ(bar->frame(), Rect(320 - 20 - 170, 480 - 216 - 20 - 49, 170, 50));
  ASSERT_NE(bar->progressView(), nullptr);
  EXPECT_EQ(bar->progressView()->center().y, 4.5f + 30);

  // A title widens the panel and sits 10 above its bottom, centred.
  auto titled = FloatOver::displayModal(false, &screen, FloatOver::kCentre, std::string("Uploading a rather long name"), 22,
                                        FloatOver::kSpinner, 0);
  const Rect r = titled->rcLabel();
  EXPECT_GT(r.width(), 37.0f);
  EXPECT_EQ(titled->bounds().size.width, kit::roundToEvenWhole(std::trunc(r.width() + 20)));
  EXPECT_NEAR(r.maxY(), titled->bounds().maxY() - 10, 1.0f);
  EXPECT_NEAR(r.midX(), titled->bounds().midX(), 1.0f);
  EXPECT_EQ(titled->center().y, (480 - 216) / 2);  // above the keyboard
  for (auto* p : {text.get(), spin.get(), bar.get(), titled.get()}) p->dismiss();
  EXPECT_EQ(screen.subviewCount(), 0u);
}

TEST_F(FloatOverTest, LifetimeFollowsTheReadingTimeAndNeverFallsBelowTheMinimum) {
  // Ten pieces (two empty ones included): 10 x 60 / 200 = 3 s.
  auto longOne = FloatOver::displayModal(false, nullptr, FloatOver::kCentre, std::string("a b c d e f g h\t "), 22,
                                         FloatOver::kTextOnly, -1);
  // Two pieces: 0.6 s, so the minimum of 1.25 s.
  auto shortOne = FloatOver::displayModal(false, nullptr, FloatOver::kCentre, std::string("Changes\nApplied Now"), 22,
                                          FloatOver::kTextOnly, -1);
  auto fixed = FloatOver::displayModal(false, nullptr, FloatOver::kCentre, std::string("x"), 22, FloatOver::kTextOnly, 2);
  auto stays = FloatOver::displayModal(false, nullptr, FloatOver::kCentre, std::string("x"), 22, FloatOver::kTextOnly, 0);
  script.wait(1.2);
  EXPECT_TRUE(shortOne->isShown());
  script.wait(0.1);
  EXPECT_FALSE(shortOne->isShown());
  script.wait(0.65);
  EXPECT_TRUE(fixed->isShown());
  script.wait(0.1);
  EXPECT_FALSE(fixed->isShown());
  script.wait(0.9);
  EXPECT_TRUE(longOne->isShown());
  script.wait(0.1);
  EXPECT_FALSE(longOne->isShown());
  script.wait(60);
  EXPECT_TRUE(stays->isShown());
  EXPECT_NEAR(stays->getElapsedTimeInSecs(), 63.05, 1e-6);
  stays->dismiss();
}

TEST_F(FloatOverTest, AModalPanelBlocksTouchesUntilItGoesAndWaitsOutItsMinimum) {
  auto busy = FloatOver::displayModal(true, &screen, FloatOver::kCentre, std::string("Searching..."), 22,
                                      FloatOver::kSpinner, 0);
  auto other = FloatOver::displayModal(true, &screen, FloatOver::kCentre, std::string("x"), 22, FloatOver::kTextOnly, 1.5);
  EXPECT_TRUE(window.isIgnoringInteractionEvents());
  script.wait(0.2);
  busy->sleepForRemainderOf(0.5);
  EXPECT_NEAR(busy->getElapsedTimeInSecs(), 0.5, 1e-6);
  busy->sleepForRemainderOf(0.25);  // already up longer: no wait
  EXPECT_NEAR(busy->getElapsedTimeInSecs(), 0.5, 1e-6);
  busy->dismiss();
  EXPECT_TRUE(window.isIgnoringInteractionEvents());  // the other is still up
  script.wait(1.1);
  EXPECT_FALSE(window.isIgnoringInteractionEvents());
  other.reset();

  // A creator may end its panel by taking it off its view, holding it or not.
  kit::View* held = FloatOver::displayModal(true, &screen, FloatOver::kCentre, std::string("x"), 22,
                                            FloatOver::kSpinner, 0).get();
  held->removeFromSuperview();
  EXPECT_FALSE(window.isIgnoringInteractionEvents());
  {
    kit::View covered(Rect(0, 0, 320, 480));
    screen.addSubview(&covered);
    FloatOver::displayModal(true, &covered, FloatOver::kCentre, std::string("x"), 22, FloatOver::kTextOnly, 0);
    EXPECT_TRUE(window.isIgnoringInteractionEvents());
  }
  script.wait(0.1);
  EXPECT_FALSE(window.isIgnoringInteractionEvents());
}

TEST_F(FloatOverTest, PanelsOnTheScreenMoveWithTheKeyboardExceptTopRight) {
  auto centre = FloatOver::displayModal(false, nullptr, FloatOver::kCentre, std::string("x"), 22, FloatOver::kTextOnly, 0);
  auto corner = FloatOver::displayModal(false, nullptr, FloatOver::kBottomRight, std::string("x"), 22, FloatOver::kTextOnly, 0);
  auto top = FloatOver::displayModal(false, nullptr, FloatOver::kTopRight, std::string("x"), 22, FloatOver::kTextOnly, 0);
  auto onView = FloatOver::displayModal(false, &screen, FloatOver::kCentre, std::string("x"), 22, FloatOver::kTextOnly, 0);
  ASSERT_EQ(centre->superview(), &screen);
  const Point c0 = centre->center(), k0 = corner->center(), t0 = top->center(), v0 = onView->center();
  window.keyboard().setHeight(200);
  window.keyboard().show();
  EXPECT_EQ(centre->center(), Point(c0.x, c0.y - 200));
  EXPECT_EQ(corner->center(), Point(k0.x, k0.y - 200));
  EXPECT_EQ(top->center(), t0);
  EXPECT_EQ(onView->center(), v0);  // only panels on the current screen follow
  window.keyboard().hide();
  EXPECT_EQ(centre->center(), c0);
  EXPECT_EQ(corner->center(), k0);
  for (auto* p : {centre.get(), corner.get(), top.get(), onView.get()}) p->dismiss();
}
