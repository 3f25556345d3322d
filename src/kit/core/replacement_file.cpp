#include "kit/core/replacement_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "kit/core/exit_cleanup.h"
#include "kit/core/files.h"

namespace kit {

namespace {

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Six letters or digits for a temporary name.
std::string randomSuffix() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t v = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^ static_cast<std::uint64_t>(::getpid());
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(v);
      v = (v >> 8) | (v << 56);
    }
  }
  std::string s;
  for (unsigned char b : bytes) s += kLetters[b % 62];
  return s;
}

// Keeps errno across clean-up calls that may change it.
struct ErrnoKeeper {
  int saved = errno;
  ~ErrnoKeeper() { errno = saved; }
};

}  // namespace

std::optional<ReplacementFile> ReplacementFile::create(const std::string& path) {
  if (path.empty() || path.back() == '/') {
    errno = EINVAL;
    return std::nullopt;
  }
  struct stat st;
  const bool replacing = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  // Created no wider than it ends up, then given the replaced file's exact mode.
  const mode_t createMode = replacing ? (st.st_mode & 0777) : 0666;
  int fd = -1;
  std::optional<std::string> temp = ExitCleanup::createRegistered([&]() -> std::optional<std::string> {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path + ".tmp-" + randomSuffix();
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
      if (fd >= 0) return name;
      if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
  });
  if (!temp) return std::nullopt;
  ReplacementFile file(path, std::move(*temp), fd);
  if (replacing && ::fchmod(fd, st.st_mode & 07777) != 0) {
    ErrnoKeeper keep;
    file.discard();
    return std::nullopt;
  }
  return file;
}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : path_(std::move(other.path_)), temp_(std::move(other.temp_)), fd_(other.fd_), finished_(other.finished_) {
  other.fd_ = -1;
  other.finished_ = true;
}

ReplacementFile& ReplacementFile::operator=(ReplacementFile&& other) noexcept {
  if (this == &other) return *this;
  discard();
  path_ = std::move(other.path_);
  temp_ = std::move(other.temp_);
  fd_ = other.fd_;
  finished_ = other.finished_;
  other.fd_ = -1;
  other.finished_ = true;
  return *this;
}

ReplacementFile::~ReplacementFile() { discard(); }

int ReplacementFile::releaseDescriptor() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

bool ReplacementFile::write(std::span<const std::uint8_t> bytes) { return fd_ >= 0 && writeAll(fd_, bytes); }

bool ReplacementFile::commit(Durability durability) {
  if (finished_) return false;
  const bool sync = durability == Durability::Disk;
  bool ok = true;
  if (fd_ >= 0) {
    ok = !sync || ::fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
  }
  if (ok) ok = ::rename(temp_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    ErrnoKeeper keep;
    discard();
    return false;
  }
  finished_ = true;
  ExitCleanup::forget(temp_);
  if (!sync) return true;
  int dfd = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

void ReplacementFile::discard() {
  if (finished_) return;
  finished_ = true;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
  ExitCleanup::forget(temp_);
}

}  // namespace kit
