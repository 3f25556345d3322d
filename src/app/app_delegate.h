// The application delegate, as far as the map model and canvas need it: it registers the
// settings defaults, owns the one global tree lock and mirrors settings into the process-wide
// values each time the application becomes active.
#pragma once

#include <memory>
#include <string>

#include "kit/core/lock.h"

class AppDelegate {
 public:
  // Registers the settings defaults and creates (and installs) the global tree lock; make the
  // delegate before any map.
  AppDelegate();
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  kit::RecursiveLock& globalTreeLock() { return *lock_; }

  // Rereads the user settings into the process-wide values.
  void applicationDidBecomeActive();

  // The user's first preferred language ("zh-Hans", "en-GB"), from LANGUAGE or LANG with '_'
  // read as '-'; empty when neither is set.
  static std::string firstPreferredLanguage();

 private:
  std::unique_ptr<kit::RecursiveLock> lock_;
};
