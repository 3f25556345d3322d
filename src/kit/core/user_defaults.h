// User settings: a registration domain (defaults the program registers at start, never stored)
// under a persistent user domain kept as a property-list file in the preferences folder, under a
// volatile domain that holds values for the process's run only (a command's options).
// Look-ups ask the volatile domain first, then the user domain, then the registration domain.
// A settings file that exists but does not read as a dictionary is moved aside as
// "NAME.damaged-YYYYMMDD-HHMMSS" (said in one line on standard error) and the store starts empty;
// one that cannot be read at all is never written over.
// Implemented in kit_io (src/kit/io/user_defaults.cpp): the store is a property list.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/core/value.h"

namespace kit {

class UserDefaults {
 public:
  // The shared instance, stored in AppPaths::preferences() + "/" + kFileName.
  static UserDefaults& standard();
  // Drops the shared instance after saving it; the next standard() starts afresh (it reads the
  // application home again). For tests that move the home.
  static void resetStandard();
  static constexpr const char* kFileName = "quillmere.plist";

  // A store kept in the property-list file at path (read now if it exists).
  explicit UserDefaults(std::string path);
  // Saves pending changes.
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // Adds to (and overrides keys of) the registration domain.
  void registerDefaults(const Dictionary& defaults);
  // Registers the top-level dictionary of a property-list file; false when it cannot be read.
  bool registerDefaultsFromFile(const std::string& path);
  // Registers resources/Settings.plist (AppPaths::resource("Settings.plist")).
  bool registerSettingsDefaults();

  // For this process only, the key reads as value (a null value: as absent), whatever the stored
  // settings hold; nothing is stored. nullopt ends that.
  void setVolatile(std::string_view key, std::optional<Value> value);

  // The value, or null when no domain has the key: a registered default counts as present.
  Value objectForKey(std::string_view key) const;
  // Numbers convert; strings parse as NSString does ("YES", "true", "1" are true); else false/0.
  bool boolForKey(std::string_view key) const;
  std::int64_t integerForKey(std::string_view key) const;
  float floatForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  // Strings as they are; numbers as their text ("1" for true, "0.5"); anything else nullopt.
  std::optional<std::string> stringForKey(std::string_view key) const;

  // A null value removes the key from the user domain.
  void setObject(std::string_view key, Value v);
  void setBool(std::string_view key, bool v) { setObject(key, Value(v)); }
  void setInteger(std::string_view key, std::int64_t v) { setObject(key, Value(v)); }
  void setFloat(std::string_view key, float v) { setObject(key, Value(v)); }
  void setDouble(std::string_view key, double v) { setObject(key, Value(v)); }
  void setString(std::string_view key, std::string v) { setObject(key, Value(std::move(v))); }
  void removeObjectForKey(std::string_view key);

  // Writes the user domain atomically when it changed; false when the write failed, or when the
  // file there could not be read (it is never written over then).
  bool synchronize();

  // Both domains merged, user values winning.
  Dictionary dictionaryRepresentation() const;
  const std::string& path() const { return path_; }

 private:
  void read();
  mutable std::mutex mutex_;
  std::string path_;
  Dictionary registered_;
  Dictionary user_;
  Dictionary volatile_;
  bool dirty_ = false;
  bool unreadable_ = false;
};

}  // namespace kit
