#include "helpers/global_helpers_file_formats.h"

#include <gtest/gtest.h>

#include <set>

#include "kit/core/user_defaults.h"
#include "kit/testing/fixtures.h"

namespace {

namespace GH = GlobalHelpers;

const std::vector<int> kImportable = {3, 4, 5, 8, 9, 13, 14, 15, 20, 22, 23, 24, 25, 26, 29, 30};

// --- Numbers ------------------------------------------------------------------------------

TEST(FileFormatNumbers, SupportedAndImportable) {
  for (int f = -40; f <= 70; ++f) {
    EXPECT_EQ(GH::isSupportedFormat(f), f >= 1 && f <= 32) << f;
    const bool importable = std::find(kImportable.begin(), kImportable.end(), f) != kImportable.end();
    EXPECT_EQ(GH::canImportFormat(f), importable) << f;
  }
  EXPECT_FALSE(GH::canImportFormat(std::numeric_limits<int>::min()));
  EXPECT_FALSE(GH::canImportFormat(std::numeric_limits<int>::max()));
}

TEST(FileFormatNumbers, Extensions) {
  EXPECT_EQ(GH::getPublicExtensionForFileType(1), "?");
  EXPECT_EQ(GH::getLocalExtensionForFileType(1), "mm_8");
  for (int f : {0, 2, 33, -1}) {
    EXPECT_EQ(GH::getPublicExtensionForFileType(f), "?") << f;
    EXPECT_EQ(GH::getLocalExtensionForFileType(f), "?") << f;
  }
  EXPECT_EQ(GH::getLocalExtensionForFileType(11), "mmap_8");
  EXPECT_EQ(GH::getPublicExtensionForFileType(31), "markdown");
  EXPECT_EQ(GH::getPublicFilenameFor("Plan", 23), "Plan.qlmz");
  EXPECT_EQ(GH::getPublicFilenameFor("Plan", 2), "Plan.?");
  // A path extension: trailing slashes go, a point already there stays, the root takes none.
  EXPECT_EQ(GH::getPublicFilenameFor("maps/Plan//", 4), "maps/Plan.opml");
  EXPECT_EQ(GH::getPublicFilenameFor("Plan.", 4), "Plan..opml");
  EXPECT_EQ(GH::getPublicFilenameFor("/", 4), "");
  EXPECT_EQ(GH::getPublicFilenameFor("", 4), "");
}

TEST(FileFormatNumbers, EveryPublicExtensionNamesItsOwnNumber) {
  for (int f = 1; f <= 32; ++f) {
    const std::string ext = GH::getPublicExtensionForFileType(f);
    if (ext == "?") continue;
    EXPECT_EQ(GH::getFileTypeFromName("x." + ext), f) << ext;
  }
}

// --- File names ---------------------------------------------------------------------------

TEST(FileFormatNames, TypeFromTheWholeExtension) {
  EXPECT_EQ(GH::getFileTypeFromName("Map.QLMZ"), 23);
  EXPECT_EQ(GH::getFileTypeFromName("/maps/Map.Qlm"), 3);
  EXPECT_EQ(GH::getFileTypeFromName("archive.tar.gz"), 0);
  EXPECT_EQ(GH::getFileTypeFromName("README"), 0);
  EXPECT_EQ(GH::getFileTypeFromName(""), 0);
  EXPECT_EQ(GH::getFileTypeFromName("map.mmap"), 26);  // not "mm"
  EXPECT_EQ(GH::getFileTypeFromName("map.mm"), 29);
  EXPECT_EQ(GH::getFileTypeFromName("map.qlmzz"), 0);
  EXPECT_EQ(GH::getFileTypeFromName("folder.qlm/plan"), 0);
  EXPECT_EQ(GH::getUnambiguousFileTypeFromName("a.opml"), 4);
  EXPECT_EQ(GH::getFileTypeFromName("notes.TXT"), 24);
  EXPECT_TRUE(GH::canImportFile("notes.TXT"));
  EXPECT_EQ(GH::getFileTypeFromName("tasks.csv"), 27);
  EXPECT_FALSE(GH::canImportFile("tasks.csv"));
  EXPECT_FALSE(GH::canImportFile("picture.png"));
}

TEST(FileFormatNames, MapNameFromPath) {
  EXPECT_EQ(GH::getMapNameFromPath("D:\\Maps\\Plan.mm"), "Plan");
  EXPECT_EQ(GH::getMapNameFromPath("/home/me/Plan.v2.qlmz"), "Plan.v2");
  EXPECT_EQ(GH::getMapNameFromPath("Plan"), "Plan");
  // A point in a folder name is not the file's extension.
  EXPECT_EQ(GH::getMapNameFromPath("D:\\My.Maps\\Plan"), "Plan");
  EXPECT_EQ(GH::getMapNameFromPath("/my.maps/Plan"), "Plan");
  EXPECT_EQ(GH::getMapNameFromPath(""), "");
}

// --- Lists --------------------------------------------------------------------------------

TEST(FileFormatLists, SupportedAndImportable) {
  const auto supported = GH::getSupportedFormats();
  ASSERT_EQ(supported.size(), 32u);
  EXPECT_EQ(supported.front(), 1);
  EXPECT_EQ(supported.back(), 32);
  EXPECT_EQ(GH::getImportableFormats(), kImportable);

  const auto qlmzFirst = GH::getImportableFormatsStartingWithQLMZ();
  ASSERT_EQ(qlmzFirst.size(), kImportable.size());
  EXPECT_EQ(std::vector<int>(qlmzFirst.begin(), qlmzFirst.begin() + 5),
            (std::vector<int>{23, 3, 4, 5, 8}));
  EXPECT_EQ(std::count(qlmzFirst.begin(), qlmzFirst.end(), 23), 1);
}

TEST(FileFormatLists, FilteringKeepsTheGivenOrder) {
  EXPECT_EQ(GH::getImportableFormatsIn({29, 12, 3, 0, 3, 31, 23}), (std::vector<int>{29, 3, 3, 23}));
  EXPECT_EQ(GH::getImportableFormatsStartingWithQLMZIn({29, 23, 12, 3, 23}),
            (std::vector<int>{23, 23, 29, 3}));
  EXPECT_TRUE(GH::getImportableFormatsIn({}).empty());
  EXPECT_EQ(GH::getExtensionsForImportableFormatsIn({18, 29, 4}),
            (std::vector<std::string>{"mm", "opml"}));
  EXPECT_EQ(GH::getExtensionsForImportableFormatsStartingWithQLMZIn({4, 23}),
            (std::vector<std::string>{"qlmz", "opml"}));
}

TEST(FileFormatLists, ExtensionLists) {
  const auto all = GH::getExtensionsForSupportedFormats();
  ASSERT_EQ(all.size(), 32u);
  const std::set<int> without = {1, 2, 6, 7, 10, 11, 16, 17, 19, 21, 32};
  for (int f = 1; f <= 32; ++f) EXPECT_EQ(all[f - 1] == "?", without.count(f) == 1) << f;
  EXPECT_EQ(GH::getExtensionsForFormats({0, 12, 99}), (std::vector<std::string>{"?", "png", "?"}));
  EXPECT_EQ(GH::getExtensionsForImportableFormats().size(), kImportable.size());
  EXPECT_EQ(GH::getExtensionsForImportableFormatsStartingWithQLMZ().front(), "qlmz");
}

// --- Descriptions -------------------------------------------------------------------------

class FileFormatDescriptions : public kit::AppHomeTest {};

TEST_F(FileFormatDescriptions, KeysAsTheyStand) {
  EXPECT_EQ(GH::getMapFormatDescription(15), "Mindview 3 / 4  (.mvdx)");
  EXPECT_EQ(GH::getMapFormatDescription(23), "Quillmere (.qlmz)");
  EXPECT_EQ(GH::getMapFormatDescription(31), "Markdown (.markdown)");
  for (int f : {-1, 0, 1, 2, 6, 24, 28, 32, 33}) EXPECT_EQ(GH::getMapFormatDescription(f), "") << f;
}

TEST_F(FileFormatDescriptions, PngWithHtmlWhenTheSettingIsPresentWhateverItsValue) {
  auto& defaults = kit::UserDefaults::standard();
  defaults.removeObjectForKey("export_options_png_include_html_map");
  EXPECT_EQ(GH::getMapFormatDescription(12), "Image (.png)");
  defaults.setBool("export_options_png_include_html_map", false);
  EXPECT_EQ(GH::getMapFormatDescription(12), "Image (.png) + HTML");
  defaults.removeObjectForKey("export_options_png_include_html_map");
  defaults.registerDefaults({{"export_options_png_include_html_map", kit::Value(false)}});
  EXPECT_EQ(GH::getMapFormatDescription(12), "Image (.png) + HTML");
}

}  // namespace
