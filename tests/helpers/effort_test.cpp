#include "helpers/global_helpers_effort.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <limits>
#include <string>

#include "kit/testing/fixtures.h"

namespace {

namespace GH = GlobalHelpers;

// --- Units and minutes --------------------------------------------------------------------

TEST(EffortText, UnitsFromSuffixes) {
  EXPECT_EQ(GH::getEffortUnit("2mnth"), 5);  // not hours, though it ends in "h"
  EXPECT_EQ(GH::getEffortUnit("2m"), 1);
  EXPECT_EQ(GH::getEffortUnit("2.5h"), 2);
  EXPECT_EQ(GH::getEffortUnit("1y"), 6);
  EXPECT_EQ(GH::getEffortUnit("2H"), 0);  // suffixes are case-sensitive
  EXPECT_EQ(GH::getEffortUnit(""), 0);
  for (int u = 1; u <= 6; ++u) EXPECT_EQ(GH::getEffortUnit("3" + GH::getEffortUnitSuffix(u)), u);
  EXPECT_EQ(GH::getEffortUnitSuffix(0), "");
  EXPECT_EQ(GH::getEffortUnitSuffix(7), "");
  EXPECT_EQ(GH::getEffortUnitSuffix(-1), "");
}

TEST(EffortText, MinutesOfText) {
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("1.5h"), 90);
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("90"), 90 * 60);  // no suffix: hours
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("2mnth"), 2 * 9600);
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("2H"), 120);
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("3d"), 3 * 480);
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("1w"), 2400);
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("1y"), 115200);
  EXPECT_EQ(GH::getEffortMinutes(""), 0);
  EXPECT_EQ(GH::getEffortMinutes("h"), 0);
  EXPECT_EQ(GH::getEffortMinutes("abc"), 0);
  EXPECT_FLOAT_EQ(GH::getEffortMinutes("1.5 h"), 90);
}

TEST(EffortText, OverlongNumbersStayNumbers) {
  EXPECT_TRUE(std::isinf(GH::getEffortMinutes("1e39h")));
  const std::string text = GH::getEffortForMinutes(std::numeric_limits<float>::infinity());
  EXPECT_TRUE(text.ends_with("y"));
  EXPECT_EQ(text.find("inf"), std::string::npos);
  EXPECT_EQ(GH::getEffortForMinutes(std::nanf("")), "0.00m");
}

// --- Text from minutes --------------------------------------------------------------------

TEST(EffortText, LargestUnitWithAWholePart) {
  EXPECT_EQ(GH::getEffortForMinutes(90), "1.50h");
  EXPECT_EQ(GH::getEffortForMinutes(63), "1.05h");
  EXPECT_EQ(GH::getEffortForMinutes(30), "30.00m");
  EXPECT_EQ(GH::getEffortForMinutes(3 * 480), "3.00d");
  EXPECT_EQ(GH::getEffortForMinutes(45), "45.00m");
  EXPECT_EQ(GH::getEffortForMinutes(59.999f), "60.00m");
  EXPECT_EQ(GH::getEffortForMinutes(60), "1.00h");
  EXPECT_EQ(GH::getEffortForMinutes(479), "7.98h");
  EXPECT_EQ(GH::getEffortForMinutes(0), "0.00m");
  EXPECT_EQ(GH::getEffortForMinutes(2400), "1.00w");
  EXPECT_EQ(GH::getEffortForMinutes(9600 * 3), "3.00mnth");
  EXPECT_EQ(GH::getEffortForMinutes(115200 * 2.5f), "2.50y");
  EXPECT_EQ(GH::getEffortForMinutes(-90), "-1.50h");
}

TEST(EffortText, RoundTripThroughText) {
  for (float m : {1.f, 45.f, 59.f, 61.f, 90.f, 479.f, 481.f, 2399.f, 2401.f, 9601.f, 120000.f}) {
    const std::string text = GH::getEffortForMinutes(m);
    const int unit = GH::getEffortUnit(text);
    const float perUnit = GH::getEffortMinutes("1" + GH::getEffortUnitSuffix(unit));
    EXPECT_NEAR(GH::getEffortMinutes(text), m, 0.005f * perUnit + 1e-3f) << text;
  }
}

