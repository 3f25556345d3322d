// The application delegate, as far as the map model and canvas need it: it registers the
// settings defaults, owns the one global tree lock and mirrors settings into the process-wide
// values each time the application becomes active. It also keeps the icon table (iconList.plist)
// and answers the icon look-ups between native and foreign icon names.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kit/core/lock.h"
#include "kit/core/value.h"
#include "model/app_services.h"

class AppDelegate : public AppServices::IconTable {
 public:
  // Registers the settings defaults and creates (and installs) the global tree lock; make the
  // delegate before any map.
  AppDelegate();
  ~AppDelegate() override;
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  kit::RecursiveLock& globalTreeLock() { return *lock_; }

  // Rereads the user settings into the process-wide values (rereadSettings); when the setting
  // "ui_recover_images" is on, restores the built-in images into the system asset library and
  // stores NO for it.
  void applicationDidBecomeActive();
  // Only the settings, for the command, which never changes stored settings or images.
  void rereadSettings();

  // The user's first preferred language as a language tag ("zh-Hans-CN", "en-GB"), from
  // LANGUAGE or LANG; empty when neither is set.
  static std::string firstPreferredLanguage();
  // The language tag of a locale name ("zh_TW.UTF-8" gives "zh-Hant-TW"; the first of a
  // colon-separated list): '_' read as '-', without encoding or modifier, and Chinese given the
  // script of its region.
  static std::string languageTagForLocale(std::string_view locale);

  // ---- The icon table --------------------------------------------------------------------------
  // Replaces the table with the property list at path (an array of dictionaries); a file that
  // is missing or unreadable leaves the table empty and answers false.
  bool loadIconList(const std::string& path);
  // The table; the resources' iconList.plist is read at the first use, not at start-up.
  const kit::Array& iconList() const;
  // The table key holding a format's icon names: "name" for the native formats (3, 23),
  // "freemind" (29), "mindmanager" (5, 26), "dezud" (8); nullopt for any other format.
  static std::optional<std::string> getIconKeyNameForFormat(int format);
  // For a native icon name (any case): format 3 gives the image to draw ("icons/<name>.png"),
  // a foreign format its own name for the icon; nullopt when unknown or absent.
  std::optional<std::string> getExportIconFromName(std::string_view name, int forFormat) const override;
  // The native name of the first icon whose name under the format's key equals the given one
  // ignoring case; nullopt for an empty name, a format without a key or no match.
  std::optional<std::string> getNativeIconGivenName(std::string_view name, int andFormat) const override;

 private:
  std::unique_ptr<kit::RecursiveLock> lock_;
  // Tiles may ask for icons from their threads.
  mutable std::once_flag iconListRead_;
  mutable kit::Array iconList_;
};
