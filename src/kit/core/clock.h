// The process clock: monotonic seconds for elapsed times and delays, wall time for dates. Real by
// default; tests install a ManualClock so that delays and timers are deterministic.
#pragma once

#include <atomic>
#include <mutex>

#include "kit/core/value.h"

namespace kit {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds on a monotonic scale with an arbitrary origin (media clock, event timestamps).
  virtual double monotonicSeconds() const = 0;
  // The current point in time.
  virtual Date now() const = 0;
  // Blocks the calling thread; a manual clock advances itself instead.
  virtual void sleepFor(double seconds) = 0;
  virtual bool isManual() const { return false; }

  // The clock everything reads. Never null: the system clock unless one was installed.
  static Clock& current();
  // Installs c (nullptr restores the system clock); returns the previous one. The caller keeps c
  // alive while it is installed.
  static Clock* install(Clock* c);
};

class SystemClock final : public Clock {
 public:
  double monotonicSeconds() const override;
  Date now() const override;
  void sleepFor(double seconds) override;
  static SystemClock& shared();
};

// Time moves only when told. Monotonic and wall time advance together. Thread-safe reads.
class ManualClock final : public Clock {
 public:
  // Starts at monotonic 1000 s and 2024-01-01 00:00:00 UTC.
  ManualClock();
  double monotonicSeconds() const override;
  Date now() const override;
  void sleepFor(double seconds) override { advance(seconds); }
  bool isManual() const override { return true; }

  // Moves both scales forward by seconds (negative values are ignored).
  void advance(double seconds);
  // Sets the monotonic time; never moves backwards. The wall time follows by the same step.
  void advanceTo(double monotonic);
  // Sets the wall time alone.
  void setDate(Date d);

 private:
  mutable std::mutex mutex_;
  double monotonic_;
  double wall_;
};

// Times are sums of seconds in doubles: an instant a whole interval after another may lie a few
// ulps either side of it. Durations are compared with this tolerance, far below anything a person
// can time.
constexpr double kTimeTolerance = 1e-6;
inline bool isLongerThan(double seconds, double limit) { return seconds > limit + kTimeTolerance; }

// Shorthands for Clock::current().
inline double monotonicSeconds() { return Clock::current().monotonicSeconds(); }
inline Date now() { return Clock::current().now(); }
inline void sleepFor(double seconds) { Clock::current().sleepFor(seconds); }

}  // namespace kit
