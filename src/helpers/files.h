// File moves and copies that may overwrite, and the one guarded deletion the program uses.
#pragma once

#include <string>

namespace files {

// Creates the target's parent folders and moves. When overwriting, an existing target that
// removeItemAtPathSafe could delete is replaced, and kept when the move fails (a missing source,
// the target itself); moving an item onto its own path succeeds and changes nothing. YES when
// the source is at the target afterwards.
bool moveItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite);
// The same with a copy.
bool copyItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite);
// Removes the item only when it lies below the Documents or the temporary folder (and names
// more than the folder itself), both as written and with links among its folders resolved;
// anything else is left alone. A link named last is removed as a link.
void removeItemAtPathSafe(const std::string& path);
// YES when the item itself is a folder; a missing item, a file or a symbolic link gives NO.
bool isFolder(const std::string& path);

}  // namespace files
