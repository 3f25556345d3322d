// Small file tools: a folder listing sorted by date, pruning a folder to a number of items,
// zipping and unzipping a folder, and the SHA-1 of a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace GlobalHelpers {

// Keys of a directory entry and of its attribute dictionary.
inline constexpr std::string_view kDirectoryEntryFile = "file";
inline constexpr std::string_view kDirectoryEntryAttributes = "attributes";
inline constexpr std::string_view kFileModificationDate = "FileModificationDate";  // date
inline constexpr std::string_view kFileType = "FileType";  // "regular", "directory", "link", "other"
inline constexpr std::string_view kFileSize = "FileSize";  // integer, bytes

// The folder's immediate items as {"file": name, "attributes": {...}}, by modification date,
// oldest first when asked, else newest first. Empty for an unreadable folder.
kit::Array getDirectoryListFor(const std::string& directory, bool oldestFirst);
// Removes the oldest items (guarded deletion) so that at most `maximum` remain; nothing when
// the maximum is below 1.
void purgeOldFilesFrom(const std::string& directory, int leavingMaximumOf);
// Every file below the folder, under its relative path; nothing is written on failure.
bool zipContentsOfDirectory(const std::string& directory, const std::string& intoFile);
// Creates the folder and extracts the archive into it, replacing existing files.
bool unzipFile(const std::string& zipFile, const std::string& intoDirectory);
// 40 lower-case hexadecimal digits; nullopt when the file cannot be read.
std::optional<std::string> getSHA1Hash(const std::string& path);

}  // namespace GlobalHelpers
