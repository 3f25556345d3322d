#include "kit/core/run_loop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "kit/core/clock.h"

namespace kit {

namespace {
// Static initialisation runs on the thread that starts the program.
const std::thread::id gMainThreadId = std::this_thread::get_id();
constexpr double kMinRepeatInterval = 0.0001;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

double sanitizeDelay(double d) { return std::isfinite(d) && d > 0 ? d : 0.0; }
}  // namespace

bool isMainThread() { return std::this_thread::get_id() == gMainThreadId; }

void Timer::invalidate() {
  if (!valid_) return;
  valid_ = false;
  if (loop_) loop_->invalidateTimer(*this);
}

RunLoop::RunLoop() = default;

RunLoop::~RunLoop() = default;

RunLoop& RunLoop::main() {
  // Never destroyed: objects destroyed at exit may still cancel their requests.
  static RunLoop* loop = new RunLoop;
  return *loop;
}

double RunLoop::nowSeconds() const { return Clock::current().monotonicSeconds(); }

void RunLoop::insertLocked(Key k, Entry e) {
  byTarget_.emplace(e.target, k);
  if (e.beforeTouch) beforeTouch_.insert(k);
  queue_.emplace(k, std::move(e));
}

void RunLoop::eraseLocked(std::map<Key, Entry>::iterator it) {
  auto range = byTarget_.equal_range(it->second.target);
  for (auto i = range.first; i != range.second; ++i) {
    if (i->second.seq == it->first.seq) {
      byTarget_.erase(i);
      break;
    }
  }
  if (it->second.beforeTouch) beforeTouch_.erase(it->first);
  queue_.erase(it);
}

void RunLoop::addPerform(const void* target, std::string name, Value argument, double delay, Callback fn,
                         bool beforeTouch) {
  if (!fn) return;
  double when = nowSeconds() + sanitizeDelay(delay);
  Entry e{target, std::move(name), std::move(argument), std::move(fn), nullptr, beforeTouch};
  std::lock_guard lock(mutex_);
  insertLocked(Key{when, nextSeq_++}, std::move(e));
}

void RunLoop::performAfterDelay(const void* target, std::string name, Value argument, double delay,
                                Callback fn) {
  addPerform(target, std::move(name), std::move(argument), delay, std::move(fn), false);
}

void RunLoop::performBeforeNextTouch(const void* target, std::string name, Value argument, double delay,
                                     Callback fn) {
  addPerform(target, std::move(name), std::move(argument), delay, std::move(fn), true);
}

void RunLoop::runPerformsBeforeTouch() {
  std::uint64_t limit;
  {
    std::lock_guard lock(mutex_);
    limit = nextSeq_;
  }
  // Those pending now, in fire-time order; what they schedule waits its turn.
  while (true) {
    Callback fn;
    {
      std::lock_guard lock(mutex_);
      auto k = std::find_if(beforeTouch_.begin(), beforeTouch_.end(), [limit](const Key& x) { return x.seq < limit; });
      if (k == beforeTouch_.end()) return;
      auto it = queue_.find(*k);
      fn = std::move(it->second.fn);
      eraseLocked(it);
    }
    fn();
  }
}

void RunLoop::cancelPerformsMatching(const void* target, const std::function<bool(const Entry&)>& match) {
  std::vector<Entry> dropped;  // destroyed after the lock is released: captures may cancel too
  {
    std::lock_guard lock(mutex_);
    std::vector<Key> keys;
    auto range = byTarget_.equal_range(target);
    for (auto i = range.first; i != range.second; ++i) keys.push_back(i->second);
    for (const Key& k : keys) {
      auto it = queue_.find(k);
      if (it == queue_.end() || it->second.timer || !match(it->second)) continue;
      dropped.push_back(std::move(it->second));
      eraseLocked(it);
    }
  }
}

void RunLoop::cancelPerform(const void* target, std::string_view name, const Value& argument) {
  cancelPerformsMatching(target, [&](const Entry& e) { return e.name == name && e.argument == argument; });
}

void RunLoop::cancelPerforms(const void* target) {
  cancelPerformsMatching(target, [](const Entry&) { return true; });
}

std::size_t RunLoop::pendingPerforms(const void* target) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  auto range = byTarget_.equal_range(target);
  for (auto i = range.first; i != range.second; ++i) {
    auto it = queue_.find(i->second);
    if (it != queue_.end() && !it->second.timer) ++n;
  }
  return n;
}

