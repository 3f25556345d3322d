// UserDefaults lives in kit_io: its store is a property list (libplist).
#include "kit/core/user_defaults.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kit/core/app_paths.h"
#include "kit/core/clock.h"
#include "kit/core/files.h"
#include "kit/core/format.h"
#include "kit/io/plist.h"
#include "kit/text/date_format.h"

namespace kit {

namespace {

std::mutex gStandardMutex;
std::unique_ptr<UserDefaults> gStandard;

// One line on standard error: the settings are the user's, and losing them is never silent.
void report(const std::string& message) {
  const std::string line = "quillmere: " + message + "\n";
  std::fputs(line.c_str(), stderr);
}

// path + ".damaged-YYYYMMDD-HHMMSS", in local time, with "-2", "-3"... while that is taken.
std::string asideName(const std::string& path) {
  const std::string stamp = formatPosixDate(now(), "%Y%m%d-%H%M%S").value_or("");
  std::string name = path + ".damaged-" + stamp;
  for (int n = 2; FileManager::attributes(name); ++n) name = path + ".damaged-" + stamp + "-" + std::to_string(n);
  return name;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
  std::lock_guard lock(gStandardMutex);
  // The folder is made at the first write (synchronize), so a run that only reads settings makes
  // none.
  if (!gStandard) gStandard = std::make_unique<UserDefaults>(AppPaths::preferencesPath() + "/" + kFileName);
  return *gStandard;
}

void UserDefaults::resetStandard() {
  std::unique_ptr<UserDefaults> old;
  std::lock_guard lock(gStandardMutex);
  old = std::move(gStandard);
  // Destroyed (and saved) here, while the home it belongs to still exists.
  old.reset();
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) { read(); }

void UserDefaults::read() {
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) return;
  // Read as every file the program keeps: a regular file of bounded size, so that a pipe or a
  // device in its place neither waits for ever nor fills the memory.
  std::string why;
  std::optional<std::string> bytes = readWhole(path_, why);
  if (!bytes) {
    unreadable_ = true;
    report("cannot read the settings file '" + path_ + "': " + why + "; the settings start afresh and are not stored");
    return;
  }
  if (std::optional<Value> v = plist::read(*bytes); v && v->isDictionary()) {
    user_ = v->dictionary();
    return;
  }
  const std::string aside = asideName(path_);
  if (FileManager::move(path_, aside)) {
    report("the settings file '" + path_ + "' is damaged: it was moved aside as '" + aside +
           "' and the settings start afresh");
    return;
  }
  unreadable_ = true;
  report("the settings file '" + path_ + "' is damaged and cannot be moved aside: " + std::strerror(errno) +
         "; the settings start afresh and are not stored");
}

UserDefaults::~UserDefaults() { synchronize(); }

void UserDefaults::registerDefaults(const Dictionary& defaults) {
  std::lock_guard lock(mutex_);
  for (const auto& [k, v] : defaults) {
    if (v.isNull()) continue;
    registered_.insert_or_assign(k, v);
  }
}

bool UserDefaults::registerDefaultsFromFile(const std::string& path) {
  auto v = plist::readFile(path);
  if (!v || !v->isDictionary()) return false;
  registerDefaults(v->dictionary());
  return true;
}

bool UserDefaults::registerSettingsDefaults() { return registerDefaultsFromFile(AppPaths::resource("Settings.plist")); }

void UserDefaults::setVolatile(std::string_view key, std::optional<Value> value) {
  std::lock_guard lock(mutex_);
  if (!value) {
    if (auto it = volatile_.find(key); it != volatile_.end()) volatile_.erase(it);
    return;
  }
  volatile_.insert_or_assign(std::string(key), std::move(*value));
}

Value UserDefaults::objectForKey(std::string_view key) const {
  std::lock_guard lock(mutex_);
  if (auto it = volatile_.find(key); it != volatile_.end()) return it->second;
  if (auto it = user_.find(key); it != user_.end()) return it->second;
  if (auto it = registered_.find(key); it != registered_.end()) return it->second;
  return {};
}

bool UserDefaults::boolForKey(std::string_view key) const {
  Value v = objectForKey(key);
  return (v.isNumber() || v.isString()) && v.boolValue();
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const {
  Value v = objectForKey(key);
  return v.isNumber() || v.isString() ? v.integerValue() : 0;
}

float UserDefaults::floatForKey(std::string_view key) const {
  return static_cast<float>(doubleForKey(key));
}

double UserDefaults::doubleForKey(std::string_view key) const {
  Value v = objectForKey(key);
  return v.isNumber() || v.isString() ? v.doubleValue() : 0.0;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  Value v = objectForKey(key);
  if (v.isString()) return v.string();
  if (v.isBool()) return std::string(v.boolValue() ? "1" : "0");
  if (v.isInteger()) return std::to_string(v.integerValue());
  if (v.isReal()) return formatDouble(v.doubleValue());
  return std::nullopt;
}

void UserDefaults::setObject(std::string_view key, Value v) {
  if (v.isNull()) {
    removeObjectForKey(key);
    return;
  }
  std::lock_guard lock(mutex_);
  user_.insert_or_assign(std::string(key), std::move(v));
  dirty_ = true;
}

void UserDefaults::removeObjectForKey(std::string_view key) {
  std::lock_guard lock(mutex_);
  if (auto it = user_.find(key); it != user_.end()) {
    user_.erase(it);
    dirty_ = true;
  }
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  if (!dirty_) return true;
  if (unreadable_) return false;
  auto slash = path_.find_last_of('/');
  if (slash != std::string::npos && slash > 0) FileManager::createDirectories(path_.substr(0, slash));
  // An empty dictionary is still a valid file, so removing the last key is stored too.
  if (!plist::writeFile(path_, Value(user_))) return false;
  dirty_ = false;
  return true;
}

Dictionary UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  Dictionary d = registered_;
  for (const auto& [k, v] : user_) d.insert_or_assign(k, v);
  for (const auto& [k, v] : volatile_) {
    if (v.isNull()) d.erase(k);
    else d.insert_or_assign(k, v);
  }
  return d;
}

}  // namespace kit
