#include <gtest/gtest.h>

#include "kit/core/clock.h"

using namespace kit;

TEST(ManualClockBehaviour, MovesOnlyForwardAndCarriesTheWallTime) {
  ManualClock c;
  double t0 = c.monotonicSeconds();
  Date d0 = c.now();
  c.advance(1.5);
  EXPECT_EQ(c.monotonicSeconds(), t0 + 1.5);
  EXPECT_EQ(c.now().seconds, d0.seconds + 1.5);
  c.advance(-3);
  c.advanceTo(t0);
  EXPECT_EQ(c.monotonicSeconds(), t0 + 1.5);
  c.sleepFor(0.5);
  EXPECT_EQ(c.monotonicSeconds(), t0 + 2);
  c.setDate(Date{0});
  EXPECT_EQ(c.now().seconds, 0);
  EXPECT_EQ(c.monotonicSeconds(), t0 + 2);
}

TEST(ClockInstall, TheInstalledClockIsWhatEveryoneReads) {
  ManualClock c;
  Clock* previous = Clock::install(&c);
  EXPECT_EQ(monotonicSeconds(), c.monotonicSeconds());
  sleepFor(10);  // returns at once
  EXPECT_EQ(monotonicSeconds(), c.monotonicSeconds());
  EXPECT_TRUE(Clock::current().isManual());
  Clock::install(previous);
  EXPECT_FALSE(Clock::current().isManual());
  EXPECT_GT(now().seconds, 1.6e9);
}
