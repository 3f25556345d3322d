// Temporary files and folders that an interrupted process removes. Once
// handleTerminationSignals() has run, SIGINT, SIGTERM, SIGHUP, SIGPIPE and SIGQUIT remove every
// registered path and end the process with status 128 + the signal's number.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kit {

struct ExitCleanup {
  // Runs make() and registers the path it returns as one step, so that no cleanup runs between
  // the creation and the registration.
  static std::optional<std::string> createRegistered(const std::function<std::optional<std::string>()>& make);
  // The path is gone or kept for good: no cleanup removes it.
  static void forget(const std::string& path);
  // Blocks those signals in the calling thread (threads started later inherit that) and
  // waits for them on a thread of its own. Call it in main before any other thread starts.
  static void handleTerminationSignals();
};

}  // namespace kit
