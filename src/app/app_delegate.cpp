#include "app/app_delegate.h"

#include <cstdlib>

#include "kit/core/user_defaults.h"
#include "model/app_services.h"

AppDelegate::AppDelegate() : lock_(std::make_unique<kit::RecursiveLock>()) {
  kit::UserDefaults& defaults = kit::UserDefaults::standard();
  defaults.registerSettingsDefaults();
  defaults.registerDefaults(kit::Dictionary{{"Current Open Map", ""}, {"RecentColours", kit::Array{}}});
  AppServices::installGlobalTreeLock(lock_.get());
}

AppDelegate::~AppDelegate() { AppServices::installGlobalTreeLock(nullptr); }

std::string AppDelegate::firstPreferredLanguage() {
  const char* env = std::getenv("LANGUAGE");
  if (!env || !*env) env = std::getenv("LANG");
  if (!env) return {};
  std::string lang(env);
  lang = lang.substr(0, lang.find(':'));
  lang = lang.substr(0, lang.find('.'));  // no encoding
  for (char& c : lang)
    if (c == '_') c = '-';
  return lang;
}

void AppDelegate::applicationDidBecomeActive() {
  kit::UserDefaults& defaults = kit::UserDefaults::standard();
  AppServices::setSharedAnimationDuration(defaults.boolForKey("ui_animation_enabled") ? 0.2 : 0.0);
  AppServices::setTaperLinksFlag(defaults.boolForKey("ui_taper_links"));
  AppServices::setCentreJustificationFlag(defaults.boolForKey("ui_default_justify_centre"));
  AppServices::setKeyboardShortcutsFlag(defaults.boolForKey("ui_keyboard_shortcut"));
  std::string lang = firstPreferredLanguage();
  bool chinese = lang.size() >= 6;
  for (std::size_t i = 0; chinese && i < 6; ++i) {
    char c = lang[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    chinese = c == "zh-han"[i];
  }
  AppServices::setTripleDeleteDisabledFlag(defaults.boolForKey("ui_keyboard_shortcut_triple_delete_disabled") || chinese);
  // Recovering the built-in images ("ui_recover_images") joins with the image asset library.
}
