#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <minizip/zip.h>

#include "kit/io/zip.h"

namespace fs = std::filesystem;

namespace {

class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "quill-zip-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  static void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
  }
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // An archive written directly, so that entry names can be anything.
  static void rawArchive(const fs::path& zip, const std::vector<std::pair<std::string, std::string>>& entries) {
    zipFile zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr);
    for (const auto& [name, data] : entries) {
      zip_fileinfo info{};
      ASSERT_EQ(zipOpenNewFileInZip64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION, 0),
                ZIP_OK);
      ASSERT_EQ(zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
      ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
  }
  static std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(dir)) out.push_back(e.path().lexically_relative(dir).generic_string());
    std::sort(out.begin(), out.end());
    return out;
  }

  fs::path root_;
};

}  // namespace

TEST_F(ZipTest, RoundTripKeepsRelativeNamesAndContents) {
  fs::path src = root_ / "src";
  write(src / "a.txt", "alpha");
  write(src / "sub/deeper/b.bin", std::string("\0\x01\x02 binary", 10));
  write(src / "sub/empty.txt", "");
  fs::create_directories(src / "emptyfolder");
  ASSERT_TRUE(kit::zipDirectory(src.string() + "/", (root_ / "out.zip").string()));
  ASSERT_TRUE(kit::unzipFile((root_ / "out.zip").string(), (root_ / "new/nested/dest").string()));
  fs::path dst = root_ / "new/nested/dest";
  EXPECT_EQ(read(dst / "a.txt"), "alpha");
  EXPECT_EQ(read(dst / "sub/deeper/b.bin"), std::string("\0\x01\x02 binary", 10));
  EXPECT_TRUE(fs::exists(dst / "sub/empty.txt"));
  // Folders are not entries of their own: an empty one does not come back.
  EXPECT_FALSE(fs::exists(dst / "emptyfolder"));
  // No temporary files left behind.
  EXPECT_EQ(listing(root_ / "new/nested/dest"),
            (std::vector<std::string>{"a.txt", "sub", "sub/deeper", "sub/deeper/b.bin", "sub/empty.txt"}));
}

TEST_F(ZipTest, UnzipOverwritesExistingFiles) {
  fs::path src = root_ / "src";
  write(src / "x.txt", "new");
  ASSERT_TRUE(kit::zipDirectory(src.string(), (root_ / "a.zip").string()));
  write(root_ / "dest/x.txt", "old contents that are longer");
  write(root_ / "dest/keep.txt", "kept");
  ASSERT_TRUE(kit::unzipFile((root_ / "a.zip").string(), (root_ / "dest").string()));
  EXPECT_EQ(read(root_ / "dest/x.txt"), "new");
  EXPECT_EQ(read(root_ / "dest/keep.txt"), "kept");
}

TEST_F(ZipTest, ArchiveInsideTheZippedFolderIsNotZippedIntoItself) {
  fs::path src = root_ / "src";
  write(src / "x.txt", "x");
  write(src / "self.zip", "an older archive");
  ASSERT_TRUE(kit::zipDirectory(src.string(), (src / "self.zip").string()));
  ASSERT_TRUE(kit::unzipFile((src / "self.zip").string(), (root_ / "dest").string()));
  EXPECT_EQ(listing(root_ / "dest"), std::vector<std::string>{"x.txt"});
}

TEST_F(ZipTest, ZipOfMissingFolderWritesNothingAndKeepsOldArchive) {
  write(root_ / "old.zip", "previous");
  EXPECT_FALSE(kit::zipDirectory((root_ / "nope").string(), (root_ / "old.zip").string()));
  EXPECT_EQ(read(root_ / "old.zip"), "previous");
  EXPECT_FALSE(kit::zipDirectory((root_ / "nope").string(), (root_ / "none.zip").string()));
  EXPECT_FALSE(fs::exists(root_ / "none.zip"));
  write(root_ / "src/a", "a");
  EXPECT_FALSE(kit::zipDirectory((root_ / "src").string(), (root_ / "no/such/folder/x.zip").string()));
}

TEST_F(ZipTest, ZipSkipsSymbolicLinks) {
  write(root_ / "secret.txt", "outside");
  write(root_ / "src/a.txt", "a");
  fs::create_symlink(root_ / "secret.txt", root_ / "src/link.txt");
  fs::create_directory_symlink(root_, root_ / "src/loop");
  ASSERT_TRUE(kit::zipDirectory((root_ / "src").string(), (root_ / "a.zip").string()));
  ASSERT_TRUE(kit::unzipFile((root_ / "a.zip").string(), (root_ / "dest").string()));
  EXPECT_EQ(listing(root_ / "dest"), std::vector<std::string>{"a.txt"});
}

