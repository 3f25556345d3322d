// The recursive lock type behind the global tree lock. No global instance lives here: the
// application delegate owns the one lock and hands it out.
#pragma once

#include <mutex>

namespace kit {

class RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }
  bool try_lock() { return m_.try_lock(); }

 private:
  std::recursive_mutex m_;
};

// Holds the lock for the guard's scope.
class LockGuard {
 public:
  explicit LockGuard(RecursiveLock& l) : l_(l) { l_.lock(); }
  ~LockGuard() { l_.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  RecursiveLock& l_;
};

}  // namespace kit
