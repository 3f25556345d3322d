// An exclusive lock on a lock file, held through an open descriptor (flock), so the kernel
// releases it when the holder ends, however it ends: a crash never leaves the lock taken. The
// holder writes a line of its own into the file (who holds it), which a refused taker reads.
#pragma once

#include <optional>
#include <string>

namespace kit {

class FileLock {
 public:
  enum class Outcome { Taken, HeldElsewhere, Failed };
  struct Attempt;

  // Takes the lock on path (made, with its folder, when missing) without waiting. Taken: the lock
  // is held and holder is written into the file. HeldElsewhere: another open of it holds the lock
  // (in this process or another); holder is what that one wrote. Failed: errno tells why.
  static Attempt tryLock(const std::string& path, const std::string& holder);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // Removes the lock file, then lets the lock go.
  ~FileLock();

  const std::string& path() const { return path_; }

 private:
  FileLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  void release();
  std::string path_;
  int fd_ = -1;
};

struct FileLock::Attempt {
  Outcome outcome = Outcome::Failed;
  std::optional<FileLock> lock;  // when Taken
  std::string holder;            // when HeldElsewhere
};

}  // namespace kit
