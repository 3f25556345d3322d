// The main run loop: delayed performs, timers, end-of-pass hooks and work posted from other
// threads. Time comes from Clock::current(), so a manual clock makes everything deterministic.
//
// A pass runs, in order: work posted with post(), every perform and timer that was due when the
// pass began (fire-time order, ties in scheduling order), then the end-of-pass hooks. Anything
// scheduled during a pass, even with a delay of 0, waits for a later pass.
//
// Everything except post() belongs to the main thread.
//
// Lifetime: a perform or timer must never reach a dead object. An object that schedules work on
// itself either cancels it in its destructor (RunLoop::main().cancelAll(this), or a PerformOwner
// member) or moves ownership of what the callback needs into the callback.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "kit/core/lock.h"
#include "kit/core/value.h"

namespace kit {

class RunLoop;

// True on the thread that started the program (the thread of static initialisation).
bool isMainThread();

// A scheduled timer. The run loop keeps it while it is valid; the handle may outlive it.
class Timer {
 public:
  // Stops the timer for good; safe from inside its own callback and more than once.
  void invalidate();
  bool isValid() const { return valid_; }
  bool repeats() const { return repeats_; }
  double interval() const { return interval_; }
  // Monotonic time of the next firing.
  double fireTime() const { return fireTime_; }
  const void* owner() const { return owner_; }
  // What the timer carries for its callback (kept for the timer's life).
  const Value& userInfo() const { return userInfo_; }

 private:
  friend class RunLoop;
  RunLoop* loop_ = nullptr;
  const void* owner_ = nullptr;
  double interval_ = 0;
  double fireTime_ = 0;
  bool repeats_ = false;
  bool valid_ = true;
  std::uint64_t key_ = 0;
  Value userInfo_;
  std::function<void(Timer&)> fn_;
};

using TimerRef = std::shared_ptr<Timer>;

class RunLoop {
 public:
  using Callback = std::function<void()>;
  using HookId = std::uint64_t;

  RunLoop();
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  static RunLoop& main();

  // Runs fn after delay seconds (0 or less: the next pass). target is the owner the request is
  // cancelled by, name the message, argument what cancellation compares (null matches null).
  // fn owns whatever must stay alive until it runs.
  void performAfterDelay(const void* target, std::string name, Value argument, double delay,
                         Callback fn);
  // As performAfterDelay; the request also runs early, before a window takes the next
  // touch-down (runPerformsBeforeTouch): what a keystroke set going, the next touch finds done.
  void performBeforeNextTouch(const void* target, std::string name, Value argument, double delay,
                              Callback fn);
  // Runs now, in their order, the pending requests made with performBeforeNextTouch.
  void runPerformsBeforeTouch();
  // Cancels pending requests with this target, name and an equal argument.
  void cancelPerform(const void* target, std::string_view name, const Value& argument);
  // Cancels every pending request of target (timers are not touched).
  void cancelPerforms(const void* target);
  // Pending requests of target, optionally only those with a given name.
  std::size_t pendingPerforms(const void* target) const;
  std::size_t pendingPerforms(const void* target, std::string_view name) const;

  // Schedules a timer firing first after interval seconds. Repeating intervals are at least
  // 0.1 ms. A repeating timer that falls behind fires once and then keeps its original cadence,
  // skipping the missed ticks.
  TimerRef scheduleTimer(double interval, bool repeats, std::function<void(Timer&)> fn,
                         Value userInfo = {}, const void* owner = nullptr);
  // Invalidates every timer of owner.
  void invalidateTimers(const void* owner);
  // cancelPerforms(owner) and invalidateTimers(owner): what a destructor calls.
  void cancelAll(const void* owner);

  // Runs after every pass, in the order added; a hook may remove itself.
  HookId addEndOfPassHook(Callback fn);
  void removeEndOfPassHook(HookId id);

  // From any thread: fn runs on the main thread at the start of the next pass.
  void post(Callback fn);
  // Work posted and not yet run.
  bool hasPostedWork() const;
  // Called by post(), on the posting thread, once the work is queued: a host whose own main loop
  // drives this one wakes it here. It must be safe from any thread. Set it on
  // the main thread before other threads post; null removes it. It may run after the pass that
  // runs the work it announces.
  void setWakeHandler(Callback fn);

  // A lock held while the main thread runs each pass's work, so that threads which draw under
  // the same lock never see an event half-handled. Null (the default) holds nothing.
  void setDispatchLock(RecursiveLock* lock) { dispatchLock_.store(lock); }
  RecursiveLock* dispatchLock() const { return dispatchLock_.load(); }

  // One pass with what is due now; never waits. Returns whether any work ran.
  bool runOnce();
  // Passes until the clock reaches t (monotonic seconds) and nothing due is left. A manual clock
  // is advanced from one fire time to the next; the real clock is waited for.
  void runUntil(double t);
  void runFor(double seconds);
  // Runs until stop() (real clock); a manual clock with nothing left to do returns at once.
  void run();
  void stop();

  // Monotonic time of the earliest pending perform or timer, or +infinity.
  double nextFireTime() const;
  bool hasPendingWork() const;
  // Drops every perform, timer, posted work item; keeps the hooks. For tests that change clocks.
  void reset();

 private:
  struct Key {
    double time;
    std::uint64_t seq;
    friend bool operator<(const Key& a, const Key& b) {
      return a.time < b.time || (a.time == b.time && a.seq < b.seq);
    }
  };
  struct Entry {
    const void* target = nullptr;
    std::string name;
    Value argument;
    Callback fn;
    TimerRef timer;  // set for timers
    bool beforeTouch = false;
  };
  friend class Timer;

  void addPerform(const void* target, std::string name, Value argument, double delay, Callback fn,
                  bool beforeTouch);
  void insertLocked(Key k, Entry e);
  void eraseLocked(std::map<Key, Entry>::iterator it);
  // Cancels target's performs (not timers) that match.
  void cancelPerformsMatching(const void* target, const std::function<bool(const Entry&)>& match);
  void invalidateTimer(Timer& t);
  void waitRealUntil(double t);
  double nowSeconds() const;

  mutable std::recursive_mutex mutex_;
  std::map<Key, Entry> queue_;
  std::unordered_multimap<const void*, Key> byTarget_;
  std::set<Key> beforeTouch_;  // the requests of performBeforeNextTouch
  std::uint64_t nextSeq_ = 1;

  std::vector<std::pair<HookId, Callback>> hooks_;
  HookId nextHook_ = 1;

  mutable std::mutex postMutex_;
  std::atomic<RecursiveLock*> dispatchLock_{nullptr};
  std::condition_variable postCv_;
  std::deque<Callback> posted_;
  std::shared_ptr<const Callback> wake_;
  bool stopRequested_ = false;
};

// A member that cancels its owner's performs and timers when the owner goes:
//   kit::PerformOwner performs_{this};
// Declare it last so it goes first, before the members a callback might use.
class PerformOwner {
 public:
  explicit PerformOwner(const void* owner) : owner_(owner) {}
  ~PerformOwner() { RunLoop::main().cancelAll(owner_); }
  PerformOwner(const PerformOwner&) = delete;
  PerformOwner& operator=(const PerformOwner&) = delete;
  const void* owner() const { return owner_; }

 private:
  const void* owner_;
};

}  // namespace kit