std::size_t RunLoop::pendingPerforms(const void* target, std::string_view name) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  auto range = byTarget_.equal_range(target);
  for (auto i = range.first; i != range.second; ++i) {
    auto it = queue_.find(i->second);
    if (it != queue_.end() && !it->second.timer && it->second.name == name) ++n;
  }
  return n;
}

TimerRef RunLoop::scheduleTimer(double interval, bool repeats, std::function<void(Timer&)> fn,
                                Value userInfo, const void* owner) {
  auto t = std::make_shared<Timer>();
  t->loop_ = this;
  t->owner_ = owner;
  t->repeats_ = repeats;
  t->interval_ = sanitizeDelay(interval);
  if (repeats) t->interval_ = std::max(t->interval_, kMinRepeatInterval);
  t->userInfo_ = std::move(userInfo);
  t->fn_ = std::move(fn);
  if (!t->fn_) {
    t->valid_ = false;
    return t;
  }
  std::lock_guard lock(mutex_);
  t->fireTime_ = nowSeconds() + t->interval_;
  t->key_ = nextSeq_++;
  Entry e;
  e.target = owner;
  e.timer = t;
  insertLocked(Key{t->fireTime_, t->key_}, std::move(e));
  return t;
}

void RunLoop::invalidateTimer(Timer& t) {
  std::function<void(Timer&)> fn;
  std::vector<Entry> dropped;
  {
    std::lock_guard lock(mutex_);
    fn = std::move(t.fn_);
    t.fn_ = nullptr;
    auto it = queue_.find(Key{t.fireTime_, t.key_});
    if (it != queue_.end() && it->second.timer.get() == &t) {
      dropped.push_back(std::move(it->second));
      eraseLocked(it);
    }
  }
}

void RunLoop::invalidateTimers(const void* owner) {
  std::vector<TimerRef> timers;
  {
    std::lock_guard lock(mutex_);
    auto range = byTarget_.equal_range(owner);
    for (auto i = range.first; i != range.second; ++i) {
      auto it = queue_.find(i->second);
      if (it != queue_.end() && it->second.timer) timers.push_back(it->second.timer);
    }
  }
  for (auto& t : timers) t->invalidate();
}

void RunLoop::cancelAll(const void* owner) {
  cancelPerforms(owner);
  invalidateTimers(owner);
}

RunLoop::HookId RunLoop::addEndOfPassHook(Callback fn) {
  std::lock_guard lock(mutex_);
  HookId id = nextHook_++;
  hooks_.emplace_back(id, std::move(fn));
  return id;
}

void RunLoop::removeEndOfPassHook(HookId id) {
  Callback dropped;
  std::lock_guard lock(mutex_);
  auto it = std::find_if(hooks_.begin(), hooks_.end(), [&](const auto& h) { return h.first == id; });
  if (it != hooks_.end()) {
    dropped = std::move(it->second);
    hooks_.erase(it);
  }
}

void RunLoop::post(Callback fn) {
  if (!fn) return;
  std::shared_ptr<const Callback> wake;
  {
    std::lock_guard lock(postMutex_);
    posted_.push_back(std::move(fn));
    wake = wake_;
  }
  postCv_.notify_all();
  if (wake) (*wake)();
}

bool RunLoop::hasPostedWork() const {
  std::lock_guard lock(postMutex_);
  return !posted_.empty();
}

void RunLoop::setWakeHandler(Callback fn) {
  std::lock_guard lock(postMutex_);
  wake_ = fn ? std::make_shared<const Callback>(std::move(fn)) : nullptr;
}

