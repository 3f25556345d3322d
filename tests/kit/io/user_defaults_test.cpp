#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/user_defaults.h"
#include "kit/io/plist.h"
#include "kit/testing/app_home.h"

using namespace kit;

namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  TemporaryAppHome home;
  std::string file = AppPaths::preferences() + "/test.plist";
};

}  // namespace

TEST_F(UserDefaultsTest, RegisteredDefaultsCountAsPresent) {
  UserDefaults d(file);
  EXPECT_TRUE(d.objectForKey("export_options_png_include_html_map").isNull());
  d.registerDefaults({{"export_options_png_include_html_map", false}});
  EXPECT_FALSE(d.objectForKey("export_options_png_include_html_map").isNull());
  EXPECT_FALSE(d.boolForKey("export_options_png_include_html_map"));
}

TEST_F(UserDefaultsTest, UserValuesOverrideRegisteredOnesUntilRemoved) {
  UserDefaults d(file);
  d.registerDefaults({{"ui_auto_scroll", true}});
  d.setBool("ui_auto_scroll", false);
  EXPECT_FALSE(d.boolForKey("ui_auto_scroll"));
  d.removeObjectForKey("ui_auto_scroll");
  EXPECT_TRUE(d.boolForKey("ui_auto_scroll"));
  d.setObject("ui_auto_scroll", Value());
  EXPECT_TRUE(d.boolForKey("ui_auto_scroll"));
}

TEST_F(UserDefaultsTest, TypedGettersConvertLikeStrings) {
  UserDefaults d(file);
  d.setString("s_yes", "YES");
  d.setString("s_num", " 42.7 px");
  d.setInteger("i", 7);
  d.setDouble("r", 0.5);
  d.setObject("list", Array{1});
  EXPECT_TRUE(d.boolForKey("s_yes"));
  EXPECT_EQ(d.integerForKey("s_num"), 42);
  EXPECT_FLOAT_EQ(d.floatForKey("s_num"), 42.7f);
  EXPECT_EQ(d.stringForKey("i"), "7");
  EXPECT_EQ(d.stringForKey("r"), "0.5");
  d.setBool("b", true);
  EXPECT_EQ(d.stringForKey("b"), "1");
  EXPECT_EQ(d.stringForKey("list"), std::nullopt);
  EXPECT_FALSE(d.boolForKey("list"));
  EXPECT_EQ(d.integerForKey("ui_topic_resize_handle"), 0);  // absent
  EXPECT_EQ(d.stringForKey("absent"), std::nullopt);
}

TEST_F(UserDefaultsTest, UserDomainPersistsButRegistrationDoesNot) {
  {
    UserDefaults d(file);
    d.registerDefaults({{"registered", 1}});
    d.setInteger("ui_topic_resize_handle", 2);
    d.setObject("RecentColours", Array{"FF0000", "00FF00"});
    ASSERT_TRUE(d.synchronize());
  }
  UserDefaults again(file);
  EXPECT_EQ(again.integerForKey("ui_topic_resize_handle"), 2);
  EXPECT_EQ(again.objectForKey("RecentColours").array().size(), 2u);
  EXPECT_TRUE(again.objectForKey("registered").isNull());
  again.removeObjectForKey("ui_topic_resize_handle");
  again.synchronize();
  EXPECT_FALSE(plist::readFile(file)->contains("ui_topic_resize_handle"));
}

TEST_F(UserDefaultsTest, ChangesAreSavedWhenTheStoreGoes) {
  { UserDefaults(file).setBool("ui_recover_images", false); }
  EXPECT_EQ(UserDefaults(file).objectForKey("ui_recover_images"), Value(false));
}

