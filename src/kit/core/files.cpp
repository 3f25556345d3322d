#include "kit/core/files.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "kit/core/replacement_file.h"

namespace kit {

namespace stdfs = std::filesystem;

namespace {

bool lexists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool FileManager::exists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool FileManager::itemExists(const std::string& path) { return !path.empty() && lexists(path); }

bool FileManager::isDirectory(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileManager::createDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  stdfs::create_directories(path, ec);
  return stdfs::is_directory(path, ec);
}

bool FileManager::move(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || !lexists(from) || lexists(to)) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // File systems without the no-replace flag: the check above has to do.
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    err = errno;
  }
  if (err != EXDEV) return false;
  if (!copy(from, to)) return false;
  if (!remove(from)) {
    remove(to);
    return false;
  }
  return true;
}

bool FileManager::copy(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || !lexists(from) || lexists(to)) return false;
  std::error_code ec;
  stdfs::copy(from, to, stdfs::copy_options::recursive | stdfs::copy_options::copy_symlinks, ec);
  if (ec) {
    // Nothing was there before: leave nothing half-copied.
    stdfs::remove_all(to, ec);
    return false;
  }
  return true;
}

bool FileManager::remove(const std::string& path) {
  if (path.empty() || !lexists(path)) return false;
  std::error_code ec;
  stdfs::remove_all(path, ec);
  return !ec && !lexists(path);
}

void FileManager::removeLeftovers(const std::string& folder, std::string_view marker, std::int64_t age, FileType type) {
  const std::optional<std::vector<std::string>> names = listDirectory(folder);
  if (!names || marker.empty()) return;
  const std::time_t now = std::time(nullptr);
  for (const std::string& name : *names) {
    const std::size_t at = name.rfind(marker);
    if (at == std::string::npos || (type == FileType::Directory && at != 0)) continue;
    // "<pid>-" and six letters or digits.
    const std::string_view rest = std::string_view(name).substr(at + marker.size());
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || rest.size() != dash + 7 ||
        rest.find_first_not_of("0123456789") != dash)
      continue;
    const long pid = std::strtol(std::string(rest.substr(0, dash)).c_str(), nullptr, 10);
    const std::string path = folder + "/" + name;
    struct stat st;
    if (pid <= 0 || ::lstat(path.c_str(), &st) != 0 || st.st_uid != ::geteuid() || now - st.st_mtime < age) continue;
    if ((type == FileType::Directory) != S_ISDIR(st.st_mode) || (type == FileType::Regular && !S_ISREG(st.st_mode)))
      continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    remove(path);
  }
}

