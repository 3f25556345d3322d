#include <mutex>
#include <string>
#include <unordered_map>

#include "kit/core/app_paths.h"
#include "kit/graphics/image.h"

namespace kit {

namespace {

struct NamedCache {
  std::mutex mutex;
  // Misses are cached as null: tile threads ask for the same missing badge over and over.
  std::unordered_map<std::string, ImageRef> images;
};

NamedCache& cache() {
  static NamedCache* c = new NamedCache;  // never destroyed: tile threads may outlive statics
  return *c;
}

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

ImageRef load(const std::string& name) {
  // Names come from files and settings: never let one climb out of the resources folder.
  if (name.empty() || name.find("..") != std::string::npos || name.front() == '/') return nullptr;
  std::string base = AppPaths::resources() + "/";
  if (ImageRef img = Image::fromFile(base + name)) return img;
  if (!endsWith(name, ".png")) {
    if (ImageRef img = Image::fromFile(base + name + ".png")) return img;
  }
  std::string stem = endsWith(name, ".png") ? name.substr(0, name.size() - 4) : name;
  if (!endsWith(stem, ".svg")) stem += ".svg";
  return Image::fromFile(base + stem);
}

}  // namespace

ImageRef imageNamed(const std::string& name) {
  NamedCache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  auto it = c.images.find(name);
  if (it != c.images.end()) return it->second;
  ImageRef img = load(name);
  c.images.emplace(name, img);
  return img;
}

void clearNamedImageCache() {
  NamedCache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.images.clear();
}

}  // namespace kit
