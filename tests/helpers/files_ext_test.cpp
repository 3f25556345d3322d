#include "helpers/files.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/testing/app_home.h"

namespace {

using kit::FileManager;

class FileExtensions : public ::testing::Test {
 protected:
  kit::TemporaryAppHome home;
  std::string docs = kit::AppPaths::documents();
  std::string tmp = kit::AppPaths::temporary();

  static void put(const std::string& path, std::string_view text) {
    ASSERT_TRUE(FileManager::createDirectories(path.substr(0, path.rfind('/'))));
    ASSERT_TRUE(FileManager::write(path, text));
  }
};

TEST_F(FileExtensions, SafeRemovalInsideDocumentsAndTemporary) {
  put(docs + "/map.qlm", "x");
  put(docs + "/abc", "three characters more than the root");
  files::removeItemAtPathSafe(docs + "/abc");
  EXPECT_FALSE(FileManager::exists(docs + "/abc"));
  put(tmp + "/stage/a.png", "y");
  files::removeItemAtPathSafe(docs + "/map.qlm");
  files::removeItemAtPathSafe(tmp + "/stage");
  EXPECT_FALSE(FileManager::exists(docs + "/map.qlm"));
  EXPECT_FALSE(FileManager::exists(tmp + "/stage"));
}

TEST_F(FileExtensions, SafeRemovalNeverTakesTheRootsOrAnythingOutside) {
  put(docs + "/a", "short name");
  put(home.path() + "/Preferences/settings.plist", "keep");
  put(home.path() + "/Documents-old/map.qlm", "keep");
  for (const std::string& p : {docs, docs + "/", docs + "/a", docs + "//.", docs + "/./.", tmp, tmp + "/",
                               home.path() + "/Preferences/settings.plist", home.path() + "/Documents-old/map.qlm",
                               docs + "/../Preferences/settings.plist", docs + "/x/../../Preferences", std::string("/"),
                               std::string("")}) {
    files::removeItemAtPathSafe(p);
  }
  EXPECT_TRUE(FileManager::exists(docs));
  EXPECT_TRUE(FileManager::exists(tmp));
  EXPECT_TRUE(FileManager::exists(docs + "/a"));
  EXPECT_TRUE(FileManager::exists(home.path() + "/Preferences/settings.plist"));
  EXPECT_TRUE(FileManager::exists(home.path() + "/Documents-old/map.qlm"));
}

TEST_F(FileExtensions, SafeRemovalResolvesLinksAmongTheFolders) {
  put(home.path() + "/outside/keep.txt", "keep");
  put(docs + "/real/gone.txt", "x");
  ASSERT_EQ(::symlink((home.path() + "/outside").c_str(), (docs + "/out").c_str()), 0);
  ASSERT_EQ(::symlink((docs + "/real").c_str(), (docs + "/alias").c_str()), 0);
  files::removeItemAtPathSafe(docs + "/out/keep.txt");
  files::removeItemAtPathSafe(docs + "/out/");
  EXPECT_EQ(FileManager::readText(home.path() + "/outside/keep.txt"), "keep");
  // A link inside that stays inside is followed; a link named last goes as a link.
  files::removeItemAtPathSafe(docs + "/alias/gone.txt");
  EXPECT_FALSE(FileManager::exists(docs + "/real/gone.txt"));
  files::removeItemAtPathSafe(docs + "/out");
  EXPECT_FALSE(FileManager::attributes(docs + "/out"));
  EXPECT_EQ(FileManager::readText(home.path() + "/outside/keep.txt"), "keep");
  // Overwriting through such a link is refused too.
  put(docs + "/new.txt", "new");
  ASSERT_EQ(::symlink((home.path() + "/outside").c_str(), (docs + "/out2").c_str()), 0);
  EXPECT_FALSE(files::moveItemAtPath(docs + "/new.txt", docs + "/out2/keep.txt", true));
  EXPECT_FALSE(files::copyItemAtPath(docs + "/new.txt", docs + "/out2/keep.txt", true));
  EXPECT_EQ(FileManager::readText(home.path() + "/outside/keep.txt"), "keep");
}

TEST_F(FileExtensions, OverwritingLosesNothingWhenTheSourceCannotTakeItsPlace) {
  put(docs + "/map.qlm", "stored");
  for (bool move : {true, false}) {
    const auto place = [move](const std::string& from, const std::string& to) {
      return move ? files::moveItemAtPath(from, to, true) : files::copyItemAtPath(from, to, true);
    };
    SCOPED_TRACE(move ? "move" : "copy");
    EXPECT_FALSE(place(docs + "/missing.qlm", docs + "/map.qlm"));
    EXPECT_EQ(FileManager::readText(docs + "/map.qlm"), "stored");
    // Onto itself, by the same or another spelling of its path.
    EXPECT_TRUE(place(docs + "/map.qlm", docs + "/map.qlm"));
    EXPECT_TRUE(place(docs + "/./map.qlm", docs + "//map.qlm"));
    EXPECT_EQ(FileManager::readText(docs + "/map.qlm"), "stored");
    // Another name of the same file, or a link to it: nothing changes.
    ASSERT_EQ(::link((docs + "/map.qlm").c_str(), (docs + "/hard.qlm").c_str()), 0);
    ASSERT_EQ(::symlink((docs + "/map.qlm").c_str(), (docs + "/soft.qlm").c_str()), 0);
    EXPECT_FALSE(place(docs + "/hard.qlm", docs + "/map.qlm"));
    EXPECT_FALSE(place(docs + "/soft.qlm", docs + "/map.qlm"));
    EXPECT_EQ(FileManager::readText(docs + "/map.qlm"), "stored");
    ASSERT_TRUE(FileManager::remove(docs + "/hard.qlm") && FileManager::remove(docs + "/soft.qlm"));
    // A folder over the folder that holds it.
    put(docs + "/maps/inner/a.txt", "a");
    EXPECT_FALSE(place(docs + "/maps/inner", docs + "/maps"));
    EXPECT_EQ(FileManager::readText(docs + "/maps/inner/a.txt"), "a");
  }
  // What is set aside while replacing is gone afterwards.
  put(docs + "/other.qlm", "other");
  EXPECT_TRUE(files::moveItemAtPath(docs + "/other.qlm", docs + "/map.qlm", true));
  EXPECT_EQ(FileManager::readText(docs + "/map.qlm"), "other");
  EXPECT_EQ(FileManager::listDirectory(docs), (std::vector<std::string>{"map.qlm", "maps"}));
}

TEST_F(FileExtensions, MoveCreatesParentsAndOverwritesOnlyWhenAsked) {
  put(docs + "/a.txt", "new");
  put(docs + "/deep/er/b.txt", "old");
  EXPECT_FALSE(files::moveItemAtPath(docs + "/a.txt", docs + "/deep/er/b.txt", false));
  EXPECT_EQ(FileManager::readText(docs + "/deep/er/b.txt"), "old");
  EXPECT_TRUE(files::moveItemAtPath(docs + "/a.txt", docs + "/deep/er/b.txt", true));
  EXPECT_EQ(FileManager::readText(docs + "/deep/er/b.txt"), "new");
  EXPECT_FALSE(FileManager::exists(docs + "/a.txt"));
  EXPECT_TRUE(files::moveItemAtPath(docs + "/deep/er/b.txt", tmp + "/x/y/z.txt", false));
  EXPECT_EQ(FileManager::readText(tmp + "/x/y/z.txt"), "new");
  EXPECT_FALSE(files::moveItemAtPath(docs + "/missing", docs + "/c.txt", true));
}

TEST_F(FileExtensions, CopyKeepsTheSource) {
  put(docs + "/a.txt", "one");
  put(tmp + "/b.txt", "two");
  EXPECT_FALSE(files::copyItemAtPath(docs + "/a.txt", tmp + "/b.txt", false));
  EXPECT_TRUE(files::copyItemAtPath(docs + "/a.txt", tmp + "/b.txt", true));
  EXPECT_EQ(FileManager::readText(tmp + "/b.txt"), "one");
  EXPECT_EQ(FileManager::readText(docs + "/a.txt"), "one");
}

TEST_F(FileExtensions, OverwriteNeverDeletesOutsideTheSafeFolders) {
  put(docs + "/a.txt", "new");
  put(home.path() + "/Preferences/p.txt", "keep");
  EXPECT_FALSE(files::moveItemAtPath(docs + "/a.txt", home.path() + "/Preferences/p.txt", true));
  EXPECT_EQ(FileManager::readText(home.path() + "/Preferences/p.txt"), "keep");
  EXPECT_TRUE(FileManager::exists(docs + "/a.txt"));
}

TEST_F(FileExtensions, IsFolderDoesNotFollowLinks) {
  put(docs + "/dir/f.txt", "x");
  ASSERT_EQ(::symlink((docs + "/dir").c_str(), (docs + "/link").c_str()), 0);
  EXPECT_TRUE(files::isFolder(docs + "/dir"));
  EXPECT_FALSE(files::isFolder(docs + "/dir/f.txt"));
  EXPECT_FALSE(files::isFolder(docs + "/link"));
  EXPECT_FALSE(files::isFolder(docs + "/missing"));
}

}  // namespace
