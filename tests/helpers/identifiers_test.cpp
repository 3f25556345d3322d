#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "helpers/global_helpers_files.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/core/app_paths.h"
#include "kit/graphics/image.h"
#include "kit/io/plist.h"
#include "kit/testing/app_home.h"
#include "kit/ui/pasteboard.h"

using namespace GlobalHelpers;
namespace fs = std::filesystem;

TEST(Identifiers, UUIDsAreFreshAndCompactFormIs24Characters) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string u = GetUUID();
    ASSERT_EQ(u.size(), 36u);
    std::string oid = GetOIDFromUUID(u);
    EXPECT_EQ(oid.size(), 24u);
    EXPECT_EQ(oid.substr(22), "==");
    seen.insert(oid);
  }
  EXPECT_EQ(seen.size(), 50u);
  // Standard Base64 of the 16 bytes; lower-case text names the same UUID.
  EXPECT_EQ(GetOIDFromUUID("00000000-0000-0000-0000-000000000000"), "AAAAAAAAAAAAAAAAAAAAAA==");
  EXPECT_EQ(GetOIDFromUUID("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"), "/////////////////////w==");
  EXPECT_EQ(GetOIDFromUUID("fbfbfbfb-fbfb-fbfb-fbfb-fbfbfbfbfbfb"), "+/v7+/v7+/v7+/v7+/v7+w==");
  EXPECT_EQ(GetOIDFromUUID("not a uuid"), "");
}

TEST(Descriptions, TextStyles) {
  EXPECT_EQ(getTextStyleDescription(0), "Default");
  EXPECT_EQ(getTextStyleDescription(2 | 4 | 64), "Bold/Italic/Centre");
  EXPECT_EQ(getTextStyleDescription(32), "Right");
  EXPECT_EQ(getTextStyleDescription(16 | 64), "Left");
  EXPECT_EQ(getTextStyleDescription(64 | 32), "Centre");
  EXPECT_EQ(getTextStyleDescription(4), "Italic");
  EXPECT_EQ(getTextStyleDescription(2 | 32), "Bold/Right");
  EXPECT_EQ(getTextStyleDescription(1 | 8 | 128), "Default");  // unknown bits alone
}

TEST(Descriptions, Shapes) {
  EXPECT_EQ(getShapeDescription(0), "Rounded Rectangle");
  EXPECT_EQ(getShapeDescription(1), "Rectangle");
  EXPECT_EQ(getShapeDescription(2), "Oval");
  EXPECT_EQ(getShapeDescription(3), "Line");
  EXPECT_EQ(getShapeDescription(99), "Default");
  EXPECT_EQ(getShapeDescription(-1), "Default");
}

TEST(Descriptions, ShapeImages) {
  const std::pair<int, const char*> cases[] = {{0, "shape-rounded-rect.png"}, {1, "shape-rect.png"},
                                               {2, "shape-ellipse.png"},      {3, "shape-line.png"},
                                               {99, "gear-small-black.png"},  {-1, "gear-small-black.png"},
                                               {4, "gear-small-black.png"}};
  std::set<const kit::Image*> distinct;
  for (auto [shape, name] : cases) {
    kit::ImageRef image = getImageFromShape(shape);
    ASSERT_TRUE(image) << shape;
    EXPECT_EQ(image, kit::imageNamed(name)) << shape;  // named images are shared
    distinct.insert(image.get());
  }
  EXPECT_EQ(distinct.size(), 5u);
}

TEST(Clipboard, Names) {
  EXPECT_EQ(clipboardNameForType(1), "Quillmere.clipboard");
  EXPECT_EQ(clipboardNameForType(2), "Quillmere.temp.clipboard");
  EXPECT_EQ(clipboardNameForType(0), "");
  EXPECT_EQ(clipboardNameForType(3), "");
}

class ClipboardFile : public ::testing::Test {
 protected:
  void SetUp() override { kit::Pasteboard::general().clear(); }
  void TearDown() override { kit::Pasteboard::general().clear(); }
  void writeRecord(const kit::Value& v) {
    ASSERT_TRUE(kit::plist::writeFile(kit::AppPaths::temporary() + "/Quillmere.clipboard", v));
  }
  kit::TemporaryAppHome home_;
};

TEST_F(ClipboardFile, AssetReferencesOnlyForTheSameMapWithAssets) {
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID("MAP-1"));
  kit::Dictionary rec{{"MapID", kit::Value("MAP-1")}, {"Assets", kit::Value(kit::Array{kit::Value("A")})}};
  writeRecord(kit::Value(rec));
  EXPECT_TRUE(clipboardContainsReferencesToAssetsInMapID("MAP-1"));
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID("MAP-2"));
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID("map-1"));  // case matters
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID(""));

  rec["Assets"] = kit::Value(kit::Array{});
  writeRecord(kit::Value(rec));
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID("MAP-1"));

  rec["Assets"] = kit::Value(kit::Array{kit::Value("A")});
  rec["MapID"] = kit::Value("");
  writeRecord(kit::Value(rec));
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID(""));

  // A file that is not a dictionary, or not a property list at all.
  writeRecord(kit::Value(kit::Array{kit::Value("MAP-1")}));
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID("MAP-1"));
  std::ofstream(kit::AppPaths::temporary() + "/Quillmere.clipboard") << "<<garbage";
  EXPECT_FALSE(clipboardContainsReferencesToAssetsInMapID("MAP-1"));
}

