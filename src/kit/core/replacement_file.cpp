#include "kit/core/replacement_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "kit/core/exit_cleanup.h"
#include "kit/core/files.h"
#include "kit/core/name_limit.h"

namespace kit {

namespace {

// Temporary files left by a process killed outright go after this long.
constexpr std::time_t kLeftoverAge = 6 * 60 * 60;
constexpr const char* kTemporaryMarker = ".tmp-";

// Why the latest failure happened; empty when none. Process-wide: an image's pieces may be
// written from the threads that draw them.
std::mutex gFailureMutex;
std::string gFailure;

void setFailure(std::string why, bool keepEarlier = false) {
  std::lock_guard lock(gFailureMutex);
  if (!keepEarlier || gFailure.empty()) gFailure = std::move(why);
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

// A fresh name beside path for its temporary file, carrying the process id, so that a later run
// can tell when it was left behind; the start of path's own name, as much of it as fits.
std::string temporaryName(const std::string& path) {
  const std::size_t name = path.find_last_of('/') + 1;
  return path.substr(0, name) + fitName(std::string_view(path).substr(name),
                                        kTemporaryMarker + std::to_string(::getpid()) + "-" + randomSuffix(),
                                        nameLimitIn(folderOf(path)));
}

// A fresh temporary name beside path on which make (answering whether it made something there)
// succeeded, registered for removal on interruption; nullopt, with errno telling why, when none.
template <class Make>
std::optional<std::string> makeUnderFreshName(const std::string& path, Make make) {
  return ExitCleanup::createRegistered([&]() -> std::optional<std::string> {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = temporaryName(path);
      if (make(name)) return name;
      if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
  });
}

// Keeps errno across clean-up calls that may change it.
struct ErrnoKeeper {
  int saved = errno;
  ~ErrnoKeeper() { errno = saved; }
};

// Records why, and keeps errno for the caller.
void fail(const std::string& why, int error) {
  setFailure(why);
  errno = error;
}
void fail(int error) { fail(std::strerror(error), error); }

// Whether the kernel would follow link for this process: in a sticky folder that anyone may
// write to (/tmp), only a link of the folder's owner or of this user is followed, so that a link
// another user plants there cannot lead a write onto a file of this user's.
bool mayFollow(const std::string& link, const struct stat& linkStat) {
  struct stat folder;
  if (::stat(folderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || linkStat.st_uid == folder.st_uid || linkStat.st_uid == ::geteuid();
}

// The file a write to path replaces: a symbolic link's final target, relative links read from the
// link's own folder. nullopt, the failure recorded, for a chain that does not end or a link that
// is not to be followed.
std::optional<std::string> finalTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    if (!mayFollow(path, st)) {
      fail("it is a link that another user made in a shared folder, not followed for safety; write elsewhere", EACCES);
      return std::nullopt;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return path;
    link.resize(static_cast<std::size_t>(n));
    path = link.front() == '/' ? link : folderOf(path) + "/" + link;
  }
  fail(ELOOP);
  return std::nullopt;
}

// A folder on a file system without unnamed files: what killed runs left in it goes, once per
// folder and process.
void removeLeftoversOnce(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> done;
  {
    std::lock_guard lock(mutex);
    if (!done.insert(folder).second) return;
  }
  ErrnoKeeper keep;
  FileManager::removeLeftovers(folder, kTemporaryMarker, kLeftoverAge, FileType::Regular);
}

}  // namespace

std::string ReplacementFile::takeFailure() {
  std::lock_guard lock(gFailureMutex);
  return std::exchange(gFailure, std::string());
}

std::optional<std::string> ReplacementFile::whyNot(const std::string& path) {
  takeFailure();
  if (create(path)) return std::nullopt;
  std::string why = takeFailure();
  return why.empty() ? std::string(std::strerror(errno)) : why;
}

std::optional<ReplacementFile> ReplacementFile::create(const std::string& given, Links links) {
  if (given.empty() || given.back() == '/') {
    fail(EINVAL);
    return std::nullopt;
  }
  std::optional<std::string> target = links == Links::WriteThrough ? finalTarget(given) : given;
  if (!target) return std::nullopt;
  const std::string& path = *target;
  // A link left in place of the file is replaced as a new file.
  struct stat st;
  const bool replacing = ::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode);
  if (replacing && S_ISDIR(st.st_mode)) {
    fail("it is a folder", EISDIR);
    return std::nullopt;
  }
  if (replacing && !S_ISREG(st.st_mode)) {
    fail("it is not a regular file", EINVAL);
    return std::nullopt;
  }
  // A file its owner made read-only stays as it is, whoever asks.
  if (replacing && (st.st_mode & 0222) == 0) {
    fail("it is read-only", EACCES);
    return std::nullopt;
  }
  if (replacing && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    if (errno == EACCES) fail("it is read-only", EACCES);
    else fail(errno);
    return std::nullopt;
  }
  // Created no wider than it ends up, then given the replaced file's exact mode.
  const mode_t createMode = replacing ? (st.st_mode & 0777) : 0666;
  const std::string folder = folderOf(path);
  // An unnamed file is given its name through /proc at the commit.
  static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
  int fd = procMounted ? ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode) : -1;
  if (!procMounted) errno = EOPNOTSUPP;
  std::string temp;
  if (fd < 0) {
    // Only file systems without unnamed files fall back on a name.
    if (errno != EOPNOTSUPP && errno != EISDIR) {
      fail(errno);
      return std::nullopt;
    }
    removeLeftoversOnce(folder);
    std::optional<std::string> named = makeUnderFreshName(path, [&](const std::string& name) {
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
      return fd >= 0;
    });
    if (!named) {
      fail(errno);
      return std::nullopt;
    }
    temp = std::move(*named);
  }
  ReplacementFile file(path, std::move(temp), fd);
  // The replaced file's owner and group stay, as far as this process may set them (the superuser
  // replacing a user's file, a member of the file's group); the mode follows, as a change of
  // owner may clear its set-id bits.
  if (replacing && ::fchown(fd, st.st_uid, st.st_gid) != 0 && errno == EPERM) ::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
  if (replacing && ::fchmod(fd, st.st_mode & 07777) != 0) {
    const int error = errno;
    file.discard();
    fail(error);
    return std::nullopt;
  }
  return file;
}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      fd_(other.fd_),
      released_(other.released_),
      finished_(other.finished_) {
  other.fd_ = -1;
  other.finished_ = true;
}

ReplacementFile& ReplacementFile::operator=(ReplacementFile&& other) noexcept {
  if (this == &other) return *this;
  discard();
  path_ = std::move(other.path_);
  temp_ = std::move(other.temp_);
  fd_ = other.fd_;
  released_ = other.released_;
  finished_ = other.finished_;
  other.fd_ = -1;
  other.finished_ = true;
  return *this;
}

ReplacementFile::~ReplacementFile() { discard(); }

std::string ReplacementFile::temporaryPath() const {
  return temp_.empty() && fd_ >= 0 ? "/proc/self/fd/" + std::to_string(fd_) : temp_;
}

int ReplacementFile::releaseDescriptor() {
  if (released_ || finished_) return -1;
  // An unnamed file lives only as long as a descriptor of it: this one is kept for the commit.
  const int kept = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (kept < 0) return -1;
  const int handed = fd_;
  fd_ = kept;
  released_ = true;
  return handed;
}

bool ReplacementFile::write(std::span<const std::uint8_t> bytes) {
  if (released_ || finished_ || fd_ < 0) return false;
  if (writeAll(fd_, bytes)) return true;
  fail(errno);
  return false;
}

bool ReplacementFile::commit(Durability durability) {
  if (finished_) return false;
  const bool sync = durability == Durability::Disk;
  bool ok = !sync || ::fsync(fd_) == 0;
  if (ok && temp_.empty()) {
    // The unnamed file gets a name for the rename; until then an interruption removes it.
    const std::string proc = temporaryPath();
    std::optional<std::string> named = makeUnderFreshName(path_, [&](const std::string& name) {
      return ::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    });
    ok = named.has_value();
    if (named) temp_ = std::move(*named);
  }
  if (ok) ok = ::close(fd_) == 0;
  else {
    ErrnoKeeper keep;
    ::close(fd_);
  }
  fd_ = -1;
  if (ok) ok = ::rename(temp_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    fail(errno);
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
  // A writer that had the descriptor and gives up does so for the reason its last call left.
  if (released_ && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG || errno == EIO))
    setFailure(std::strerror(errno), true);
  ErrnoKeeper keep;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    ExitCleanup::forget(temp_);
  }
}

}  // namespace kit
