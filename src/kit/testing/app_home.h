// Test support: a fresh temporary application home and a manual clock.
#pragma once

#include <optional>
#include <string>

#include "kit/core/clock.h"

namespace kit {

// Points QUILLMERE_HOME at a new temporary folder for its lifetime, then restores the variable
// and removes the folder. The shared UserDefaults is dropped on entry and exit, so it reads and
// writes inside this home only.
class TemporaryAppHome {
 public:
  TemporaryAppHome();
  ~TemporaryAppHome();
  TemporaryAppHome(const TemporaryAppHome&) = delete;
  TemporaryAppHome& operator=(const TemporaryAppHome&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::optional<std::string> previous_;
};

// Installs a ManualClock for its lifetime and empties the main run loop before and after, so
// that no request scheduled on another clock survives.
class ManualClockScope {
 public:
  ManualClockScope();
  ~ManualClockScope();
  ManualClockScope(const ManualClockScope&) = delete;
  ManualClockScope& operator=(const ManualClockScope&) = delete;

  ManualClock& clock() { return clock_; }
  double now() const { return clock_.monotonicSeconds(); }
  // Runs the main run loop for seconds of manual time (passes at each fire time on the way).
  void runFor(double seconds);
  // Runs the main run loop for seconds in steps of step seconds, one pass per step at least.
  void runInSteps(double seconds, double step);
  // One pass without moving time.
  bool runOnce();

 private:
  ManualClock clock_;
  Clock* previous_;
};

}  // namespace kit
