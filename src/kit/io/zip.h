// ZIP archives of a folder's files (minizip).
#pragma once

#include <string>

namespace kit {

// Writes a ZIP archive at `zipPath` holding every regular file below `directory`, recursively,
// each under its path relative to the folder ("sub/name.txt"). Folders are not added as
// entries; symbolic links are not followed. The archive is written beside its final place and
// renamed into it, so on failure (unreadable folder or file, archive not creatable) false is
// returned and whatever was at `zipPath` is left as it was.
bool zipDirectory(const std::string& directory, const std::string& zipPath);

// Creates `directory` with any missing parents and extracts every entry of the archive into
// it, replacing existing files. Each file is written to a temporary name and renamed into
// place, so a damaged entry never replaces a good file. An archive holding an entry that would
// land outside the folder (an absolute name, a ".." component, or a path through a symbolic
// link) is refused as a whole before anything is written. False when the archive cannot be
// opened, is refused or damaged, or a file cannot be written.
bool unzipFile(const std::string& zipPath, const std::string& directory);

}  // namespace kit
