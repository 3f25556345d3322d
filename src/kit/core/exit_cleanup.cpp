#include "kit/core/exit_cleanup.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "kit/core/files.h"

namespace kit {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::string> paths;
};

// Never destroyed: a signal may arrive while static objects are being torn down.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

[[noreturn]] void cleanUpAndExit(int signal) {
  Registry& r = registry();
  // Held to the end, so no new path is registered behind the cleanup's back.
  r.mutex.lock();
  for (const std::string& p : r.paths) {
    // The main thread may still be adding files to a folder being removed: try again.
    for (int attempt = 0; attempt < 5 && !FileManager::remove(p) && FileManager::exists(p); ++attempt) {
    }
  }
  ::_exit(128 + signal);
}

}  // namespace

std::optional<std::string> ExitCleanup::createRegistered(const std::function<std::optional<std::string>()>& make) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::optional<std::string> path = make();
  if (path) r.paths.push_back(*path);
  return path;
}

void ExitCleanup::forget(const std::string& path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = std::find(r.paths.begin(), r.paths.end(), path);
  if (it != r.paths.end()) r.paths.erase(it);
}

void ExitCleanup::handleTerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  // Closing the terminal (HUP), a reader gone from a pipe (PIPE) and Ctrl-\ (QUIT) end a run as
  // Ctrl-C and kill do. A write to a closed pipe then fails with EPIPE instead.
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) sigaddset(&set, signal);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  std::thread([set] {
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    cleanUpAndExit(signal);
  }).detach();
}

}  // namespace kit
