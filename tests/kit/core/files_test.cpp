#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include <cstdlib>
#include <optional>
#include <utility>
#include <string>

#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/name_limit.h"
#include "kit/core/replacement_file.h"
#include "kit/testing/app_home.h"

using namespace kit;

namespace {

class FilesTest : public ::testing::Test {
 protected:
  TemporaryAppHome home;
  std::string dir = AppPaths::temporary();
  std::string path(const std::string& name) const { return dir + "/" + name; }
};

}  // namespace

TEST_F(FilesTest, HomeFoldersLiveInsideTheTemporaryHome) {
  EXPECT_EQ(AppPaths::home(), home.path());
  EXPECT_EQ(AppPaths::documents(), home.path() + "/Documents");
  EXPECT_TRUE(FileManager::isDirectory(AppPaths::documents()));
  EXPECT_TRUE(FileManager::isDirectory(AppPaths::preferences()));
  EXPECT_EQ(dir.rfind(home.path(), 0), 0u);
}

// The home lasts: QUILLMERE_HOME, else an absolute XDG_DATA_HOME, else the user's data folder.
TEST_F(FilesTest, HomeFollowsTheDataHomeWhenNoneIsNamed) {
  auto saved = [](const char* name) -> std::optional<std::string> {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  const std::optional<std::string> named = saved("QUILLMERE_HOME"), data = saved("XDG_DATA_HOME"), user = saved("HOME");
  ::setenv("HOME", "/home/ann", 1);
  ::setenv("XDG_DATA_HOME", "/data/ann/", 1);
  EXPECT_EQ(AppPaths::home(), home.path());
  ::unsetenv("QUILLMERE_HOME");
  EXPECT_EQ(AppPaths::home(), "/data/ann/quillmere");
  ::setenv("XDG_DATA_HOME", "relative/data", 1);
  EXPECT_EQ(AppPaths::home(), "/home/ann/.local/share/quillmere");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(AppPaths::home(), "/home/ann/.local/share/quillmere");
  for (auto [name, value] : {std::pair{"QUILLMERE_HOME", named}, std::pair{"XDG_DATA_HOME", data}, std::pair{"HOME", user}})
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

TEST_F(FilesTest, ResourcesComeFromTheEnvironmentFirst) {
  const char* old = std::getenv("QUILL_RESOURCES");
  std::string saved = old ? old : "";
  ::setenv("QUILL_RESOURCES", "/some/where/", 1);
  EXPECT_EQ(AppPaths::resource("Settings.plist"), "/some/where/Settings.plist");
  ::unsetenv("QUILL_RESOURCES");
  EXPECT_TRUE(FileManager::exists(AppPaths::resource("Settings.plist")));  // the source tree's
  if (old) ::setenv("QUILL_RESOURCES", saved.c_str(), 1);
}

TEST_F(FilesTest, SymbolicLinkToAFolderIsNotAFolder) {
  ASSERT_TRUE(FileManager::createDirectories(path("real/inner")));
  ASSERT_EQ(::symlink(path("real").c_str(), path("link").c_str()), 0);
  EXPECT_TRUE(FileManager::isDirectory(path("real")));
  EXPECT_FALSE(FileManager::isDirectory(path("link")));
  EXPECT_TRUE(FileManager::exists(path("link")));
  auto attrs = FileManager::attributes(path("link"));
  ASSERT_TRUE(attrs);
  EXPECT_EQ(attrs->type, FileType::SymbolicLink);
  // Removing the link leaves its target.
  EXPECT_TRUE(FileManager::remove(path("link")));
  EXPECT_TRUE(FileManager::isDirectory(path("real/inner")));
  ASSERT_EQ(::symlink(path("missing").c_str(), path("dangling").c_str()), 0);
  EXPECT_FALSE(FileManager::exists(path("dangling")));
  EXPECT_FALSE(FileManager::copy(path("real"), path("dangling")));  // something is there
}

TEST_F(FilesTest, MoveAndCopyNeverReplace) {
  ASSERT_TRUE(FileManager::write(path("a"), "old"));
  ASSERT_TRUE(FileManager::write(path("b"), "kept"));
  EXPECT_FALSE(FileManager::move(path("a"), path("b")));
  EXPECT_FALSE(FileManager::copy(path("a"), path("b")));
  EXPECT_EQ(FileManager::readText(path("b")), "kept");
  EXPECT_TRUE(FileManager::move(path("a"), path("c")));
  EXPECT_FALSE(FileManager::exists(path("a")));
  EXPECT_FALSE(FileManager::move(path("a"), path("d")));
  EXPECT_TRUE(FileManager::copy(path("c"), path("d")));
  EXPECT_EQ(FileManager::readText(path("d")), "old");
  EXPECT_EQ(FileManager::readText(path("c")), "old");
}

TEST_F(FilesTest, CopyAndRemoveWholeFolders) {
  ASSERT_TRUE(FileManager::createDirectories(path("tree/a/b")));
  ASSERT_TRUE(FileManager::write(path("tree/a/b/f.txt"), "x"));
  ASSERT_TRUE(FileManager::write(path("tree/g.txt"), "yy"));
  ASSERT_TRUE(FileManager::copy(path("tree"), path("copy")));
  auto items = FileManager::listRecursively(path("copy"));
  ASSERT_TRUE(items);
  EXPECT_EQ(*items, (std::vector<std::string>{"a", "a/b", "a/b/f.txt", "g.txt"}));
  EXPECT_EQ(FileManager::listDirectory(path("copy")), (std::vector<std::string>{"a", "g.txt"}));
  EXPECT_EQ(FileManager::attributes(path("copy/g.txt"))->size, 2u);
  EXPECT_TRUE(FileManager::remove(path("copy")));
  EXPECT_FALSE(FileManager::exists(path("copy")));
  EXPECT_FALSE(FileManager::remove(path("copy")));
  EXPECT_FALSE(FileManager::listDirectory(path("tree/g.txt")));
}

TEST_F(FilesTest, FailuresAreReturnValues) {
  EXPECT_FALSE(FileManager::readFile(path("none")));
  EXPECT_FALSE(FileManager::readFile(dir));
  EXPECT_FALSE(FileManager::attributes(""));
  EXPECT_FALSE(FileManager::write(path("no/such/folder/f"), "x"));
  EXPECT_FALSE(FileManager::writeAtomically(path("no/such/folder/f"), "x"));
  EXPECT_FALSE(FileManager::createDirectories(""));
  ASSERT_TRUE(FileManager::write(path("file"), "x"));
  EXPECT_FALSE(FileManager::createDirectories(path("file/sub")));
}

TEST_F(FilesTest, AtomicWriteReplacesWholeAndLeavesNoTemporaryFiles) {
  std::string big(1 << 20, 'n');
  ASSERT_TRUE(FileManager::writeAtomically(path("doc"), "first version"));
  ::chmod(path("doc").c_str(), 0600);
  ASSERT_TRUE(FileManager::writeAtomically(path("doc"), big));
  EXPECT_EQ(FileManager::readText(path("doc")), big);
  struct stat st;
  ASSERT_EQ(::stat(path("doc").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the replaced file's mode is kept
  EXPECT_EQ(FileManager::listDirectory(dir), std::vector<std::string>{"doc"});
}

TEST_F(FilesTest, UnsyncedReplacementIsWholeAtItsCommit) {
  ASSERT_TRUE(FileManager::writeAtomically(path("pic"), "old picture"));
  std::optional<ReplacementFile> f = ReplacementFile::create(path("pic"));
  ASSERT_TRUE(f);
  const std::string_view next = "new";
  ASSERT_TRUE(f->write({reinterpret_cast<const std::uint8_t*>(next.data()), next.size()}));
  EXPECT_EQ(FileManager::readText(path("pic")), "old picture");
  ASSERT_TRUE(f->commit(ReplacementFile::Durability::Readers));
  EXPECT_EQ(FileManager::readText(path("pic")), "new");
  EXPECT_EQ(FileManager::listDirectory(dir), std::vector<std::string>{"pic"});
  EXPECT_FALSE(f->commit(ReplacementFile::Durability::Readers));
}

TEST_F(FilesTest, FailedAtomicWriteKeepsTheOldContent) {
  ASSERT_TRUE(FileManager::createDirectories(path("ro")));
  ASSERT_TRUE(FileManager::writeAtomically(path("ro/doc"), "precious"));
  ::chmod(path("ro").c_str(), 0500);
  bool wrote = FileManager::writeAtomically(path("ro/doc"), "replacement");
  ::chmod(path("ro").c_str(), 0700);
  if (::geteuid() != 0) {
    EXPECT_FALSE(wrote);
  }
  if (!wrote) {
    EXPECT_EQ(FileManager::readText(path("ro/doc")), "precious");
  }
  auto names = FileManager::listDirectory(path("ro"));
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, std::vector<std::string>{"doc"});
}

TEST_F(FilesTest, AttributesReportModificationDate) {
  ASSERT_TRUE(FileManager::write(path("f"), "abc"));
  auto a = FileManager::attributes(path("f"));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->type, FileType::Regular);
  EXPECT_EQ(a->size, 3u);
  EXPECT_GT(a->modificationDate.seconds, 1.6e9);
  EXPECT_EQ(FileManager::attributes(dir)->type, FileType::Directory);
}

// A write through a symbolic link replaces the file it leads to, in that file's folder, and the
// link stays; a read-only file, a device or a folder is never replaced.
TEST_F(FilesTest, ReplacementGoesThroughLinksAndNeverOverReadOnlyFiles) {
  ASSERT_TRUE(FileManager::createDirectories(path("real")));
  ASSERT_TRUE(FileManager::writeAtomically(path("real/doc"), "old"));
  ASSERT_EQ(::symlink("real/doc", path("link").c_str()), 0);
  ASSERT_EQ(::symlink("link", path("link to link").c_str()), 0);
  ASSERT_TRUE(FileManager::writeAtomically(path("link to link"), "new"));
  EXPECT_EQ(FileManager::readText(path("real/doc")), "new");
  EXPECT_EQ(FileManager::attributes(path("link to link"))->type, FileType::SymbolicLink);
  EXPECT_EQ(FileManager::attributes(path("link"))->type, FileType::SymbolicLink);
  ASSERT_EQ(::symlink("real/fresh", path("dangling").c_str()), 0);
  ASSERT_TRUE(FileManager::writeAtomically(path("dangling"), "made"));
  EXPECT_EQ(FileManager::readText(path("real/fresh")), "made");
  EXPECT_EQ(FileManager::listDirectory(path("real")), (std::vector<std::string>{"doc", "fresh"}));

  ::chmod(path("real/doc").c_str(), 0444);
  EXPECT_EQ(ReplacementFile::whyNot(path("link")), "it is read-only");
  EXPECT_FALSE(FileManager::writeAtomically(path("real/doc"), "lost"));
  EXPECT_EQ(FileManager::readText(path("real/doc")), "new");
  EXPECT_EQ(ReplacementFile::whyNot(path("real")), "it is a folder");
  ASSERT_EQ(::symlink("/dev/null", path("null").c_str()), 0);
  EXPECT_EQ(ReplacementFile::whyNot(path("null")), "it is not a regular file");
  EXPECT_EQ(ReplacementFile::whyNot(path("real/other")), std::nullopt);
  EXPECT_EQ(FileManager::listDirectory(path("real")), (std::vector<std::string>{"doc", "fresh"}));
}

// What runs killed outright left beside their outputs goes once it is old and its process gone.
TEST_F(FilesTest, LeftoversOfGoneProcessesGoOnceOld) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string goneId = std::to_string(gone), selfId = std::to_string(::getpid());
  auto leave = [&](const std::string& name, bool old) {
    ASSERT_TRUE(FileManager::write(path(name), "part"));
    const timespec when = {std::time(nullptr) - (old ? 7 * 3600 : 60), 0};
    const timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, path(name).c_str(), times, 0), 0);
  };
  leave("map.png.tmp-" + goneId + "-Ab12Cd", true);
  leave("map.png.tmp-" + goneId + "-Fresh1", false);
  leave("map.png.tmp-" + selfId + "-Alive1", true);
  leave("map.png.tmp-Ab12Cd", true);
  leave("notes.tmp-" + goneId, true);
  EXPECT_EQ(fitName("a\u00e9", std::string(253, '-')), "a" + std::string(253, '-'));
  leave(fitName(std::string(255, 'm'), ".tmp-" + goneId + "-Long12"), true);
  FileManager::removeLeftovers(dir, ".tmp-", 6 * 3600, FileType::Regular);
  std::vector<std::string> kept = {"map.png.tmp-" + goneId + "-Fresh1", "map.png.tmp-" + selfId + "-Alive1",
                                   "map.png.tmp-Ab12Cd", "notes.tmp-" + goneId};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(FileManager::listDirectory(dir), kept);
}

