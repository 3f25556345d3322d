#include "helpers/dates_ext.h"
#include "kit/testing/zone_scope.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

using kit::ZoneScope;

// 2011-07-04 00:00:00 UTC
constexpr double kMidnightUtc = 1309737600;

TEST(DateExtensions, TimeComponentIgnoresSeconds) {
  ZoneScope zone("UTC");
  EXPECT_FALSE(dates::hasTimeComponent({kMidnightUtc}));
  EXPECT_FALSE(dates::hasTimeComponent({kMidnightUtc + 59.9}));
  EXPECT_TRUE(dates::hasTimeComponent({kMidnightUtc + 60}));
  EXPECT_TRUE(dates::hasTimeComponent({kMidnightUtc + 3600}));
}

TEST(DateExtensions, RemovingTheTimeUsesTheLocalDay) {
  ZoneScope zone("America/New_York");  // UTC-4 in July
  const kit::Date evening{kMidnightUtc + 2 * 3600 + 0.5};  // 22:00:00.5 on 3 July, local
  EXPECT_EQ(dates::dateByRemovingTimeElement(evening).seconds, kMidnightUtc - 20 * 3600);
  EXPECT_FALSE(dates::hasTimeComponent(dates::dateByRemovingTimeElement(evening)));
  EXPECT_TRUE(dates::hasTimeComponent({kMidnightUtc}));  // 20:00 local
}

TEST(DateExtensions, RemovingTheTimeOnADayWithoutMidnight) {
  ZoneScope zone("America/Sao_Paulo");  // clocks went from 00:00 to 01:00 on 2018-11-04
  const kit::Date afternoon{1541343600};  // 2018-11-04 13:00 local (UTC-2)
  // The day begins at the transition, 01:00 local (03:00 UTC), not on the evening before.
  EXPECT_EQ(dates::dateByRemovingTimeElement(afternoon).seconds, 1541300400);
}

TEST(DateExtensions, LaterThanNilIsAlwaysTrue) {
  EXPECT_TRUE(dates::isLaterThan({0}, std::nullopt));
  EXPECT_TRUE(dates::isLaterThan({2}, kit::Date{1}));
  EXPECT_FALSE(dates::isLaterThan({1}, kit::Date{1}));
  EXPECT_FALSE(dates::isLaterThan({0}, kit::Date{1}));
}

TEST(DateExtensions, ExtremeDatesDoNotFail) {
  EXPECT_FALSE(dates::hasTimeComponent({1e300}));
  EXPECT_EQ(dates::dateByRemovingTimeElement({-1e300}).seconds, -1e300);
}

}  // namespace
