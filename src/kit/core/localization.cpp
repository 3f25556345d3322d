#include "kit/core/localization.h"

#include <mutex>
#include <shared_mutex>

namespace kit {

namespace {

struct Table {
  std::shared_mutex mutex;  // tile threads read labels while the main thread may load
  std::unordered_map<std::string, std::string> entries;
};

Table& table() {
  static Table t;
  return t;
}

}  // namespace

std::string localizedString(std::string_view key) {
  Table& t = table();
  std::shared_lock lock(t.mutex);
  if (auto it = t.entries.find(std::string(key)); it != t.entries.end()) return it->second;
  return std::string(key);
}

void setLocalizedStrings(std::unordered_map<std::string, std::string> entries) {
  Table& t = table();
  std::unique_lock lock(t.mutex);
  t.entries = std::move(entries);
}

}  // namespace kit
