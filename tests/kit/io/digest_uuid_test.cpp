#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>

#include "kit/io/sha1.h"
#include "kit/io/uuid.h"

namespace fs = std::filesystem;

TEST(Sha1, KnownDigestsInLowerCaseHex) {
  EXPECT_EQ(kit::sha1Hex(std::string_view("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(kit::sha1Hex(std::string_view("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
  kit::Data d = {'a', 'b', 'c'};
  EXPECT_EQ(kit::sha1Hex(d), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(Sha1, FileDigestMatchesDataAndMissingFileFails) {
  fs::path p = fs::temp_directory_path() / ("quill-sha1-" + std::to_string(::getpid()));
  std::string big(300000, 'q');  // longer than one read
  big[123456] = '\0';
  std::ofstream(p, std::ios::binary) << big;
  auto h = kit::sha1HexOfFile(p.string());
  ASSERT_TRUE(h);
  EXPECT_EQ(*h, kit::sha1Hex(std::string_view(big)));
  fs::remove(p);
  EXPECT_FALSE(kit::sha1HexOfFile(p.string()));
  EXPECT_FALSE(kit::sha1HexOfFile(fs::temp_directory_path().string()));  // a folder
}

TEST(Uuid, FreshUpperCaseTextOfThirtySixCharacters) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string u = kit::newUUIDString();
    ASSERT_EQ(u.size(), 36u);
    for (std::size_t j = 0; j < u.size(); ++j) {
      if (j == 8 || j == 13 || j == 18 || j == 23) {
        EXPECT_EQ(u[j], '-');
      } else {
        EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(u[j])) && !std::islower(static_cast<unsigned char>(u[j])));
      }
    }
    EXPECT_EQ(u[14], '4');  // random version
    seen.insert(u);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(Uuid, ParseAcceptsEitherCaseAndRejectsOtherShapes) {
  auto a = kit::parseUUID("0123ABCD-4567-89EF-0123-456789ABCDEF");
  auto b = kit::parseUUID("0123abcd-4567-89ef-0123-456789abcdef");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  EXPECT_EQ((*a)[0], 0x01);
  EXPECT_EQ((*a)[15], 0xEF);
  EXPECT_FALSE(kit::parseUUID(""));
  EXPECT_FALSE(kit::parseUUID("0123ABCD-4567-89EF-0123-456789ABCDE"));
  EXPECT_FALSE(kit::parseUUID("0123ABCD-4567-89EF-0123-456789ABCDEFF"));
  EXPECT_FALSE(kit::parseUUID("0123ABCDX4567-89EF-0123-456789ABCDEF"));
  EXPECT_FALSE(kit::parseUUID(std::string_view("0123ABCD-4567-89EF-0123-456789ABCD\0F", 36)));
  EXPECT_FALSE(kit::parseUUID("G123ABCD-4567-89EF-0123-456789ABCDEF"));
}