TEST_F(ClipboardFile, SomethingToPaste) {
  auto& board = kit::Pasteboard::general();
  EXPECT_FALSE(clipboardContainsSomethingToPaste());

  // Our own type needs the clipboard file too.
  board.setValue(kit::Value(kit::Data{1, 2}), kTopicPasteboardType);
  EXPECT_FALSE(clipboardContainsSomethingToPaste());
  writeRecord(kit::Value(kit::Dictionary{{"MapID", kit::Value("M")}}));
  EXPECT_TRUE(clipboardContainsSomethingToPaste());

  board.setString("hello");
  EXPECT_TRUE(clipboardContainsSomethingToPaste());
  board.setData(kit::Data{0x89, 'P'}, kit::kPasteboardTypePNG);
  EXPECT_TRUE(clipboardContainsSomethingToPaste());
  board.setValue(kit::Value("x"), "public.rtf");
  EXPECT_FALSE(clipboardContainsSomethingToPaste());

  board.setURL("file:///tmp/Picture.JPEG");
  EXPECT_TRUE(clipboardContainsSomethingToPaste());
  board.setURL("https://example.org/a.gif");
  EXPECT_TRUE(clipboardContainsSomethingToPaste());
  board.setURL("https://example.org/page.html");
  EXPECT_FALSE(clipboardContainsSomethingToPaste());
  board.setURL("https://example.org/png");
  EXPECT_FALSE(clipboardContainsSomethingToPaste());
}

class FileTools : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = kit::AppPaths::documents() + "/backups"; fs::create_directories(dir_); }

  // A file whose modification time is `age` seconds in the past.
  void file(const std::string& name, int age) {
    std::string p = dir_ + "/" + name;
    std::ofstream(p) << name;
    struct timeval tv[2];
    time_t now = time(nullptr);
    tv[0] = {now - age, 0};
    tv[1] = {now - age, 0};
    ASSERT_EQ(utimes(p.c_str(), tv), 0);
  }
  std::vector<std::string> names(const kit::Array& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e["file"].string());
    return out;
  }

  kit::TemporaryAppHome home_;
  std::string dir_;
};

TEST_F(FileTools, ListingSortedByModificationDate) {
  file("b", 300);
  file("a", 100);
  file("c", 200);
  fs::create_directories(dir_ + "/sub");
  std::ofstream(dir_ + "/sub/deep") << "not listed";
  utime((dir_ + "/sub").c_str(), nullptr);
  auto oldest = getDirectoryListFor(dir_, true);
  EXPECT_EQ(names(oldest), (std::vector<std::string>{"b", "c", "a", "sub"}));
  auto newest = getDirectoryListFor(dir_, false);
  EXPECT_EQ(names(newest), (std::vector<std::string>{"sub", "a", "c", "b"}));
  EXPECT_TRUE(oldest[0]["attributes"][kFileModificationDate].isDate());
  EXPECT_EQ(oldest[3]["attributes"][kFileType].string(), "directory");
  EXPECT_EQ(oldest[0]["attributes"][kFileSize].integerValue(), 1);
  EXPECT_TRUE(getDirectoryListFor(dir_ + "/missing", true).empty());
}

TEST_F(FileTools, PurgeKeepsTheNewest) {
  for (int i = 0; i < 5; ++i) file("f" + std::to_string(i), 1000 - i * 100);  // f0 oldest
  purgeOldFilesFrom(dir_, 0);
  purgeOldFilesFrom(dir_, -3);
  EXPECT_EQ(getDirectoryListFor(dir_, true).size(), 5u);
  purgeOldFilesFrom(dir_, 5);
  EXPECT_EQ(getDirectoryListFor(dir_, true).size(), 5u);
  purgeOldFilesFrom(dir_, 2);
  EXPECT_EQ(names(getDirectoryListFor(dir_, true)), (std::vector<std::string>{"f3", "f4"}));
}

TEST_F(FileTools, PurgeNeverDeletesOutsideOwnFolders) {
  // A folder outside the application's, reached directly or through a link inside Documents.
  fs::path outside = fs::path(home_.path()).parent_path() / ("quill-outside-" + std::to_string(getpid()));
  fs::create_directories(outside);
  for (int i = 0; i < 3; ++i) std::ofstream(outside / std::to_string(i)) << i;
  purgeOldFilesFrom(outside.string(), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 3);
  fs::create_directory_symlink(outside, kit::AppPaths::documents() + "/link");
  purgeOldFilesFrom(kit::AppPaths::documents() + "/link", 1);
  purgeOldFilesFrom(kit::AppPaths::documents() + "/../../" + outside.filename().string(), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 3);
  fs::remove_all(outside);
}

TEST_F(FileTools, ZipRoundTripAndSHA1) {
  file("one.txt", 10);
  fs::create_directories(dir_ + "/inner");
  std::ofstream(dir_ + "/inner/two.txt") << "two";
  std::string zip = kit::AppPaths::temporary() + "/backup.zip";
  ASSERT_TRUE(zipContentsOfDirectory(dir_ + "/", zip));
  std::string out = kit::AppPaths::temporary() + "/restored/here";
  ASSERT_TRUE(unzipFile(zip, out));
  EXPECT_EQ(getSHA1Hash(out + "/inner/two.txt"), getSHA1Hash(dir_ + "/inner/two.txt"));
  EXPECT_EQ(*getSHA1Hash(out + "/inner/two.txt"), "ad782ecdac770fc6eb9a62e44f90873fb97fb26b");
  EXPECT_FALSE(getSHA1Hash(out + "/nothing"));
  EXPECT_FALSE(unzipFile(out + "/one.txt", out + "/x"));
}
