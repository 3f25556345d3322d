#include "kit/io/zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include "kit/core/replacement_file.h"

namespace fs = std::filesystem;

namespace kit {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

bool writeAll(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

void dosDateOf(const struct stat& st, tm_zip& out) {
  std::time_t t = st.st_mtime;
  std::tm tm{};
  localtime_r(&t, &tm);
  // The DOS date cannot hold years before 1980.
  if (tm.tm_year < 80) {
    tm = std::tm{};
    tm.tm_year = 80;
    tm.tm_mday = 1;
  }
  out.tm_sec = static_cast<uInt>(tm.tm_sec);
  out.tm_min = static_cast<uInt>(tm.tm_min);
  out.tm_hour = static_cast<uInt>(tm.tm_hour);
  out.tm_mday = static_cast<uInt>(tm.tm_mday);
  out.tm_mon = static_cast<uInt>(tm.tm_mon);
  out.tm_year = static_cast<uInt>(tm.tm_year + 1900);
}

bool addFile(zipFile zf, const fs::path& file, const std::string& name) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  zip_fileinfo info{};
  dosDateOf(st, info.tmz_date);
  info.external_fa = static_cast<uLong>(st.st_mode & 0xFFFF) << 16;
  const int zip64 = st.st_size >= 0xFFFFFFFFLL ? 1 : 0;
  // Made by Unix (3) so that the mode bits above mean something; bit 11: the name is UTF-8.
  int rc = zipOpenNewFileInZip4_64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                   Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                   nullptr, 0, (3u << 8) | 20u, 1u << 11, zip64);
  if (rc != ZIP_OK) {
    close(fd);
    return false;
  }
  std::vector<char> buf(kChunk);
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (zipWriteInFileInZip(zf, buf.data(), static_cast<unsigned>(n)) != ZIP_OK) {
      ok = false;
      break;
    }
  }
  close(fd);
  if (zipCloseFileInZip(zf) != ZIP_OK) ok = false;
  return ok;
}

// The safe relative components of an entry name, or false when the name would leave the
// folder. Both separators count, so names written on other systems cannot slip through.
bool safeComponents(const std::string& name, std::vector<std::string>& parts) {
  parts.clear();
  if (name.empty()) return false;
  if (name[0] == '/' || name[0] == '\\') return false;
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return false;
  std::string cur;
  auto flush = [&]() -> bool {
    if (cur == "..") return false;
    if (!cur.empty() && cur != ".") parts.push_back(cur);
    cur.clear();
    return true;
  };
  for (char c : name) {
    if (c == '/' || c == '\\') {
      if (!flush()) return false;
    } else {
      cur.push_back(c);
    }
  }
  return flush();
}

struct Entry {
  std::vector<std::string> parts;
  bool isDirectory = false;
  unz_file_info64 info{};
  unz64_file_pos pos{};
};

