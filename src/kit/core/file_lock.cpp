#include "kit/core/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "kit/core/files.h"

namespace kit {

namespace {

std::string contentOf(int fd) {
  std::string text;
  char buffer[512];
  for (off_t at = 0; text.size() < 4096;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

// The descriptor still names the file at path: a holder that let go removed it first, and a
// lock on a removed file locks nothing another taker can see.
bool stillAt(int fd, const std::string& path) {
  struct stat held, named;
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

FileLock::Attempt FileLock::tryLock(const std::string& path, const std::string& holder) {
  Attempt attempt;
  if (!FileManager::createDirectories(folderOf(path))) return attempt;
  // A holder letting go between our open and our lock removed the file we opened: open again.
  for (int tries = 0; tries < 8; ++tries) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return attempt;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      if (err == EWOULDBLOCK) {
        attempt.outcome = Outcome::HeldElsewhere;
        attempt.holder = contentOf(fd);
      }
      ::close(fd);
      errno = err;
      return attempt;
    }
    if (!stillAt(fd, path)) {
      ::close(fd);
      continue;
    }
    const std::string line = holder + "\n";
    if (::ftruncate(fd, 0) != 0 ||
        !writeAll(fd, bytesOf(line))) {
      const int err = errno;
      ::unlink(path.c_str());
      ::close(fd);
      errno = err;
      return attempt;
    }
    attempt.outcome = Outcome::Taken;
    attempt.lock.emplace(FileLock(path, fd));
    return attempt;
  }
  errno = EAGAIN;
  return attempt;
}

FileLock::FileLock(FileLock&& other) noexcept : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileLock::~FileLock() { release(); }

void FileLock::release() {
  if (fd_ < 0) return;
  // Removed while still held, so that no one takes a lock on a file that is about to go.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

}  // namespace kit
