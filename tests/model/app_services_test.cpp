#include "model/app_services.h"

#include <gtest/gtest.h>

TEST(AppServices, TheInstalledTreeLockIsTheOneEveryoneGets) {
  kit::RecursiveLock& fallback = AppServices::globalTreeLock();
  EXPECT_EQ(&fallback, &AppServices::globalTreeLock());
  kit::RecursiveLock mine;
  AppServices::installGlobalTreeLock(&mine);
  EXPECT_EQ(&AppServices::globalTreeLock(), &mine);
  {
    // Recursive: a caller that already holds it may take it again.
    kit::LockGuard outer(AppServices::globalTreeLock());
    kit::LockGuard inner(AppServices::globalTreeLock());
  }
  AppServices::installGlobalTreeLock(nullptr);
  EXPECT_EQ(&AppServices::globalTreeLock(), &fallback);
}

TEST(AppServices, ValuesRoundTrip) {
  AppServices::setSharedAnimationDuration(0.2);
  EXPECT_EQ(AppServices::sharedAnimationDuration(), 0.2);
  AppServices::setSharedAnimationDuration(0.0);
  AppServices::setTripleDeleteDisabledFlag(true);
  EXPECT_TRUE(AppServices::tripleDeleteDisabledFlag());
  AppServices::setTripleDeleteDisabledFlag(false);
  AppServices::setExternalDisplayFlag(true);
  EXPECT_TRUE(AppServices::externalDisplayFlag());
  AppServices::setExternalDisplayFlag(false);
}
