// File moves and copies that may overwrite, and the one guarded deletion the program uses.
#pragma once

#include <string>

namespace files {

// When overwriting and the target exists, removes it with removeItemAtPathSafe; creates the
// target's parent folders; then moves. YES when the move succeeded.
bool moveItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite);
// The same with a copy.
bool copyItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite);
// Removes the item only when it lies below the Documents or the temporary folder (and names
// more than the folder itself); anything else is left alone.
void removeItemAtPathSafe(const std::string& path);
// YES when the item itself is a folder; a missing item, a file or a symbolic link gives NO.
bool isFolder(const std::string& path);

}  // namespace files
