// The new content of a file, written to a temporary file beside it and renamed over it, so the
// path holds the old content or the new, never a part.
//
// A symbolic link is written through unless asked otherwise: its target is replaced, in the
// target's folder, and the link stays; as the kernel does, a link in a sticky folder that anyone
// may write to is followed only when it is this user's or the folder owner's. A target that is
// read-only (no write permission, or none for anyone), a folder or anything but a regular file is
// refused. The temporary file has no name where the file system allows (O_TMPFILE), so a process
// killed outright leaves nothing; it gets one only for the rename at the commit. Elsewhere it is
// "<path>.tmp-<pid>-XXXXXX" (the path's own name shortened to fit the limit on names), and a
// later replacement in the same folder removes such files of processes that are gone once they
// are six hours old. It is created with mode 0666 less the umask, or with the mode, owner and
// group (where this process may set them) of the regular file it replaces; it is removed when
// discarded, when destroyed uncommitted, and by ExitCleanup when the process is interrupted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kit {

class ReplacementFile {
 public:
  // What becomes of a symbolic link at the path: its target is replaced (what a person editing a
  // file through a link means), or the link itself (what unpacking an archive into a folder
  // needs, so that a link planted there cannot lead a write outside).
  enum class Links { WriteThrough, Replace };
  // nullopt, with errno telling why (and takeFailure() too), when the temporary file cannot be
  // made.
  static std::optional<ReplacementFile> create(const std::string& path, Links links = Links::WriteThrough);
  // Why path cannot be replaced, found by making (and dropping) the file that would replace it: a
  // short phrase ("it is read-only", "it is a folder", "Permission denied"); nullopt when it can.
  static std::optional<std::string> whyNot(const std::string& path);
  // Why the latest create, write or commit in this process that failed did so, as whyNot puts it
  // ("No space left on device"); empty when none failed since the last call, which clears it.
  // Writers that report failure as a bare false (an image drawn and written by several threads,
  // say) leave the reason here.
  static std::string takeFailure();

  ReplacementFile(ReplacementFile&& other) noexcept;
  // Discards what this held.
  ReplacementFile& operator=(ReplacementFile&& other) noexcept;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  // A name that opens the temporary file while it is held ("/proc/self/fd/N" when it has none).
  std::string temporaryPath() const;
  // The open descriptor; -1 once released or finished.
  int descriptor() const { return released_ || finished_ ? -1 : fd_; }
  // Hands the descriptor over (to wrap it in a FILE*, say): the caller flushes and closes it
  // before commit(), which syncs the file as asked. The file keeps a descriptor of its own.
  int releaseDescriptor();
  bool write(std::span<const std::uint8_t> bytes);
  // How far a commit goes: to the disk, or only as far as every reader sees (for files that can
  // be made again, such as exported pictures, where waiting for the disk is most of the cost).
  enum class Durability { Disk, Readers };
  // Syncs (to the disk) and renames the file over the path. False, with the temporary file gone
  // and errno telling why, when anything failed.
  bool commit(Durability durability = Durability::Disk);
  void discard();

 private:
  ReplacementFile(std::string path, std::string temp, int fd) : path_(std::move(path)), temp_(std::move(temp)), fd_(fd) {}
  std::string path_;  // the file replaced: a link's target
  std::string temp_;  // the temporary file's name; empty while it has none
  int fd_ = -1;
  bool released_ = false;
  bool finished_ = false;
};

}  // namespace kit
