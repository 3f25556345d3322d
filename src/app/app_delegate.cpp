#include "app/app_delegate.h"

#include <cstdlib>

#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/io/plist.h"
#include "model/app_services.h"
#include "model/asset_library.h"

AppDelegate::AppDelegate() : lock_(std::make_unique<kit::RecursiveLock>()) {
  kit::UserDefaults& defaults = kit::UserDefaults::standard();
  defaults.registerSettingsDefaults();
  defaults.registerDefaults(kit::Dictionary{{"Current Open Map", ""}, {"RecentColours", kit::Array{}}});
  AppServices::installGlobalTreeLock(lock_.get());
  // Events handled on the main thread hold the tree lock, as tile drawing does.
  kit::RunLoop::main().setDispatchLock(lock_.get());
  AppServices::installIconTable(this);
}

AppDelegate::~AppDelegate() {
  if (AppServices::iconTable() == this) AppServices::installIconTable(nullptr);
  kit::RunLoop::main().setDispatchLock(nullptr);
  AppServices::installGlobalTreeLock(nullptr);
}

std::string AppDelegate::firstPreferredLanguage() {
  const char* env = std::getenv("LANGUAGE");
  if (!env || !*env) env = std::getenv("LANG");
  if (!env) return {};
  return languageTagForLocale(env);
}

std::string AppDelegate::languageTagForLocale(std::string_view locale) {
  std::string lang(locale.substr(0, locale.find(':')));
  lang = lang.substr(0, lang.find_first_of(".@"));  // no encoding, no modifier
  for (char& c : lang)
    if (c == '_') c = '-';
  // Chinese names its script in a language tag: a locale gives only the region, whose script is
  // the traditional one in Taiwan, Hong Kong and Macao and the simplified one elsewhere.
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  };
  const std::size_t dash = lang.find('-');
  if (lower(lang.substr(0, dash)) != "zh") return lang;
  const std::string rest = dash == std::string::npos ? std::string() : lang.substr(dash + 1);
  const std::string subtag = lower(rest.substr(0, rest.find('-')));
  if (subtag.size() == 4) return lang;  // a script is given
  const bool traditional = subtag == "tw" || subtag == "hk" || subtag == "mo";
  return std::string(traditional ? "zh-Hant" : "zh-Hans") + (rest.empty() ? "" : "-" + rest);
}

void AppDelegate::applicationDidBecomeActive() {
  rereadSettings();
  kit::UserDefaults& defaults = kit::UserDefaults::standard();
  if (defaults.boolForKey("ui_recover_images")) {
    AssetLibrary::recoverImagesFromBundle();
    defaults.setBool("ui_recover_images", false);
    defaults.synchronize();
  }
}

void AppDelegate::rereadSettings() {
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
}

// ---- The icon table ----------------------------------------------------------------------------

namespace {

bool readIconList(const std::string& path, kit::Array& into) {
  into.clear();
  std::optional<kit::Value> list = kit::plist::readFile(path);
  if (!list || !list->isArray()) return false;
  for (const kit::Value& entry : list->array())
    if (entry.isDictionary() && entry["name"].isString() && !entry["name"].string().empty()) into.push_back(entry);
  return true;
}

}  // namespace

bool AppDelegate::loadIconList(const std::string& path) {
  std::call_once(iconListRead_, [] {});
  return readIconList(path, iconList_);
}

const kit::Array& AppDelegate::iconList() const {
  std::call_once(iconListRead_, [this] { readIconList(kit::AppPaths::resource("iconList.plist"), iconList_); });
  return iconList_;
}

std::optional<std::string> AppDelegate::getIconKeyNameForFormat(int format) {
  switch (format) {
    case 3:
    case 23: return "name";
    case 29: return "freemind";
    case 5:
    case 26: return "mindmanager";
    case 8: return "dezud";
    default: return std::nullopt;
  }
}

std::optional<std::string> AppDelegate::getExportIconFromName(std::string_view name, int forFormat) const {
  if (name.empty()) return std::nullopt;
  std::optional<std::string> key = forFormat == 3 ? std::optional<std::string>("image") : getIconKeyNameForFormat(forFormat);
  if (!key) return std::nullopt;
  for (const kit::Value& entry : iconList()) {
    if (!strings::isEqualToStringNoCase(entry["name"].string(), name)) continue;
    const kit::Value& v = entry[*key];
    if (v.isString() && !v.string().empty()) return v.string();
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> AppDelegate::getNativeIconGivenName(std::string_view name, int andFormat) const {
  std::optional<std::string> key = getIconKeyNameForFormat(andFormat);
  if (!key || name.empty()) return std::nullopt;
  for (const kit::Value& entry : iconList()) {
    const kit::Value& v = entry[*key];
    if (v.isString() && strings::isEqualToStringNoCase(v.string(), name)) return entry["name"].string();
  }
  return std::nullopt;
}
