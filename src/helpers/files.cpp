#include "helpers/files.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"

namespace files {
namespace {

// The path lies strictly inside root: the prefix must end at a separator, so that
// ".../Documents-old/x" is not taken for a path inside ".../Documents", and "." or ".."
// components may not lead back out.
bool isInside(std::string_view path, std::string root) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root.size() < 9 || path.size() <= root.size() + 2 || !strings::hasPrefixEx(path, root)) return false;
  if (path[root.size()] != '/') return false;
  // Some component below the root must name an item; none may climb back out.
  bool namesItem = false;
  std::string_view rest = path.substr(root.size());
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    if (component == "..") return false;
    if (!component.empty() && component != ".") namesItem = true;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  return namesItem;
}

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::optional<std::string> canonical(const std::string& path) {
  std::error_code ec;
  std::filesystem::path real = std::filesystem::canonical(path, ec);
  if (ec) return std::nullopt;
  return real.string();
}

// The path with its folders resolved (links, "." and ".."), its last component as named, so a
// link there is judged, and removed, as the link itself. Nothing when the folder does not exist
// or the last component names no item of its own.
std::optional<std::string> resolveFolders(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::optional<std::string> real = canonical(folder);
  if (!real) return std::nullopt;
  if (real->back() != '/') *real += '/';
  return *real + name;
}

// The item that path names, resolved, when both the path as given and the resolved one lie
// inside Documents or the temporary folder: a link among the folders cannot lead out of them.
std::optional<std::string> removableItem(const std::string& path) {
  const std::optional<std::string> resolved = resolveFolders(path);
  if (!resolved) return std::nullopt;
  for (const std::string& root : {kit::AppPaths::documents(), kit::AppPaths::temporary()}) {
    if (!isInside(path, root)) continue;
    const std::optional<std::string> realRoot = canonical(root);
    if (realRoot && isInside(*resolved, *realRoot)) return resolved;
  }
  return std::nullopt;
}

// Both name one item: the same file under one or two names, or a link that leads to it.
bool sameItem(const std::string& from, const std::string& target) {
  struct stat a, b;
  if (::lstat(from.c_str(), &a) != 0 || ::lstat(target.c_str(), &b) != 0) return false;
  if (a.st_dev == b.st_dev && a.st_ino == b.st_ino) return true;
  return S_ISLNK(a.st_mode) && canonical(from) == canonical(target);
}

// Puts the source at toPath by a move or a copy. An existing target that may be deleted is
// first set aside in a fresh folder beside it, and deleted only once the source is in place, or
// put back when that fails: nothing is lost when the source is missing or unreadable, or is the
// target itself.
bool placeItem(const std::string& from, const std::string& toPath, bool andOverwrite, bool move) {
  const auto place = [move](const std::string& a, const std::string& b) {
    return move ? kit::FileManager::move(a, b) : kit::FileManager::copy(a, b);
  };
  struct stat st;
  if (from.empty() || ::lstat(from.c_str(), &st) != 0) return false;
  if (!andOverwrite || ::lstat(toPath.c_str(), &st) != 0) {
    const std::string parent = parentOf(toPath);
    if (!parent.empty()) kit::FileManager::createDirectories(parent);  // errors show in the move
    return place(from, toPath);
  }
  const std::optional<std::string> target = removableItem(toPath);
  if (!target) return false;
  // Onto itself: done when it is there by that very name; nothing is changed otherwise.
  if (sameItem(from, *target)) return resolveFolders(from) == target;
  std::string aside = parentOf(*target) + "/.replaced-XXXXXX";
  if (!::mkdtemp(aside.data())) return false;
  const std::string setAside = aside + "/item";
  bool placed = false;
  if (kit::FileManager::move(*target, setAside)) {
    placed = place(from, *target);
    if (!placed) kit::FileManager::move(setAside, *target);
  }
  // The folder beside the target holds the replaced item, or nothing once it is back.
  if (placed) kit::FileManager::remove(aside);
  else ::rmdir(aside.c_str());
  return placed;
}

}  // namespace

bool moveItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite) {
  return placeItem(from, toPath, andOverwrite, true);
}

bool copyItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite) {
  return placeItem(from, toPath, andOverwrite, false);
}

void removeItemAtPathSafe(const std::string& path) {
  if (const std::optional<std::string> item = removableItem(path)) kit::FileManager::remove(*item);
}

bool isFolder(const std::string& path) {
  const auto attributes = kit::FileManager::attributes(path);
  return attributes && attributes->type == kit::FileType::Directory;
}

}  // namespace files
