#include "helpers/files.h"

#include <string_view>

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

bool prepareTarget(const std::string& toPath, bool andOverwrite) {
  if (andOverwrite) {
    const auto attributes = kit::FileManager::attributes(toPath);
    if (attributes) removeItemAtPathSafe(toPath);
  }
  const std::string parent = parentOf(toPath);
  if (!parent.empty()) kit::FileManager::createDirectories(parent);  // errors show in the move
  return true;
}

}  // namespace

bool moveItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite) {
  prepareTarget(toPath, andOverwrite);
  return kit::FileManager::move(from, toPath);
}

bool copyItemAtPath(const std::string& from, const std::string& toPath, bool andOverwrite) {
  prepareTarget(toPath, andOverwrite);
  return kit::FileManager::copy(from, toPath);
}

void removeItemAtPathSafe(const std::string& path) {
  if (isInside(path, kit::AppPaths::documents()) || isInside(path, kit::AppPaths::temporary())) {
    kit::FileManager::remove(path);
  }
}

bool isFolder(const std::string& path) {
  const auto attributes = kit::FileManager::attributes(path);
  return attributes && attributes->type == kit::FileType::Directory;
}

}  // namespace files