// Settings are never lost silently: a damaged file is moved aside, named by the time, and said
// in one line; one that cannot be read at all is never written over.
TEST_F(UserDefaultsTest, DamagedFileIsMovedAsideAndSaid) {
  const std::string damaged = "<plist><dict><key>x";
  ASSERT_TRUE(FileManager::write(file, damaged));
  ::testing::internal::CaptureStderr();
  UserDefaults d(file);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(d.dictionaryRepresentation().empty());
  const std::vector<std::string> names = FileManager::listDirectory(AppPaths::preferences()).value_or(std::vector<std::string>{});
  ASSERT_EQ(names.size(), 1u);
  const std::string aside = AppPaths::preferences() + "/" + names[0];
  EXPECT_EQ(names[0].rfind("test.plist.damaged-", 0), 0u) << names[0];
  EXPECT_EQ(names[0].size(), std::string("test.plist.damaged-YYYYMMDD-HHMMSS").size()) << names[0];
  EXPECT_EQ(FileManager::readText(aside), damaged);
  EXPECT_EQ(said, "quillmere: the settings file '" + file + "' is damaged: it was moved aside as '" + aside +
                      "' and the settings start afresh\n");
  d.setString("k", "v");
  ASSERT_TRUE(d.synchronize());
  EXPECT_EQ((*plist::readFile(file))["k"].string(), "v");
  EXPECT_EQ(FileManager::readText(aside), damaged);

  // A file that cannot be read at all stays as it is (the superuser reads any).
  if (::geteuid() == 0) return;
  const std::string locked = AppPaths::preferences() + "/locked.plist";
  ASSERT_TRUE(plist::writeFile(locked, Value(Dictionary{{"k", Value("mine")}})));
  ::chmod(locked.c_str(), 0200);
  ::testing::internal::CaptureStderr();
  {
    UserDefaults unreadable(locked);
    EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("quillmere: cannot read the settings file '" + locked + "'", 0), 0u);
    unreadable.setString("k", "v");
    EXPECT_FALSE(unreadable.synchronize());
  }
  ::chmod(locked.c_str(), 0600);
  EXPECT_EQ((*plist::readFile(locked))["k"].string(), "mine");
}

TEST_F(UserDefaultsTest, StandardStoreLivesInTheHomeAndReadsTheSettingsResource) {
  UserDefaults& s = UserDefaults::standard();
  EXPECT_EQ(s.path(), AppPaths::preferences() + "/" + UserDefaults::kFileName);
  ASSERT_TRUE(s.registerSettingsDefaults());
  EXPECT_TRUE(s.boolForKey("ui_animation_enabled"));
  EXPECT_TRUE(s.boolForKey("ui_taper_links"));
  EXPECT_TRUE(s.boolForKey("ui_crosshair_enabled"));
  EXPECT_FALSE(s.boolForKey("export_options_transparent_background"));
  EXPECT_EQ(s.integerForKey("ui_topic_resize_handle"), 1);
  EXPECT_TRUE(s.objectForKey("export_options_png_include_html_map").isNull());
  s.setBool("te_enabled", true);
  UserDefaults::resetStandard();
  EXPECT_TRUE(UserDefaults::standard().boolForKey("te_enabled"));
  EXPECT_FALSE(UserDefaults::standard().boolForKey("ui_taper_links"));  // not registered again
}

TEST(UserDefaultsStandardTest, ReadingMakesNoFolderAndTheFirstWriteMakesIt) {
  TemporaryAppHome home;
  const std::string folder = home.path() + "/Preferences";
  EXPECT_FALSE(UserDefaults::standard().boolForKey("te_enabled"));
  ASSERT_TRUE(UserDefaults::standard().synchronize());  // nothing to write
  EXPECT_FALSE(FileManager::exists(folder));
  UserDefaults::standard().setBool("te_enabled", true);
  ASSERT_TRUE(UserDefaults::standard().synchronize());
  EXPECT_EQ(UserDefaults::standard().path(), AppPaths::preferences() + "/" + UserDefaults::kFileName);
  EXPECT_TRUE(FileManager::exists(UserDefaults::standard().path()));
}
