#include "kit/testing/app_home.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"

namespace kit {

namespace {

std::string makeTempFolder() {
  std::error_code ec;
  std::string base = std::filesystem::temp_directory_path(ec).string();
  if (ec || base.empty()) base = "/tmp";
  std::string pattern = base + "/quillmere-test-XXXXXX";
  if (::mkdtemp(pattern.data())) return pattern;
  return {};
}

}  // namespace

TemporaryAppHome::TemporaryAppHome() {
  if (const char* v = std::getenv("QUILLMERE_HOME")) previous_ = v;
  path_ = makeTempFolder();
  UserDefaults::resetStandard();
  ::setenv("QUILLMERE_HOME", path_.c_str(), 1);
}

TemporaryAppHome::~TemporaryAppHome() {
  UserDefaults::resetStandard();
  if (previous_) ::setenv("QUILLMERE_HOME", previous_->c_str(), 1);
  else ::unsetenv("QUILLMERE_HOME");
  if (!path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
}

ManualClockScope::ManualClockScope() {
  RunLoop::main().reset();
  previous_ = Clock::install(&clock_);
}

ManualClockScope::~ManualClockScope() {
  RunLoop::main().reset();
  Clock::install(previous_);
}

void ManualClockScope::runFor(double seconds) { RunLoop::main().runFor(seconds); }

void ManualClockScope::runInSteps(double seconds, double step) {
  if (!(step > 0)) step = seconds;
  const double end = clock_.monotonicSeconds() + seconds;
  while (true) {
    double next = std::min(end, clock_.monotonicSeconds() + step);
    RunLoop::main().runUntil(next);
    if (clock_.monotonicSeconds() >= end) break;
  }
}

bool ManualClockScope::runOnce() { return RunLoop::main().runOnce(); }

}  // namespace kit