bool RunLoop::runOnce() {
  // Held for the whole pass; released on every way out.
  struct DispatchHold {
    RecursiveLock* l;
    explicit DispatchHold(RecursiveLock* lock) : l(lock) { if (l) l->lock(); }
    ~DispatchHold() { if (l) l->unlock(); }
  } hold(dispatchLock_.load());
  bool did = false;
  std::uint64_t limit;
  {
    std::lock_guard lock(mutex_);
    limit = nextSeq_;
  }

  std::deque<Callback> posted;
  {
    std::lock_guard lock(postMutex_);
    posted.swap(posted_);
  }
  for (auto& fn : posted) {
    fn();
    did = true;
  }
  posted.clear();

  // Only what was due when the pass began: work scheduled now waits for the next pass.
  std::vector<Key> due;
  {
    std::lock_guard lock(mutex_);
    double now = nowSeconds();
    for (auto it = queue_.begin(); it != queue_.end() && it->first.time <= now; ++it) {
      if (it->first.seq < limit) due.push_back(it->first);
    }
  }

  for (const Key& k : due) {
    Entry e;
    {
      std::lock_guard lock(mutex_);
      auto it = queue_.find(k);
      if (it == queue_.end()) continue;  // cancelled by an earlier callback
      e = std::move(it->second);
      eraseLocked(it);
      if (e.timer) {
        Timer& t = *e.timer;
        if (!t.valid_ || !t.fn_) continue;
        if (t.repeats_) {
          // Keep the cadence of the scheduled times, skipping ticks that were missed.
          double now = nowSeconds();
          double next = t.fireTime_ + t.interval_;
          if (next <= now) {
            double k = std::floor((now - t.fireTime_) / t.interval_) + 1;
            next = t.fireTime_ + k * t.interval_;
            if (next <= now) next += t.interval_;
          }
          t.fireTime_ = next;
          t.key_ = nextSeq_++;
          Entry again;
          again.target = t.owner_;
          again.timer = e.timer;
          insertLocked(Key{t.fireTime_, t.key_}, std::move(again));
        } else {
          t.valid_ = false;
        }
      }
    }
    did = true;
    if (e.timer) {
      TimerRef t = e.timer;
      auto fn = t->fn_;  // the callback may invalidate the timer and drop its function
      if (!t->repeats_) t->fn_ = nullptr;
      if (fn) fn(*t);
    } else {
      e.fn();
    }
  }

  std::vector<HookId> ids;
  {
    std::lock_guard lock(mutex_);
    for (const auto& h : hooks_) ids.push_back(h.first);
  }
  for (HookId id : ids) {
    Callback fn;
    {
      std::lock_guard lock(mutex_);
      auto it = std::find_if(hooks_.begin(), hooks_.end(), [&](const auto& h) { return h.first == id; });
      if (it == hooks_.end()) continue;
      fn = it->second;
    }
    fn();
  }
  return did;
}

double RunLoop::nextFireTime() const {
  std::lock_guard lock(mutex_);
  return queue_.empty() ? kInfinity : queue_.begin()->first.time;
}

bool RunLoop::hasPendingWork() const {
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return true;
  }
  std::lock_guard lock(postMutex_);
  return !posted_.empty();
}

void RunLoop::waitRealUntil(double t) {
  std::unique_lock lock(postMutex_);
  auto ready = [&] { return !posted_.empty() || stopRequested_; };
  if (!std::isfinite(t)) {
    postCv_.wait(lock, ready);
    return;
  }
  double wait = t - nowSeconds();
  if (wait <= 0) return;
  postCv_.wait_for(lock, std::chrono::duration<double>(wait), ready);
}

void RunLoop::runUntil(double t) {
  while (true) {
    runOnce();
    bool posted;
    {
      std::lock_guard lock(postMutex_);
      posted = !posted_.empty();
      if (stopRequested_) {
        stopRequested_ = false;
        return;
      }
    }
    double now = nowSeconds();
    double next = nextFireTime();
    if (posted || next <= now) continue;
    if (now >= t) return;
    double until = std::min(next, t);
    Clock& clock = Clock::current();
    if (clock.isManual()) {
      if (!std::isfinite(until)) return;
      static_cast<ManualClock&>(clock).advanceTo(until);
    } else {
      waitRealUntil(until);
    }
  }
}

void RunLoop::runFor(double seconds) { runUntil(nowSeconds() + sanitizeDelay(seconds)); }

void RunLoop::run() { runUntil(kInfinity); }

void RunLoop::stop() {
  {
    std::lock_guard lock(postMutex_);
    stopRequested_ = true;
  }
  postCv_.notify_all();
}

void RunLoop::reset() {
  std::map<Key, Entry> queue;
  std::deque<Callback> posted;
  {
    std::lock_guard lock(mutex_);
    queue.swap(queue_);
    byTarget_.clear();
    beforeTouch_.clear();
  }
  {
    std::lock_guard lock(postMutex_);
    posted.swap(posted_);
    stopRequested_ = false;
  }
  for (auto& [k, e] : queue) {
    if (e.timer) {
      e.timer->valid_ = false;
      e.timer->fn_ = nullptr;
    }
  }
}

}  // namespace kit
