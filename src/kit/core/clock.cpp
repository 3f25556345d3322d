#include "kit/core/clock.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace kit {

namespace {
std::atomic<Clock*> gInstalled{nullptr};
}  // namespace

Clock& Clock::current() {
  Clock* c = gInstalled.load(std::memory_order_acquire);
  return c ? *c : SystemClock::shared();
}

Clock* Clock::install(Clock* c) {
  Clock* previous = gInstalled.exchange(c, std::memory_order_acq_rel);
  return previous;
}

double SystemClock::monotonicSeconds() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Date SystemClock::now() const {
  using namespace std::chrono;
  return Date{duration<double>(system_clock::now().time_since_epoch()).count()};
}

void SystemClock::sleepFor(double seconds) {
  if (!(seconds > 0)) return;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

SystemClock& SystemClock::shared() {
  static SystemClock clock;
  return clock;
}

ManualClock::ManualClock() : monotonic_(1000.0), wall_(1704067200.0) {}

double ManualClock::monotonicSeconds() const {
  std::lock_guard lock(mutex_);
  return monotonic_;
}

Date ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return Date{wall_};
}

void ManualClock::advance(double seconds) {
  if (!(seconds > 0) || !std::isfinite(seconds)) return;
  std::lock_guard lock(mutex_);
  monotonic_ += seconds;
  wall_ += seconds;
}

void ManualClock::advanceTo(double monotonic) {
  if (!std::isfinite(monotonic)) return;
  std::lock_guard lock(mutex_);
  if (monotonic <= monotonic_) return;
  wall_ += monotonic - monotonic_;
  monotonic_ = monotonic;
}

void ManualClock::setDate(Date d) {
  std::lock_guard lock(mutex_);
  wall_ = d.seconds;
}

}  // namespace kit