TEST(EffortText, NumbersIgnoreTheProcessLocale) {
  const std::string saved = setlocale(LC_ALL, nullptr);
  if (!setlocale(LC_ALL, "de_DE.utf8")) GTEST_SKIP() << "de_DE.utf8 not installed";
  const std::string text = GH::getEffortForMinutes(90);
  const float minutes = GH::getEffortMinutes("1.5h");
  const std::string words = GH::getEffortDescription("1.50w");
  setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, "1.50h");
  EXPECT_FLOAT_EQ(minutes, 90);
  EXPECT_EQ(words, "1.50 Weeks");
}

// --- Words --------------------------------------------------------------------------------

TEST(EffortWords, SingularOnlyForExactlyOne) {
  EXPECT_EQ(GH::getEffortDescription("2h"), "2 Hours");
  EXPECT_EQ(GH::getEffortDescription("1.00d"), "1 Day");
  EXPECT_EQ(GH::getEffortDescription("1.50w"), "1.50 Weeks");
  EXPECT_EQ(GH::getEffortDescription("1m"), "1 Minute");
  EXPECT_EQ(GH::getEffortDescription("1mnth"), "1 Month");
  EXPECT_EQ(GH::getEffortDescription("0y"), "0 Years");
  EXPECT_EQ(GH::getEffortDescription("1.01h"), "1.01 Hours");
}

TEST(EffortWords, TextWithoutASuffixComesBackAsTyped) {
  EXPECT_EQ(GH::getEffortDescription("5"), "5");
  EXPECT_EQ(GH::getEffortDescription("2H"), "2H");
  EXPECT_EQ(GH::getEffortDescription(""), "");
}

// --- Task status --------------------------------------------------------------------------

class TaskStatus : public kit::ManualClockTest {
 protected:
  kit::Date now() const { return kit::now(); }
  kit::Date hoursFromNow(double h) const { return kit::Date{kit::now().seconds + h * 3600}; }
};

TEST_F(TaskStatus, NoDates) {
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, std::nullopt, 0), 0);
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, std::nullopt, 50), 0);
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, std::nullopt, 100), 5);
}

TEST_F(TaskStatus, DueDateOnly) {
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, hoursFromNow(-1), 50), 4);
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, hoursFromNow(-1), 100), 5);
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, hoursFromNow(1), 0), 1);
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, hoursFromNow(1), 1), 2);
  EXPECT_EQ(GH::getTaskStatusForStart(std::nullopt, now(), 0), 1);  // due now has not passed
}

TEST_F(TaskStatus, StartDate) {
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(24), std::nullopt, 10), 2);
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(24), std::nullopt, 0), 1);
  // A start ahead wins over a due date already passed.
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(24), hoursFromNow(-1), 0), 1);
  EXPECT_EQ(GH::getTaskStatusForStart(now(), std::nullopt, 0), 1);  // not yet later than start
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(-1), std::nullopt, 0), 3);
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(-1), hoursFromNow(1), 0), 3);
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(-1), hoursFromNow(1), 99), 2);
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(-2), hoursFromNow(-1), 99), 4);
  EXPECT_EQ(GH::getTaskStatusForStart(hoursFromNow(-2), hoursFromNow(-1), 100), 5);
}

TEST_F(TaskStatus, FollowsTheClock) {
  const kit::Date start = hoursFromNow(1);
  EXPECT_EQ(GH::getTaskStatusForStart(start, std::nullopt, 0), 1);
  time_.clock().advance(2 * 3600);
  EXPECT_EQ(GH::getTaskStatusForStart(start, std::nullopt, 0), 3);
}

// --- Badges -------------------------------------------------------------------------------

TEST(TaskBadges, ClockImagesByStatus) {
  for (int status : {1, 2}) EXPECT_EQ(GH::getClockImageForTaskStatus(status), "task-clock.png") << status;
  for (int status : {3, 4}) EXPECT_EQ(GH::getClockImageForTaskStatus(status), "task-clock-overdue.png") << status;
  for (int status : {0, 5, 6, -1}) EXPECT_FALSE(GH::getClockImageForTaskStatus(status)) << status;
}

TEST(TaskBadges, PercentImagesAtTheBoundaries) {
  EXPECT_FALSE(GH::getPercentCompleteImageFor(-1));
  const std::pair<int, const char*> cases[] = {
      {-2, "0"},  {0, "0"},   {4, "0"},   {5, "25"},  {34, "25"},  {35, "50"},
      {59, "50"}, {60, "75"}, {99, "75"}, {100, "100"}, {150, "100"},
  };
  for (const auto& [p, name] : cases)
    EXPECT_EQ(GH::getPercentCompleteImageFor(p), std::string("percent-complete-") + name + ".png")
        << p;
}

}  // namespace
