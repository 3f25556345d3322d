#include "helpers/global_helpers_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "helpers/files.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/io/sha1.h"
#include "kit/io/zip.h"

namespace GlobalHelpers {

namespace {

namespace fs = std::filesystem;

const char* typeName(kit::FileType t) {
  switch (t) {
    case kit::FileType::Regular: return "regular";
    case kit::FileType::Directory: return "directory";
    case kit::FileType::SymbolicLink: return "link";
    case kit::FileType::Other: break;
  }
  return "other";
}

double modificationSeconds(const kit::Value& entry) {
  return entry[kDirectoryEntryAttributes][kFileModificationDate].date().seconds;
}

// The folder, with every link resolved, lies inside the Documents or the temporary folder. The
// guarded deletion compares paths as text; this keeps a link inside those folders from leading
// the pruning elsewhere.
bool resolvesInsideOwnFolders(const std::string& directory) {
  std::error_code ec;
  fs::path real = fs::canonical(directory, ec);
  if (ec) return false;
  for (const std::string& root : {kit::AppPaths::documents(), kit::AppPaths::temporary()}) {
    fs::path r = fs::canonical(root, ec);
    if (ec) continue;
    if (std::mismatch(r.begin(), r.end(), real.begin(), real.end()).first == r.end()) return true;
  }
  return false;
}

}  // namespace

kit::Array getDirectoryListFor(const std::string& directory, bool oldestFirst) {
  kit::Array entries;
  auto names = kit::FileManager::listDirectory(directory);
  if (!names) return entries;
  entries.reserve(names->size());
  for (const std::string& name : *names) {
    auto attributes = kit::FileManager::attributes(directory + "/" + name);
    // An item that vanished while listing has no attributes to sort by.
    if (!attributes) continue;
    kit::Dictionary attrs{{std::string(kFileModificationDate), kit::Value(attributes->modificationDate)},
                          {std::string(kFileType), kit::Value(typeName(attributes->type))},
                          {std::string(kFileSize), kit::Value(static_cast<long long>(attributes->size))}};
    entries.emplace_back(kit::Dictionary{{std::string(kDirectoryEntryFile), kit::Value(name)},
                                         {std::string(kDirectoryEntryAttributes), kit::Value(std::move(attrs))}});
  }
  std::stable_sort(entries.begin(), entries.end(), [oldestFirst](const kit::Value& a, const kit::Value& b) {
    return oldestFirst ? modificationSeconds(a) < modificationSeconds(b)
                       : modificationSeconds(b) < modificationSeconds(a);
  });
  return entries;
}

void purgeOldFilesFrom(const std::string& directory, int leavingMaximumOf) {
  if (leavingMaximumOf < 1) return;
  kit::Array entries = getDirectoryListFor(directory, true);
  if (entries.size() <= static_cast<std::size_t>(leavingMaximumOf)) return;
  if (!resolvesInsideOwnFolders(directory)) return;
  const std::size_t excess = entries.size() - static_cast<std::size_t>(leavingMaximumOf);
  for (std::size_t i = 0; i < excess; ++i) {
    files::removeItemAtPathSafe(directory + "/" + entries[i][kDirectoryEntryFile].string());
  }
}

bool zipContentsOfDirectory(const std::string& directory, const std::string& intoFile) {
  return kit::zipDirectory(directory, intoFile);
}

bool unzipFile(const std::string& zipFile, const std::string& intoDirectory) {
  return kit::unzipFile(zipFile, intoDirectory);
}

std::optional<std::string> getSHA1Hash(const std::string& path) { return kit::sha1HexOfFile(path); }

}  // namespace GlobalHelpers