std::optional<std::vector<std::string>> FileManager::listDirectory(const std::string& path) {
  std::error_code ec;
  stdfs::directory_iterator it(path, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> names;
  for (stdfs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return std::nullopt;
    names.push_back(it->path().filename().string());
  }
  if (ec) return std::nullopt;
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::vector<std::string>> FileManager::listRecursively(const std::string& path) {
  std::error_code ec;
  stdfs::recursive_directory_iterator it(path, stdfs::directory_options::none, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> items;
  const stdfs::path base(path);
  for (stdfs::recursive_directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return std::nullopt;
    items.push_back(it->path().lexically_relative(base).string());
  }
  if (ec) return std::nullopt;
  std::sort(items.begin(), items.end());
  return items;
}

std::optional<FileAttributes> FileManager::attributes(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) return std::nullopt;
  FileAttributes a;
  if (S_ISREG(st.st_mode)) a.type = FileType::Regular;
  else if (S_ISDIR(st.st_mode)) a.type = FileType::Directory;
  else if (S_ISLNK(st.st_mode)) a.type = FileType::SymbolicLink;
  else a.type = FileType::Other;
  a.modificationDate = Date{static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9};
  a.size = static_cast<std::uint64_t>(st.st_size);
  return a;
}

std::string sizeText(std::uint64_t n) {
  if (n >= (1u << 30) && n % (1u << 30) == 0) return std::to_string(n >> 30) + " GiB";
  if (n >= (1u << 20) && n % (1u << 20) == 0) return std::to_string(n >> 20) + " MiB";
  return std::to_string(n) + " bytes";
}

namespace {

// What readWhole reads, into text or bytes; false with the reason in why, and errno set.
template <class Bytes>
bool readWholeInto(const std::string& path, ReadSource source, std::uint64_t limit, Bytes& bytes, std::string& why) {
  auto fail = [&](std::string reason, int error) {
    why = std::move(reason);
    errno = error;
    return false;
  };
  if (path.empty()) return fail("no such file", ENOENT);
  // Without O_NONBLOCK, opening a named pipe waits for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return fail(errno == ENOENT ? std::string("no such file") : std::string(std::strerror(errno)), errno);
  struct Closer {
    int fd;
    ~Closer() {
      const int kept = errno;
      ::close(fd);
      errno = kept;
    }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0) return fail(std::strerror(errno), errno);
  if (S_ISDIR(st.st_mode)) return fail("it is a folder", EISDIR);
  if (!S_ISREG(st.st_mode) && source == ReadSource::RegularFile) return fail("it is not a regular file", EINVAL);
  const std::string tooLarge = "it is larger than " + sizeText(limit);
  if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > limit) return fail(tooLarge, EFBIG);
  // A stream is read as it comes: reads wait for its writer from here on.
  if (!S_ISREG(st.st_mode)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  bytes.clear();
  if (S_ISREG(st.st_mode)) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[1 << 16];
  while (true) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(std::strerror(errno), errno);
    if (n == 0) return true;
    if (bytes.size() + static_cast<std::size_t>(n) > limit) return fail(tooLarge, EFBIG);
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
}

}  // namespace

std::optional<std::string> readWhole(const std::string& path, std::string& why, ReadSource source, std::uint64_t limit) {
  std::string bytes;
  if (!readWholeInto(path, source, limit, bytes, why)) return std::nullopt;
  return bytes;
}

std::optional<Data> FileManager::readFile(const std::string& path) {
  Data bytes;
  std::string why;
  if (!readWholeInto(path, ReadSource::RegularFile, kReadLimit, bytes, why)) return std::nullopt;
  return bytes;
}

std::optional<std::string> FileManager::readText(const std::string& path) {
  std::string why;
  return readWhole(path, why);
}

bool FileManager::writeAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                                  ReplacementFile::Links links) {
  std::optional<ReplacementFile> file = ReplacementFile::create(path, links);
  return file && file->write(bytes) && file->commit();
}

bool FileManager::writeNew(const std::string& path, std::span<const std::uint8_t> bytes) {
  // Its own name, not a link's target: a link there is something there.
  if (lexists(path)) {
    errno = EEXIST;
    return false;
  }
  std::optional<ReplacementFile> file = ReplacementFile::create(path, ReplacementFile::Links::Replace);
  if (!file || !file->write(bytes) || ::fsync(file->descriptor()) != 0) return false;
  // A link, unlike a rename, fails where the name is taken, whenever it was taken.
  const bool linked =
      ::linkat(AT_FDCWD, file->temporaryPath().c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
  const int error = errno;
  file->discard();
  errno = error;
  if (!linked) return false;
  const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

bool FileManager::writeAtomicallyFrom(const std::string& path, const std::function<bool(const ByteSink&)>& produce) {
  std::optional<ReplacementFile> file = ReplacementFile::create(path);
  if (!file) return false;
  ReplacementFile& f = *file;
  return produce([&f](std::span<const std::uint8_t> piece) { return f.write(piece); }) && f.commit();
}

bool FileManager::writeAtomically(const std::string& path, std::string_view text) {
  return writeAtomically(path, bytesOf(text));
}

bool FileManager::write(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (path.empty()) return false;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  return ok;
}

bool FileManager::write(const std::string& path, std::string_view text) { return write(path, bytesOf(text)); }

}  // namespace kit
