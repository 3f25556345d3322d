// File operations that report failure by return value and never throw.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/replacement_file.h"
#include "kit/core/value.h"

namespace kit {

enum class FileType { Regular, Directory, SymbolicLink, Other };

struct FileAttributes {
  FileType type = FileType::Other;  // of the item itself; links are not followed
  Date modificationDate;
  std::uint64_t size = 0;
};

// Writes all of bytes to fd, going on after interruptions.
bool writeAll(int fd, std::span<const std::uint8_t> bytes);
// The bytes of text, for the writers that take bytes.
std::span<const std::uint8_t> bytesOf(std::string_view text);
// The folder that holds path: "." for a bare name, "/" for an item at the root.
std::string folderOf(const std::string& path);

// The largest file read whole: endless streams and huge files are refused.
inline constexpr std::uint64_t kReadLimit = std::uint64_t(1) << 30;
// What a whole read accepts: a regular file (whatever the program keeps for itself, and a map to
// open and save back), or also a pipe or a device, read up to the limit (a command's input).
enum class ReadSource { RegularFile, AnyFile };
// The whole content of the file at path, opened once and read in pieces, refused past limit;
// nullopt with the reason in why ("no such file", "it is a folder", "it is not a regular file",
// "it is larger than 1 GiB", the system's reason). Opening never waits for the writer of a named
// pipe.
std::optional<std::string> readWhole(const std::string& path, std::string& why,
                                     ReadSource source = ReadSource::RegularFile, std::uint64_t limit = kReadLimit);
// "1 GiB", "8 MiB", "100 bytes".
std::string sizeText(std::uint64_t n);

// Receives bytes in order; false ends the writing as a failure.
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

struct FileManager {
  // Follows symbolic links: a dangling link does not exist.
  static bool exists(const std::string& path);
  // Something is there by that name, a dangling link too.
  static bool itemExists(const std::string& path);
  // The item itself is a directory; a link to a directory is not.
  static bool isDirectory(const std::string& path);
  // Creates path with its parents; true when it is a directory afterwards.
  static bool createDirectories(const std::string& path);
  // Renames, or copies and removes across file systems. Fails when to exists (even as a dangling
  // link) or from does not.
  static bool move(const std::string& from, const std::string& to);
  // Copies a file or a whole folder (links are copied as links). Fails when to exists.
  static bool copy(const std::string& from, const std::string& to);
  // Removes a file, a link or a whole folder. False when nothing was there or it could not go.
  static bool remove(const std::string& path);
  // Removes what runs killed outright left in folder: items of the given type named
  // "<anything><marker><pid>-XXXXXX" (with nothing before the marker for folders), owned by this
  // user, untouched for age seconds, of a process that is gone (the age guards against a process
  // of another pid namespace that only looks gone).
  static void removeLeftovers(const std::string& folder, std::string_view marker, std::int64_t age, FileType type);
  // Names of the immediate items, sorted bytewise; nullopt when path is not a readable folder.
  static std::optional<std::vector<std::string>> listDirectory(const std::string& path);
  // Every file and folder below path, as paths relative to it, sorted; links are not followed.
  static std::optional<std::vector<std::string>> listRecursively(const std::string& path);
  static std::optional<FileAttributes> attributes(const std::string& path);

  // A regular file of at most kReadLimit bytes, read as readWhole reads it; errno tells why not.
  static std::optional<Data> readFile(const std::string& path);
  static std::optional<std::string> readText(const std::string& path);
  // Writes a temporary file in the same folder, flushes it to disk and renames it over path, so
  // path holds either the old or the new content, never a part (see ReplacementFile: a new file
  // gets 0666 less the umask, a replaced one keeps its mode; a link is written through unless
  // links says to replace it).
  static bool writeAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                              ReplacementFile::Links links = ReplacementFile::Links::WriteThrough);
  static bool writeAtomically(const std::string& path, std::string_view text);
  // Makes a new file at path, written whole before it appears there, and never in place of
  // anything: false, with errno EEXIST, when something is at path (a dangling link too) or is put
  // there meanwhile.
  static bool writeNew(const std::string& path, std::span<const std::uint8_t> bytes);
  // The same for content made piece by piece: produce passes each piece to the sink it is given
  // (which answers false once a write has failed) and answers whether all went well. Nothing
  // changes at path when it answers false.
  static bool writeAtomicallyFrom(const std::string& path, const std::function<bool(const ByteSink&)>& produce);
  // Truncates and writes in place.
  static bool write(const std::string& path, std::span<const std::uint8_t> bytes);
  static bool write(const std::string& path, std::string_view text);
};

}  // namespace kit