// The superuser leaves a user's file theirs, and follows links in a shared folder as the kernel does.
TEST_F(FilesTest, TheSuperuserKeepsOwnersAndShunsLinksOthersPlantedInSharedFolders) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give files to another user";
  struct stat st {};
  ASSERT_TRUE(FileManager::write(path("theirs"), "old") && ::chown(path("theirs").c_str(), 65534, 65534) == 0);
  ASSERT_TRUE(FileManager::writeAtomically(path("theirs"), "new") && ::stat(path("theirs").c_str(), &st) == 0);
  EXPECT_EQ(std::pair(st.st_uid, st.st_gid), (std::pair<uid_t, gid_t>(65534, 65534)));
  for (const uid_t folderOwner : {0u, 65534u}) {
    const std::string shared = path(std::to_string(folderOwner)), link = shared + "/x.png";
    ASSERT_TRUE(FileManager::write(path("mine"), "precious") && FileManager::createDirectories(shared));
    ASSERT_EQ(::chown(shared.c_str(), folderOwner, 0) | ::chmod(shared.c_str(), 01777) |
                  ::symlink(path("mine").c_str(), link.c_str()) | ::lchown(link.c_str(), 65534, 0), 0);
    FileManager::writeAtomically(link, "planted");
    EXPECT_EQ(FileManager::readText(path("mine")), folderOwner ? "planted" : "precious");
  }
  EXPECT_NE(ReplacementFile::whyNot(path("0/x.png")).value_or("").find("another user made in a shared folder"), std::string::npos);
}
