#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "helpers/compression.h"
#include "kit/testing/app_home.h"

using kit::Data;
namespace fs = std::filesystem;

namespace {

Data bytesOf(std::string_view s) { return Data(s.begin(), s.end()); }

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string field(const Data& archive, std::size_t offset, std::size_t length) {
  return std::string(archive.begin() + static_cast<long>(offset), archive.begin() + static_cast<long>(offset + length));
}

Data build(const kit::Dictionary& files) {
  auto archive = data::buildTarWith(files);
  EXPECT_TRUE(archive);
  return archive.value_or(Data{});
}

// A header block with just a name, a type flag and an octal size; the rest zero.
Data headerBlock(std::string_view name, char type, std::string_view size) {
  Data block(512, 0);
  std::copy(name.begin(), name.end(), block.begin());
  std::copy(size.begin(), size.end(), block.begin() + 124);
  block[156] = static_cast<std::uint8_t>(type);
  return block;
}

void append(Data& to, const Data& more) { to.insert(to.end(), more.begin(), more.end()); }

}  // namespace

// ---- Writing ----

TEST(TarWriter, LaysOutOneEntryAsTheUstarHeaderTableSays) {
  const Data archive = build({{"a.txt", Data{'a', 'b', 'c'}}});
  ASSERT_EQ(archive.size(), 2048u);
  EXPECT_EQ(field(archive, 0, 6), std::string("a.txt\0", 6));
  EXPECT_EQ(field(archive, 100, 8), std::string("0000644\0", 8));
  EXPECT_EQ(field(archive, 108, 8), std::string("0000000\0", 8));
  EXPECT_EQ(field(archive, 116, 8), std::string("0000000\0", 8));
  EXPECT_EQ(field(archive, 124, 8), std::string("0000003\0", 8));
  EXPECT_EQ(field(archive, 136, 12), std::string("00000000000\0", 12));
  EXPECT_EQ(archive[156], '0');
  EXPECT_EQ(field(archive, 257, 8), std::string("ustar\0\0\0", 8));  // version bytes are zero, not "00"
  EXPECT_EQ(field(archive, 265, 10), std::string("Quillmere\0", 10));
  EXPECT_EQ(field(archive, 297, 10), std::string("Quillmere\0", 10));
  EXPECT_EQ(field(archive, 512, 4), std::string("abc\0", 4));
  for (std::size_t i = 1024; i < 2048; ++i) ASSERT_EQ(archive[i], 0) << i;

  // Checksum: six octal digits, NUL, blank; the sum with the field counted as eight blanks.
  EXPECT_EQ(archive[154], 0);
  EXPECT_EQ(archive[155], ' ');
  unsigned sum = 0;
  for (std::size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : archive[i];
  EXPECT_EQ(std::strtoul(field(archive, 148, 6).c_str(), nullptr, 8), sum);
}

TEST(TarWriter, PadsDataToWholeBlocksOnly) {
  EXPECT_EQ(build({{"x", Data(512, 7)}}).size(), 512u + 512u + 1024u);
  EXPECT_EQ(build({{"x", Data(513, 7)}}).size(), 512u + 1024u + 1024u);
  EXPECT_EQ(build({{"x", Data{}}}).size(), 512u + 1024u);
  const Data empty = build({});
  EXPECT_EQ(empty, Data(1024, 0));
}

TEST(TarWriter, RefusesEntriesItCannotWriteFaithfully) {
  EXPECT_FALSE(data::buildTarWith({{std::string(100, 'n'), Data{1}}}));
  EXPECT_TRUE(data::buildTarWith({{std::string(99, 'n'), Data{1}}}));
  EXPECT_FALSE(data::buildTarWith({{"", Data{1}}}));
  EXPECT_FALSE(data::buildTarWith({{"text", kit::Value("not data")}}));
  EXPECT_FALSE(data::buildTarWith({{std::string("a\0b", 3), Data{1}}}));
}

TEST(TarWriter, ArchivesAreReadableByTheSystemTar) {
  if (std::system("tar --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no tar";
  kit::TemporaryAppHome home;
  const std::string archivePath = home.path() + "/out.tar";
  const Data archive = build({{"dir/one.txt", bytesOf("first")}, {"two.bin", Data(1000, 0xAB)}});
  std::ofstream(archivePath, std::ios::binary)
      .write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
  ASSERT_EQ(std::system(("cd '" + home.path() + "' && tar -xf out.tar 2>/dev/null").c_str()), 0);
  EXPECT_EQ(readAll(home.path() + "/dir/one.txt"), "first");
  EXPECT_EQ(readAll(home.path() + "/two.bin"), std::string(1000, '\xAB'));
}

// ---- Reading ----

TEST(TarExtract, RecreatesEveryNonEmptyEntryAndCountsThem) {
  kit::TemporaryAppHome home;
  const std::string target = home.path() + "/out";
  const Data archive = build({{"Document.xml", bytesOf("<doc/>")},
                              {"Images/deep/pic.png", Data(700, 3)},
                              {"empty.txt", Data{}}});
  EXPECT_EQ(data::extractTarredFilesTo(archive, target), 2);
  EXPECT_EQ(readAll(target + "/Document.xml"), "<doc/>");
  EXPECT_EQ(readAll(target + "/Images/deep/pic.png"), std::string(700, '\3'));
  EXPECT_FALSE(fs::exists(target + "/empty.txt"));
}

TEST(TarExtract, OverwritesExistingFilesWhole) {
  kit::TemporaryAppHome home;
  std::ofstream(home.path() + "/a.txt") << std::string(5000, 'o');
  EXPECT_EQ(data::extractTarredFilesTo(build({{"a.txt", bytesOf("new")}}), home.path()), 1);
  EXPECT_EQ(readAll(home.path() + "/a.txt"), "new");
}

TEST(TarExtract, RefusesBuffersThatAreNotWholeBlocks) {
  kit::TemporaryAppHome home;
  Data archive = build({{"a.txt", bytesOf("abc")}});
  archive.push_back(0);
  EXPECT_EQ(data::extractTarredFilesTo(archive, home.path()), 0);
  EXPECT_FALSE(fs::exists(home.path() + "/a.txt"));
  EXPECT_FALSE(data::extractTarredFile(archive, "a.txt"));
  EXPECT_EQ(data::extractTarredFilesTo(Data{}, home.path()), 0);
  EXPECT_FALSE(data::extractTarredFile(Data{}, "a.txt"));
}

TEST(TarExtract, WritesOnlyRegularFileEntries) {
  kit::TemporaryAppHome home;
  Data archive;
  append(archive, headerBlock("folder/", '5', "0"));
  append(archive, headerBlock("link", '2', "0"));
  Data oldStyle = headerBlock("old.txt", '\0', "3");  // pre-POSIX regular file: not written
  append(archive, oldStyle);
  append(archive, Data(512, 'x'));
  append(archive, headerBlock("real.txt", '0', "00000000002"));
  Data payload(512, 0);
  payload[0] = 'o';
  payload[1] = 'k';
  append(archive, payload);
  append(archive, Data(1024, 0));
  EXPECT_EQ(data::extractTarredFilesTo(archive, home.path()), 1);
  EXPECT_EQ(readAll(home.path() + "/real.txt"), "ok");
  EXPECT_FALSE(fs::exists(home.path() + "/old.txt"));
  EXPECT_FALSE(fs::exists(home.path() + "/link"));
}

TEST(TarExtract, StopsAtAnEntryWhoseBytesRunPastTheEnd) {
  kit::TemporaryAppHome home;
  Data archive = build({{"a.txt", bytesOf("first")}});
  archive.resize(archive.size() - 1024);  // drop the end blocks
  append(archive, headerBlock("b.txt", '0', "77777777777"));
  append(archive, Data(512, 'b'));
  EXPECT_EQ(data::extractTarredFilesTo(archive, home.path()), 1);
  EXPECT_TRUE(fs::exists(home.path() + "/a.txt"));
  EXPECT_FALSE(fs::exists(home.path() + "/b.txt"));
  EXPECT_FALSE(data::extractTarredFile(archive, "b.txt"));
  EXPECT_EQ(data::extractTarredFile(archive, "a.txt"), bytesOf("first"));

  // Size one byte more than the block that follows.
  Data truncated = headerBlock("c.txt", '0', "1001");
  append(truncated, Data(512, 'c'));
  EXPECT_EQ(data::extractTarredFilesTo(truncated, home.path()), 0);
  EXPECT_FALSE(data::extractTarredFile(truncated, "c.txt"));
}

TEST(TarExtractSafety, NeverWritesOutsideTheTargetFolder) {
  kit::TemporaryAppHome home;
  const std::string target = home.path() + "/inside";
  fs::create_directories(target);
  const Data archive = build({{"/" + home.path().substr(1) + "/absolute.txt", bytesOf("x")},
                              {"../escaped.txt", bytesOf("x")},
                              {"sub/../../escaped2.txt", bytesOf("x")},
                              {"..", bytesOf("x")},
                              {"sub/..", bytesOf("x")},
                              {"sub/", bytesOf("x")},
                              {"ok/../fine.txt", bytesOf("x")},
                              {"safe.txt", bytesOf("safe")}});
  EXPECT_EQ(data::extractTarredFilesTo(archive, target), 1);
  EXPECT_EQ(readAll(target + "/safe.txt"), "safe");
  EXPECT_FALSE(fs::exists(home.path() + "/absolute.txt"));
  EXPECT_FALSE(fs::exists(home.path() + "/escaped.txt"));
  EXPECT_FALSE(fs::exists(home.path() + "/escaped2.txt"));
  EXPECT_FALSE(fs::exists(target + "/fine.txt"));
  std::size_t items = 0;
  for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(home.path())) ++items;
  EXPECT_EQ(items, 2u);  // inside/ and inside/safe.txt
}

TEST(TarExtractSafety, DoesNotFollowALinkInsideTheFolderToTheOutside) {
  kit::TemporaryAppHome home;
  const std::string target = home.path() + "/inside";
  const std::string outside = home.path() + "/outside";
  fs::create_directories(target);
  fs::create_directories(outside);
  fs::create_directory_symlink(outside, target + "/door");
  const Data archive = build({{"door/planted.txt", bytesOf("x")}, {"door/deeper/planted.txt", bytesOf("x")}});
  EXPECT_EQ(data::extractTarredFilesTo(archive, target), 0);
  EXPECT_FALSE(fs::exists(outside + "/planted.txt"));
  EXPECT_FALSE(fs::exists(outside + "/deeper"));
}

TEST(TarExtractSafety, SkipsNamesThatAreNotUTF8) {
  kit::TemporaryAppHome home;
  Data archive = headerBlock("bad\xff.txt", '0', "1");
  append(archive, Data(512, 'b'));
  append(archive, Data(1024, 0));
  EXPECT_EQ(data::extractTarredFilesTo(archive, home.path()), 0);
}

TEST(TarFindEntry, ReturnsTheFirstExactNonEmptyMatch) {
  Data archive = headerBlock("Doc.xml", '0', "0");  // empty entry of the same name is passed
  Data first = build({{"Doc.xml", bytesOf("first")}, {"doc.xml", bytesOf("lower")}});
  first.resize(first.size() - 1024);
  append(archive, first);
  Data second = build({{"Doc.xml", bytesOf("second")}});
  append(archive, second);
  EXPECT_EQ(data::extractTarredFile(archive, "Doc.xml"), bytesOf("first"));
  EXPECT_EQ(data::extractTarredFile(archive, "doc.xml"), bytesOf("lower"));
  EXPECT_FALSE(data::extractTarredFile(archive, "DOC.XML"));
  EXPECT_FALSE(data::extractTarredFile(archive, "Doc"));
  EXPECT_FALSE(data::extractTarredFile(archive, ""));
}

TEST(TarFindEntry, MatchesAnyTypeFlagAndFullHundredByteNames) {
  Data archive = headerBlock("folder-ish", '5', "2");
  Data payload(512, 0);
  payload[0] = 'h';
  payload[1] = 'i';
  append(archive, payload);
  const std::string longName(100, 'L');  // fills the field, no NUL
  append(archive, headerBlock(longName, '0', "2"));
  append(archive, payload);
  EXPECT_EQ(data::extractTarredFile(archive, "folder-ish"), bytesOf("hi"));
  EXPECT_EQ(data::extractTarredFile(archive, longName), bytesOf("hi"));
}

TEST(TarRoundTrip, ReadsArchivesOfTheSystemTar) {
  if (std::system("tar --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no tar";
  kit::TemporaryAppHome home;
  fs::create_directories(home.path() + "/src/sub");
  std::ofstream(home.path() + "/src/sub/a.txt") << "alpha";
  std::ofstream(home.path() + "/src/b.txt") << std::string(3000, 'b');
  ASSERT_EQ(std::system(("cd '" + home.path() + "/src' && tar --format=ustar -cf ../in.tar sub b.txt").c_str()), 0);
  std::ifstream in(home.path() + "/in.tar", std::ios::binary);
  const Data archive((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(data::extractTarredFile(archive, "sub/a.txt"), bytesOf("alpha"));
  EXPECT_EQ(data::extractTarredFilesTo(archive, home.path() + "/out"), 2);
  EXPECT_EQ(readAll(home.path() + "/out/b.txt"), std::string(3000, 'b'));
  EXPECT_EQ(readAll(home.path() + "/out/sub/a.txt"), "alpha");
}
