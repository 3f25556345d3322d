// A scratch folder for one fuzzing process (in memory where /dev/shm exists), removed when the
// process ends.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

// Never destroyed, so that the clean-up at exit can still read it.
inline const std::string& fuzzFolder() {
  static const std::string* path = [] {
    namespace fs = std::filesystem;
    std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string pattern = base + "/quill-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return new std::string(pattern);
  }();
  static const bool cleanUp = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*path, ec);
    });
    return true;
  }();
  (void)cleanUp;
  return *path;
}