bool isSymlink(const fs::path& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool extractCurrent(unzFile uf, const Entry& e, const fs::path& target) {
  if (unzOpenCurrentFile(uf) != UNZ_OK) return false;
  std::optional<ReplacementFile> file = ReplacementFile::create(target.string(), ReplacementFile::Links::Replace);
  if (!file) {
    unzCloseCurrentFile(uf);
    return false;
  }
  const int fd = file->descriptor();
  std::vector<char> buf(kChunk);
  bool ok = true;
  for (;;) {
    int n = unzReadCurrentFile(uf, buf.data(), static_cast<unsigned>(buf.size()));
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!writeAll(fd, buf.data(), static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  // Closing checks the CRC of what was read.
  if (unzCloseCurrentFile(uf) != UNZ_OK) ok = false;
  if (ok) {
    std::tm tm{};
    tm.tm_sec = static_cast<int>(e.info.tmu_date.tm_sec);
    tm.tm_min = static_cast<int>(e.info.tmu_date.tm_min);
    tm.tm_hour = static_cast<int>(e.info.tmu_date.tm_hour);
    tm.tm_mday = static_cast<int>(e.info.tmu_date.tm_mday);
    tm.tm_mon = static_cast<int>(e.info.tmu_date.tm_mon);
    tm.tm_year = static_cast<int>(e.info.tmu_date.tm_year) - 1900;
    tm.tm_isdst = -1;
    std::time_t t = mktime(&tm);
    if (t != static_cast<std::time_t>(-1)) {
      struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
      futimens(fd, times);
    }
  }
  return ok && file->commit();
}

}  // namespace

bool zipDirectory(const std::string& directory, const std::string& zipPath) {
  if (directory.empty() || zipPath.empty()) return false;
  std::error_code ec;
  fs::path base = fs::path(directory).lexically_normal();
  if (!fs::is_directory(base, ec)) return false;

  std::vector<std::pair<std::string, fs::path>> files;
  fs::recursive_directory_iterator it(base, fs::directory_options::none, ec), end;
  if (ec) return false;
  for (; it != end; it.increment(ec)) {
    if (ec) return false;
    fs::file_status st = it->symlink_status(ec);
    if (ec) return false;
    if (!fs::is_regular_file(st)) continue;
    // An older archive at the same place is not part of the new one.
    std::error_code same;
    if (fs::equivalent(it->path(), zipPath, same)) continue;
    files.emplace_back(it->path().lexically_relative(base).generic_string(), it->path());
  }
  if (ec) return false;
  std::sort(files.begin(), files.end());

  std::optional<ReplacementFile> file = ReplacementFile::create(zipPath);
  if (!file) return false;
  // minizip opens the file by its name.
  ::close(file->releaseDescriptor());
  zipFile zf = zipOpen64(file->temporaryPath().c_str(), APPEND_STATUS_CREATE);
  if (!zf) return false;
  bool ok = true;
  for (const auto& [name, path] : files) {
    if (!addFile(zf, path, name)) {
      ok = false;
      break;
    }
  }
  if (zipClose(zf, nullptr) != ZIP_OK) ok = false;
  return ok && file->commit();
}

bool unzipFile(const std::string& zipPath, const std::string& directory) {
  if (zipPath.empty() || directory.empty()) return false;
  unzFile uf = unzOpen64(zipPath.c_str());
  if (!uf) return false;
  struct Closer {
    unzFile f;
    ~Closer() { unzClose(f); }
  } closer{uf};

  fs::path base = fs::path(directory).lexically_normal();
  std::vector<Entry> entries;
  int rc = unzGoToFirstFile(uf);
  while (rc == UNZ_OK) {
    Entry e;
    if (unzGetCurrentFileInfo64(uf, &e.info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    std::string name(e.info.size_filename, '\0');
    if (unzGetCurrentFileInfo64(uf, &e.info, name.data(), static_cast<uLong>(name.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK)
      return false;
    // A name holding a NUL byte is not the name it claims to be.
    if (name.find('\0') != std::string::npos) return false;
    if (!safeComponents(name, e.parts)) return false;
    // Encrypted entries cannot be read without a password.
    if (e.info.flag & 1u) return false;
    e.isDirectory = name.back() == '/' || name.back() == '\\';
    if (unzGetFilePos64(uf, &e.pos) != UNZ_OK) return false;
    if (!e.parts.empty()) entries.push_back(std::move(e));
    rc = unzGoToNextFile(uf);
  }
  if (rc != UNZ_END_OF_LIST_OF_FILE) return false;

  // Nothing may be written through a symbolic link already inside the folder.
  for (const Entry& e : entries) {
    fs::path p = base;
    std::size_t n = e.isDirectory ? e.parts.size() : e.parts.size() - 1;
    for (std::size_t i = 0; i < n; ++i) {
      p /= e.parts[i];
      if (isSymlink(p)) return false;
    }
  }

  std::error_code ec;
  fs::create_directories(base, ec);
  if (ec || !fs::is_directory(base, ec)) return false;

  for (const Entry& e : entries) {
    fs::path target = base;
    for (const std::string& part : e.parts) target /= part;
    if (e.isDirectory) {
      fs::create_directories(target, ec);
      if (ec) return false;
      continue;
    }
    fs::create_directories(target.parent_path(), ec);
    if (ec) return false;
    unz64_file_pos pos = e.pos;
    if (unzGoToFilePos64(uf, &pos) != UNZ_OK) return false;
    if (!extractCurrent(uf, e, target)) return false;
  }
  return true;
}

}  // namespace kit
