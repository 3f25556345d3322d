// The application delegate: the settings it mirrors on becoming active, the image recovery, the
// icon table and its look-ups.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/user_defaults.h"
#include "kit/testing/fixtures.h"
#include "model/app_services.h"
#include "model/asset_library.h"
#include "model/node_view.h"

namespace {

class AppDelegateIcons : public kit::AppHomeTest {
 protected:
  std::string writeFile(const std::string& name, const std::string& text) {
    std::string path = home_.path() + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
};

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Sets LANGUAGE for a scope.
class LanguageScope {
 public:
  explicit LanguageScope(const char* value) {
    if (const char* old = std::getenv("LANGUAGE")) previous_ = old;
    ::setenv("LANGUAGE", value, 1);
  }
  ~LanguageScope() {
    if (previous_) ::setenv("LANGUAGE", previous_->c_str(), 1);
    else ::unsetenv("LANGUAGE");
  }
  LanguageScope(const LanguageScope&) = delete;
  LanguageScope& operator=(const LanguageScope&) = delete;

 private:
  std::optional<std::string> previous_;
};

class BecomingActive : public kit::AppHomeTest {
 protected:
  void set(std::initializer_list<std::pair<const char*, bool>> values) {
    for (auto [key, on] : values) kit::UserDefaults::standard().setBool(key, on);
  }
  // The mirrored values, in the order animation, taper, centre, shortcuts, triple delete off.
  static std::string mirrored() {
    std::string s = AppServices::sharedAnimationDuration() == 0.2 ? "A" : AppServices::sharedAnimationDuration() == 0 ? "-" : "?";
    for (bool on : {AppServices::taperLinksFlag(), AppServices::centreJustificationFlag(), AppServices::keyboardShortcutsFlag(),
                    AppServices::tripleDeleteDisabledFlag()})
      s += on ? "Y" : "-";
    return s;
  }
};

}  // namespace

TEST_F(BecomingActive, MirrorsEachSettingIntoItsOwnValue) {
  AppDelegate app;
  LanguageScope english("en_GB.UTF-8");
  // The shipped defaults: animation, tapered links, text aligned left.
  AppServices::setCentreJustificationFlag(true);
  app.applicationDidBecomeActive();
  EXPECT_EQ(mirrored(), "AY---");
  // Neighbouring flags opposite each other, so that a mix-up shows.
  set({{"ui_animation_enabled", false},
       {"ui_taper_links", false},
       {"ui_default_justify_centre", true},
       {"ui_keyboard_shortcut", false},
       {"ui_keyboard_shortcut_triple_delete_disabled", true}});
  app.applicationDidBecomeActive();
  EXPECT_EQ(mirrored(), "--Y-Y");
  set({{"ui_animation_enabled", true},
       {"ui_taper_links", true},
       {"ui_default_justify_centre", false},
       {"ui_keyboard_shortcut", true},
       {"ui_keyboard_shortcut_triple_delete_disabled", false}});
  app.applicationDidBecomeActive();
  EXPECT_EQ(mirrored(), "AY-Y-");
  // Triple delete is also off for Chinese in Han script, whatever the case.
  for (auto [language, off] : {std::pair{"zh-Hans", true}, {"ZH-hant:en", true}, {"zh_Hans.UTF-8", true},
                               {"zh_CN.UTF-8", true}, {"zh_TW.UTF-8", true}, {"zh_HK", true}, {"zh_SG.GB2312:en", true},
                               {"zh", true}, {"en_GB.UTF-8:zh_CN", false}, {"zu_ZA", false}}) {
    LanguageScope scope(language);
    app.applicationDidBecomeActive();
    EXPECT_EQ(AppServices::tripleDeleteDisabledFlag(), off) << language;
  }
  AppServices::setCentreJustificationFlag(false);
}

TEST_F(BecomingActive, RecoversTheBuiltInImagesOnceWhenAsked) {
  AppDelegate app;
  auto names = kit::FileManager::listDirectory(kit::AppPaths::resource("image-assets"));
  ASSERT_TRUE(names && names->size() >= 2);
  const std::string folder = AssetLibrary::systemAssetLibrary().createAssetFolder();
  const std::string damaged = folder + "/" + (*names)[0], missing = folder + "/" + (*names)[1];
  auto bundled = [&](const std::string& name) { return kit::FileManager::readFile(kit::AppPaths::resource("image-assets/" + name)); };
  auto spoil = [&] { std::ofstream(damaged) << "damaged"; };

  spoil();
  app.applicationDidBecomeActive();  // the setting is off
  EXPECT_EQ(kit::FileManager::readText(damaged), "damaged");
  EXPECT_FALSE(kit::FileManager::exists(missing));

  set({{"ui_recover_images", true}});
  app.applicationDidBecomeActive();
  EXPECT_EQ(kit::FileManager::readFile(damaged), bundled((*names)[0]));
  EXPECT_EQ(kit::FileManager::readFile(missing), bundled((*names)[1]));
  // The setting is stored as NO, so the next activation leaves the images alone.
  kit::UserDefaults::resetStandard();
  EXPECT_EQ(kit::UserDefaults::standard().objectForKey("ui_recover_images"), kit::Value(false));
  spoil();
  app.applicationDidBecomeActive();
  EXPECT_EQ(kit::FileManager::readText(damaged), "damaged");
}

TEST_F(AppDelegateIcons, KeysForFormats) {
  EXPECT_EQ(AppDelegate::getIconKeyNameForFormat(3), "name");
  EXPECT_EQ(AppDelegate::getIconKeyNameForFormat(23), "name");
  EXPECT_EQ(AppDelegate::getIconKeyNameForFormat(29), "freemind");
  EXPECT_EQ(AppDelegate::getIconKeyNameForFormat(5), "mindmanager");
  EXPECT_EQ(AppDelegate::getIconKeyNameForFormat(26), "mindmanager");
  EXPECT_EQ(AppDelegate::getIconKeyNameForFormat(8), "dezud");
  for (int f : {-1, 0, 4, 12, 18, 27, 31, 1000}) EXPECT_FALSE(AppDelegate::getIconKeyNameForFormat(f)) << f;
}

TEST_F(AppDelegateIcons, NativeNamesFromForeignOnesIgnoringCase) {
  AppDelegate app;
  ASSERT_FALSE(app.iconList().empty());
  EXPECT_EQ(app.getNativeIconGivenName("full-1", 29), "priority-1");
  EXPECT_EQ(app.getNativeIconGivenName("FULL-1", 29), "priority-1");
  EXPECT_EQ(app.getNativeIconGivenName("button_ok", 29), "check");
  EXPECT_EQ(app.getNativeIconGivenName("urn:mindjet:flagred", 26), "flag-red");
  EXPECT_EQ(app.getNativeIconGivenName("symbol-right", 8), "check");
  // A native name maps to itself, in the table's spelling.
  EXPECT_EQ(app.getNativeIconGivenName("Priority-2", 3), "priority-2");
  EXPECT_EQ(app.getNativeIconGivenName("priority-2", 23), "priority-2");
  // Empty names, unknown names and formats without a key give nothing.
  EXPECT_FALSE(app.getNativeIconGivenName("", 29));
  EXPECT_FALSE(app.getNativeIconGivenName("no-such-icon", 29));
  EXPECT_FALSE(app.getNativeIconGivenName("full-1", 12));
  EXPECT_FALSE(app.getNativeIconGivenName("priority-1", 4));
}

TEST_F(AppDelegateIcons, ExportNamesAndImages) {
  AppDelegate app;
  EXPECT_EQ(app.getExportIconFromName("priority-1", 3), "icons/priority-1.png");
  EXPECT_EQ(app.getExportIconFromName("CHECK", 3), "icons/check.png");
  EXPECT_EQ(app.getExportIconFromName("check", 29), "button_ok");
  EXPECT_EQ(app.getExportIconFromName("priority-1", 26), "urn:mindjet:Prio1");
  EXPECT_EQ(app.getExportIconFromName("priority-1", 23), "priority-1");
  // An icon without a counterpart in the format, an unknown icon, an empty name, no key.
  EXPECT_FALSE(app.getExportIconFromName("priority-6", 26));
  EXPECT_FALSE(app.getExportIconFromName("!29!bell", 3));
  EXPECT_FALSE(app.getExportIconFromName("", 3));
  EXPECT_FALSE(app.getExportIconFromName("priority-1", 12));
}

TEST_F(AppDelegateIcons, TheShippedTableIsConsistent) {
  AppDelegate app;
  std::map<std::string, std::set<std::string>> seen;
  for (const kit::Value& e : app.iconList()) {
    const std::string& name = e["name"].string();
    // Every image is present, and every foreign name comes back to its own icon.
    EXPECT_TRUE(kit::FileManager::exists(kit::AppPaths::resource(e["image"].string()))) << name;
    for (auto [key, format] : {std::pair{"freemind", 29}, {"mindmanager", 26}, {"dezud", 8}}) {
      if (!e[key].isString()) continue;
      EXPECT_TRUE(seen[key].insert(lower(e[key].string())).second) << key << " " << e[key].string();
      EXPECT_EQ(app.getNativeIconGivenName(e[key].string(), format), name);
      EXPECT_EQ(app.getExportIconFromName(name, format), e[key].string());
    }
  }
}

TEST_F(AppDelegateIcons, AMissingOrBrokenTableLeavesItEmpty) {
  AppDelegate app;
  EXPECT_FALSE(app.loadIconList(home_.path() + "/missing.plist"));
  EXPECT_TRUE(app.iconList().empty());
  EXPECT_FALSE(app.getNativeIconGivenName("full-1", 29));
  EXPECT_FALSE(app.loadIconList(writeFile("broken.plist", "<plist><array><dict><key>name")));
  EXPECT_TRUE(app.iconList().empty());
  // Entries that are not dictionaries or have no name are left out.
  std::string odd = writeFile("odd.plist",
                              "<?xml version=\"1.0\"?><plist version=\"1.0\"><array>"
                              "<string>stray</string>"
                              "<dict><key>freemind</key><string>ghost</string></dict>"
                              "<dict><key>name</key><string>bell</string><key>freemind</key><integer>3</integer></dict>"
                              "<dict><key>name</key><string>star</string><key>freemind</key><string>star</string></dict>"
                              "</array></plist>");
  EXPECT_TRUE(app.loadIconList(odd));
  EXPECT_EQ(app.iconList().size(), 2u);
  EXPECT_FALSE(app.getNativeIconGivenName("ghost", 29));
  EXPECT_FALSE(app.getNativeIconGivenName("3", 29));
  EXPECT_EQ(app.getNativeIconGivenName("Star", 29), "star");
  EXPECT_FALSE(app.getExportIconFromName("bell", 29));
}

TEST_F(AppDelegateIcons, TopicsTranslateThroughTheInstalledDelegate) {
  {
    AppDelegate app;
    EXPECT_EQ(AppServices::iconTable(), &app);
    NodeView topic(nullptr, nullptr);
    topic.addIcon("Full-3", 29);
    topic.addIcon("unheard-of", 26);
    EXPECT_EQ(topic.strIcon1(), "priority-3");
    EXPECT_EQ(topic.strIcon2(), "!26!unheard-of");
  }
  EXPECT_EQ(AppServices::iconTable(), nullptr);
}