TEST_F(ZipTest, EntriesEscapingTheFolderAreRefused) {
  const std::vector<std::string> evil = {"../escaped.txt", "/tmp/absolute-quill-escape.txt", "a/../../escaped.txt",
                                         "..\\escaped.txt", "a\\..\\..\\escaped.txt", "C:/escaped.txt"};
  for (const std::string& name : evil) {
    SCOPED_TRACE(name);
    fs::path zip = root_ / "evil.zip";
    rawArchive(zip, {{"fine.txt", "fine"}, {name, "pwned"}});
    fs::path dest = root_ / "box/dest";
    EXPECT_FALSE(kit::unzipFile(zip.string(), dest.string()));
    EXPECT_FALSE(fs::exists(root_ / "box/escaped.txt"));
    EXPECT_FALSE(fs::exists(root_ / "escaped.txt"));
    EXPECT_FALSE(fs::exists("/tmp/absolute-quill-escape.txt"));
    // Refused as a whole: not even the harmless entry is written.
    EXPECT_FALSE(fs::exists(dest / "fine.txt"));
  }
}

TEST_F(ZipTest, DotsInsideNamesAreFine) {
  fs::path zip = root_ / "ok.zip";
  rawArchive(zip, {{"./a..b/..c.txt", "dots"}, {"dir/", ""}});
  ASSERT_TRUE(kit::unzipFile(zip.string(), (root_ / "dest").string()));
  EXPECT_EQ(read(root_ / "dest/a..b/..c.txt"), "dots");
  EXPECT_TRUE(fs::is_directory(root_ / "dest/dir"));
}

TEST_F(ZipTest, EntriesThroughSymbolicLinksAreRefused) {
  fs::create_directories(root_ / "outside");
  fs::create_directories(root_ / "dest");
  fs::create_directory_symlink(root_ / "outside", root_ / "dest/link");
  fs::path zip = root_ / "evil.zip";
  rawArchive(zip, {{"link/planted.txt", "pwned"}});
  EXPECT_FALSE(kit::unzipFile(zip.string(), (root_ / "dest").string()));
  EXPECT_FALSE(fs::exists(root_ / "outside/planted.txt"));
}

TEST_F(ZipTest, FileNamedLikeALinkReplacesTheLinkNotItsTarget) {
  write(root_ / "outside.txt", "untouched");
  fs::create_directories(root_ / "dest");
  fs::create_symlink(root_ / "outside.txt", root_ / "dest/f.txt");
  fs::path zip = root_ / "a.zip";
  rawArchive(zip, {{"f.txt", "inside"}});
  ASSERT_TRUE(kit::unzipFile(zip.string(), (root_ / "dest").string()));
  EXPECT_EQ(read(root_ / "outside.txt"), "untouched");
  EXPECT_FALSE(fs::is_symlink(root_ / "dest/f.txt"));
  EXPECT_EQ(read(root_ / "dest/f.txt"), "inside");
}

TEST_F(ZipTest, DamagedArchivesFailCleanly) {
  // Not a zip at all, empty, missing.
  write(root_ / "junk.zip", "this is not an archive");
  write(root_ / "empty.zip", "");
  EXPECT_FALSE(kit::unzipFile((root_ / "junk.zip").string(), (root_ / "d1").string()));
  EXPECT_FALSE(kit::unzipFile((root_ / "empty.zip").string(), (root_ / "d1").string()));
  EXPECT_FALSE(kit::unzipFile((root_ / "missing.zip").string(), (root_ / "d1").string()));
  EXPECT_FALSE(fs::exists(root_ / "d1"));

  // Truncated in the middle.
  std::string big;
  for (int i = 0; i < 20000; ++i) big += std::to_string(i * 7919 % 104729) + ",";
  rawArchive(root_ / "good.zip", {{"data.txt", big}});
  std::string bytes = read(root_ / "good.zip");
  write(root_ / "cut.zip", bytes.substr(0, bytes.size() / 2));
  EXPECT_FALSE(kit::unzipFile((root_ / "cut.zip").string(), (root_ / "d2").string()));

  // Compressed data flipped: the old file stays as it was, no temporary file is left.
  std::string bad = bytes;
  for (std::size_t i = 200; i < 260; ++i) bad[i] = static_cast<char>(bad[i] ^ 0x5A);
  write(root_ / "bad.zip", bad);
  write(root_ / "d3/data.txt", "previous");
  EXPECT_FALSE(kit::unzipFile((root_ / "bad.zip").string(), (root_ / "d3").string()));
  EXPECT_EQ(read(root_ / "d3/data.txt"), "previous");
  EXPECT_EQ(listing(root_ / "d3"), std::vector<std::string>{"data.txt"});

  // Every single-byte truncation of a small archive is refused or extracts intact data.
  rawArchive(root_ / "small.zip", {{"s.txt", "small contents"}});
  std::string small = read(root_ / "small.zip");
  for (std::size_t n = 0; n < small.size(); n += 7) {
    write(root_ / "t.zip", small.substr(0, n));
    fs::path d = root_ / ("t" + std::to_string(n));
    if (kit::unzipFile((root_ / "t.zip").string(), d.string()) && fs::exists(d / "s.txt")) {
      EXPECT_EQ(read(d / "s.txt"), "small contents");
    }
  }
}
