// The new content of a file, written to a temporary file beside it and renamed over it, so the
// path holds the old content or the new, never a part. The temporary file is
// "<path>.tmp-XXXXXX", created with mode 0666 less the umask, or with the mode of the regular file
// it replaces. It is removed when discarded, when destroyed uncommitted, and by ExitCleanup when
// the process is interrupted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kit {

class ReplacementFile {
 public:
  // nullopt, with errno telling why, when the temporary file cannot be made.
  static std::optional<ReplacementFile> create(const std::string& path);
  ReplacementFile(ReplacementFile&& other) noexcept;
  // Discards what this held.
  ReplacementFile& operator=(ReplacementFile&& other) noexcept;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  const std::string& temporaryPath() const { return temp_; }
  // The open descriptor; -1 once released or finished.
  int descriptor() const { return fd_; }
  // Hands the descriptor over (to wrap it in a FILE*, say): the caller flushes, syncs and closes
  // it before commit().
  int releaseDescriptor();
  bool write(std::span<const std::uint8_t> bytes);
  // How far a commit goes: to the disk, or only as far as every reader sees (for files that can
  // be made again, such as exported pictures, where waiting for the disk is most of the cost).
  enum class Durability { Disk, Readers };
  // Syncs (to the disk) and closes the descriptor if still held and renames the file over the
  // path. False, with the temporary file gone and errno telling why, when anything failed.
  bool commit(Durability durability = Durability::Disk);
  void discard();

 private:
  ReplacementFile(std::string path, std::string temp, int fd) : path_(std::move(path)), temp_(std::move(temp)), fd_(fd) {}
  std::string path_, temp_;
  int fd_ = -1;
  bool finished_ = false;
};

}  // namespace kit
