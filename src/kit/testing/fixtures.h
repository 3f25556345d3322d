// GoogleTest fixtures over the scopes of app_home.h (header only: include from tests).
#pragma once

#include <gtest/gtest.h>

#include "kit/testing/app_home.h"

namespace kit {

// A manual clock and an empty main run loop for each test.
class ManualClockTest : public ::testing::Test {
 protected:
  ManualClockScope time_;
};

// A temporary application home, a manual clock and an empty main run loop for each test.
class AppHomeTest : public ::testing::Test {
 protected:
  TemporaryAppHome home_;
  ManualClockScope time_;
};

}  // namespace kit
