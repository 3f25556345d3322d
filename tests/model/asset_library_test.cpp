#include "model/asset_library.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "helpers/global_helpers_identifiers.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/graphics/image_context.h"
#include "kit/io/plist.h"
#include "kit/io/sha1.h"
#include "kit/io/uuid.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/pasteboard.h"

namespace {

namespace fs = std::filesystem;

// An opaque black picture, so that rounded corners show as transparent pixels.
kit::ImageRef opaqueImage(float w, float h) {
  auto ic = kit::ImageContext::create(kit::Size(w, h), true);
  return ic ? ic->image() : nullptr;
}

std::vector<std::uint8_t> pngBytes(float w, float h) { return *opaqueImage(w, h)->pngData(); }

int alphaAt(const kit::ImageRef& image, int x, int y) { return image->pixelAt(x, y).value_or(kit::Pixel{}).alpha; }

std::vector<std::string> namesIn(const std::string& folder) {
  return kit::FileManager::listDirectory(folder).value_or(std::vector<std::string>{});
}

void write(const std::string& path, std::string_view text) { ASSERT_TRUE(kit::FileManager::write(path, text)); }

// Points the resources folder at a folder of our own for the test's lifetime.
class ResourcesScope {
 public:
  explicit ResourcesScope(const std::string& folder) {
    if (const char* old = std::getenv("QUILL_RESOURCES")) previous_ = old;
    ::setenv("QUILL_RESOURCES", folder.c_str(), 1);
  }
  ~ResourcesScope() {
    if (previous_) ::setenv("QUILL_RESOURCES", previous_->c_str(), 1);
    else ::unsetenv("QUILL_RESOURCES");
  }

 private:
  std::optional<std::string> previous_;
};

class AssetLibraryTest : public kit::AppHomeTest {
 protected:
  AssetLibrary map_ = *AssetLibrary::assetLibraryForMap("11111111-2222-3333-4444-555555555555");
};

// A bundle with two built-in images, drawn here.
class BundleAssetTest : public AssetLibraryTest {
 protected:
  static constexpr const char* kCircle = "0A0A0A0A-0000-4000-8000-000000000001";
  static constexpr const char* kSquare = "0A0A0A0A-0000-4000-8000-000000000002";
  void SetUp() override {
    bundle_ = home_.path() + "/bundle";
    ASSERT_TRUE(kit::FileManager::createDirectories(bundle_ + "/image-assets"));
    ASSERT_TRUE(kit::FileManager::write(bundle_ + "/image-assets/" + kCircle + ".png", pngBytes(30, 30)));
    ASSERT_TRUE(kit::FileManager::write(bundle_ + "/image-assets/" + kSquare + ".png", pngBytes(40, 20)));
    resources_.emplace(bundle_);
  }
  std::string bundle_;
  std::optional<ResourcesScope> resources_;
};

}  // namespace

// ---- Naming and paths ------------------------------------------------------------------------

TEST_F(AssetLibraryTest, LibrariesLiveInTheirDocumentsFolders) {
  const std::string documents = kit::AppPaths::documents();
  EXPECT_EQ(AssetLibrary::systemAssetLibrary().getAssetFolder(), documents + "/assets");
  EXPECT_TRUE(AssetLibrary::systemAssetLibrary().isSystemAssetLibrary());
  EXPECT_EQ(map_.getAssetFolder(), documents + "/maps/11111111-2222-3333-4444-555555555555");
  EXPECT_FALSE(map_.isSystemAssetLibrary());
  EXPECT_EQ(map_.getPathForAsset("ID"), map_.getAssetFolder() + "/ID.png");
  EXPECT_EQ(map_.getPathForAssetThumbnail("ID"), map_.getAssetFolder() + "/ID.thumbnail.png");
}

TEST_F(AssetLibraryTest, MapIdsThatCouldLeaveTheMapsFolderGiveNoLibrary) {
  EXPECT_FALSE(AssetLibrary::assetLibraryForMap(""));
  EXPECT_FALSE(AssetLibrary::assetLibraryForMap(".."));
  EXPECT_FALSE(AssetLibrary::assetLibraryForMap("."));
  EXPECT_FALSE(AssetLibrary::assetLibraryForMap("../../x"));
  // A library made with such an id directly has no folder, so the clean-up cannot reach Documents.
  AssetLibrary unsafe("..");
  EXPECT_EQ(unsafe.getAssetFolder(), "");
  write(kit::AppPaths::documents() + "/keep.txt", "x");
  unsafe.consolidateAssets({});
  EXPECT_TRUE(kit::FileManager::exists(kit::AppPaths::documents() + "/keep.txt"));
}

TEST_F(AssetLibraryTest, AssetIdsWithASlashNameNoFile) {
  EXPECT_EQ(map_.getPathForAsset("../../secret"), "");
  EXPECT_EQ(map_.getPathForAsset(""), "");
  EXPECT_EQ(map_.newUIImageFor("../../secret"), nullptr);
  EXPECT_FALSE(map_.sha1ForAsset("../x"));
}

// ---- Storing -----------------------------------------------------------------------------------

TEST_F(AssetLibraryTest, ALargeImageIsReducedWithCappedCornersAndAThumbnail) {
  auto id = map_.saveAsset(opaqueImage(1000, 500));
  ASSERT_TRUE(id);
  EXPECT_TRUE(kit::parseUUID(*id));
  kit::ImageRef stored = kit::Image::fromFile(map_.getPathForAsset(*id));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->pixelWidth(), 360);
  EXPECT_EQ(stored->pixelHeight(), 180);
  // Corners of 15, not a quarter of 180 (45).
  EXPECT_EQ(alphaAt(stored, 0, 0), 0);
  EXPECT_LT(alphaAt(stored, 3, 3), 128);
  EXPECT_EQ(alphaAt(stored, 5, 5), 255);
  EXPECT_EQ(alphaAt(stored, 180, 90), 255);

  kit::ImageRef thumbnail = kit::Image::fromFile(map_.getPathForAssetThumbnail(*id));
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(thumbnail->pixelWidth(), 72);
  EXPECT_EQ(thumbnail->pixelHeight(), 36);
  // Corners of 4, not 9.
  EXPECT_LT(alphaAt(thumbnail, 0, 0), 128);
  EXPECT_EQ(alphaAt(thumbnail, 2, 2), 255);
}

TEST_F(AssetLibraryTest, ASmallImageKeepsItsSizeWithCornersOfAQuarterOfItsHeight) {
  auto id = map_.saveAsset(opaqueImage(20, 8));
  ASSERT_TRUE(id);
  for (const std::string& path : {map_.getPathForAsset(*id), map_.getPathForAssetThumbnail(*id)}) {
    kit::ImageRef image = kit::Image::fromFile(path);
    ASSERT_TRUE(image) << path;
    EXPECT_EQ(image->pixelWidth(), 20);
    EXPECT_EQ(image->pixelHeight(), 8);
    EXPECT_LT(alphaAt(image, 0, 0), 128);
    EXPECT_EQ(alphaAt(image, 1, 1), 255);
    EXPECT_EQ(alphaAt(image, 10, 0), 255);
  }
}

TEST_F(AssetLibraryTest, AThinImageKeepsOnePixelAcrossInItsCopyAndThumbnail) {
  auto id = map_.saveAsset(opaqueImage(2, 1000));
  ASSERT_TRUE(id);
  kit::ImageRef stored = kit::Image::fromFile(map_.getPathForAsset(*id));
  kit::ImageRef thumbnail = kit::Image::fromFile(map_.getPathForAssetThumbnail(*id));
  ASSERT_TRUE(stored && thumbnail);
  EXPECT_EQ(stored->pixelWidth(), 1);
  EXPECT_EQ(stored->pixelHeight(), 360);
  EXPECT_EQ(thumbnail->pixelWidth(), 1);
  EXPECT_EQ(thumbnail->pixelHeight(), 72);
  // A thumbnail made again on demand has the same size, and is kept for the next look-up.
  ASSERT_TRUE(kit::FileManager::remove(map_.getPathForAssetThumbnail(*id)));
  kit::ImageRef again = map_.newThumbnailUIImageFor(*id);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->pixelHeight(), 72);
  EXPECT_TRUE(kit::FileManager::exists(map_.getPathForAssetThumbnail(*id)));
}

TEST_F(AssetLibraryTest, EachStoredImageGetsANewId) {
  auto a = map_.saveAsset(opaqueImage(10, 10));
  auto b = map_.saveAsset(opaqueImage(10, 10));
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  // Equal pictures are told apart by id but recognised by their digest.
  EXPECT_EQ(map_.sha1ForAsset(*a), map_.sha1ForAsset(*b));
  EXPECT_EQ(map_.sha1ForAsset(*a), kit::sha1HexOfFile(map_.getPathForAsset(*a)));
}

TEST_F(AssetLibraryTest, NothingToStoreGivesNoId) {
  EXPECT_FALSE(map_.saveAsset(nullptr));
  EXPECT_FALSE(map_.saveImageAsset(home_.path() + "/missing.png"));
  write(home_.path() + "/damaged.png", "\x89PNG\r\n\x1a\nnot really");
  EXPECT_FALSE(map_.saveImageAsset(home_.path() + "/damaged.png"));
  EXPECT_EQ(map_.getImageAssets(false), std::vector<std::string>{});
}

TEST_F(AssetLibraryTest, AFailedWriteGivesNoIdAndLeavesNoFile) {
  // A file where the maps folder should be: the library folder cannot be made.
  write(kit::AppPaths::documents() + "/maps", "in the way");
  EXPECT_FALSE(map_.saveAsset(opaqueImage(10, 10)));
}

// ---- Loading ---------------------------------------------------------------------------------------

TEST_F(AssetLibraryTest, ADamagedAssetLoadsAsNothing) {
  kit::FileManager::createDirectories(map_.getAssetFolder());
  write(map_.getPathForAsset("BROKEN"), "not an image");
  EXPECT_EQ(map_.newUIImageFor("BROKEN"), nullptr);
  EXPECT_EQ(map_.newThumbnailUIImageFor("BROKEN"), nullptr);
  EXPECT_EQ(map_.newUIImageFor("MISSING"), nullptr);
}

TEST_F(AssetLibraryTest, AMissingOrDamagedThumbnailIsMadeAgain) {
  auto id = map_.saveAsset(opaqueImage(200, 100));
  ASSERT_TRUE(id);
  const std::string thumbnailPath = map_.getPathForAssetThumbnail(*id);
  ASSERT_TRUE(kit::FileManager::remove(thumbnailPath));
  kit::ImageRef thumbnail = map_.newThumbnailUIImageFor(*id);
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(thumbnail->pixelWidth(), 72);
  EXPECT_EQ(thumbnail->pixelHeight(), 36);
  EXPECT_TRUE(kit::Image::fromFile(thumbnailPath));

  write(thumbnailPath, "garbage");
  ASSERT_TRUE(map_.newThumbnailUIImageFor(*id));
  EXPECT_TRUE(kit::Image::fromFile(thumbnailPath));
}

TEST_F(BundleAssetTest, ABuiltInImageIsCopiedIntoTheMapOnFirstLoad) {
  EXPECT_TRUE(AssetLibrary::isBundleAsset(kCircle));
  EXPECT_FALSE(AssetLibrary::isBundleAsset("0A0A0A0A-0000-4000-8000-00000000FFFF"));
  kit::ImageRef image = map_.newUIImageFor(kCircle);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 30);
  EXPECT_TRUE(kit::FileManager::exists(map_.getPathForAsset(kCircle)));
}

TEST_F(BundleAssetTest, AnUnknownIdCreatesNothing) {
  EXPECT_EQ(map_.newUIImageFor("0A0A0A0A-0000-4000-8000-00000000FFFF"), nullptr);
  EXPECT_FALSE(kit::FileManager::exists(map_.getAssetFolder()));
}

TEST_F(BundleAssetTest, RecoveringCopiesEveryBuiltInImageOverDamagedCopies) {
  AssetLibrary system = AssetLibrary::systemAssetLibrary();
  system.createAssetFolder();
  write(system.getPathForAsset(kSquare), "damaged");
  AssetLibrary::recoverImagesFromBundle();
  ASSERT_TRUE(system.newUIImageFor(kCircle));
  kit::ImageRef square = kit::Image::fromFile(system.getPathForAsset(kSquare));
  ASSERT_TRUE(square);
  EXPECT_EQ(square->pixelWidth(), 40);
}

TEST_F(AssetLibraryTest, TheShippedImagesAreReadable) {
  // The real resources folder: every built-in image loads.
  auto names = kit::FileManager::listDirectory(kit::AppPaths::resource("image-assets"));
  ASSERT_TRUE(names);
  ASSERT_FALSE(names->empty());
  for (const std::string& name : *names) {
    ASSERT_EQ(name.size(), 40u) << name;  // "<UUID>.png"
    EXPECT_TRUE(kit::parseUUID(name.substr(0, 36))) << name;
    EXPECT_TRUE(map_.newUIImageFor(name.substr(0, 36))) << name;
  }
}

// ---- Pasteboard and import -----------------------------------------------------------------------

TEST_F(AssetLibraryTest, PastedImageDataIsStored) {
  kit::Pasteboard::general().setData(pngBytes(50, 50), kit::kPasteboardTypePNG);
  auto id = map_.saveClipboardAsAsset();
  ASSERT_TRUE(id);
  EXPECT_TRUE(kit::FileManager::exists(map_.getPathForAsset(*id)));
  kit::Pasteboard::general().clear();
}

TEST_F(AssetLibraryTest, APastedFileURLIsReadButNothingElse) {
  const std::string path = home_.path() + "/my picture.PNG";
  ASSERT_TRUE(kit::FileManager::write(path, pngBytes(12, 12)));
  kit::Pasteboard& board = kit::Pasteboard::general();
  board.setURL("file://" + home_.path() + "/my%20picture.PNG");
  EXPECT_TRUE(map_.saveClipboardAsAsset());
  board.setURL("http://example.com/picture.png");
  EXPECT_FALSE(map_.saveClipboardAsAsset());
  board.setURL("file://" + home_.path() + "/notes.txt");
  EXPECT_FALSE(map_.saveClipboardAsAsset());
  board.setString("just text");
  EXPECT_FALSE(map_.saveClipboardAsAsset());
  board.setData(kit::Data{1, 2, 3}, kit::kPasteboardTypeJPEG);
  EXPECT_FALSE(map_.saveClipboardAsAsset());
  board.clear();
}

TEST_F(AssetLibraryTest, ImportStoresPicturesAndRemovesTheDroppedFiles) {
  const std::string documents = kit::AppPaths::documents();
  ASSERT_TRUE(kit::FileManager::write(documents + "/photo.Png", pngBytes(30, 20)));
  write(documents + "/broken.jpg", "not a jpeg");
  write(documents + "/notes.txt", "keep me");
  kit::FileManager::createDirectories(documents + "/folder.png");
  map_.importAssetsFromiTunes();
  EXPECT_EQ(map_.getImageAssets(false).size(), 1u);
  EXPECT_FALSE(kit::FileManager::exists(documents + "/photo.Png"));
  EXPECT_FALSE(kit::FileManager::exists(documents + "/broken.jpg"));
  EXPECT_TRUE(kit::FileManager::exists(documents + "/notes.txt"));
  EXPECT_TRUE(kit::FileManager::isDirectory(documents + "/folder.png"));
}

TEST_F(AssetLibraryTest, ImportKeepsAPictureItCouldNotStore) {
  const std::string documents = kit::AppPaths::documents();
  ASSERT_TRUE(kit::FileManager::write(documents + "/photo.png", pngBytes(30, 20)));
  write(documents + "/maps", "in the way");
  map_.importAssetsFromiTunes();
  EXPECT_TRUE(kit::FileManager::exists(documents + "/photo.png"));
}

// ---- Listing and deleting ---------------------------------------------------------------------------

TEST_F(AssetLibraryTest, AnEmptyLibraryListsOnlyTheBlankChoice) {
  EXPECT_EQ(map_.getImageAssets(true), std::vector<std::string>{"<blank>"});
  EXPECT_EQ(map_.getImageAssets(false), std::vector<std::string>{});
}

TEST_F(AssetLibraryTest, ListingShowsImagesNewestFirstWithoutThumbnailsOrOtherFiles) {
  auto older = map_.saveAsset(opaqueImage(10, 10));
  auto newer = map_.saveAsset(opaqueImage(10, 10));
  ASSERT_TRUE(older && newer);
  write(map_.getAssetFolder() + "/readme.txt", "x");
  write(map_.getAssetFolder() + "/OTHER.PNG", "x");
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(map_.getPathForAsset(*older), now - std::chrono::hours(2));
  fs::last_write_time(map_.getPathForAsset(*newer), now - std::chrono::hours(1));
  fs::last_write_time(map_.getAssetFolder() + "/OTHER.PNG", now);
  EXPECT_EQ(map_.getImageAssets(true), (std::vector<std::string>{"<blank>", "OTHER", *newer, *older}));
}

TEST_F(AssetLibraryTest, RemovingAnAssetDeletesEveryFileNamedAfterIt) {
  auto id = map_.saveAsset(opaqueImage(10, 10));
  auto other = map_.saveAsset(opaqueImage(10, 10));
  ASSERT_TRUE(id && other);
  write(map_.getAssetFolder() + "/" + *id + ".extra", "x");
  map_.removeAsset(*id);
  EXPECT_EQ(namesIn(map_.getAssetFolder()),
            (std::vector<std::string>{*other + ".png", *other + ".thumbnail.png"}));
  // An empty id names no file at all.
  map_.removeAsset("");
  EXPECT_EQ(namesIn(map_.getAssetFolder()).size(), 2u);
}

TEST_F(AssetLibraryTest, CleanUpKeepsAssetsInUseAndDeletesTheRest) {
  auto used = map_.saveAsset(opaqueImage(10, 10));
  auto unused = map_.saveAsset(opaqueImage(10, 10));
  ASSERT_TRUE(used && unused);
  write(map_.getAssetFolder() + "/short.png", "x");
  kit::FileManager::createDirectories(map_.getAssetFolder() + "/subfolder");
  map_.consolidateAssets({*used});
  EXPECT_EQ(namesIn(map_.getAssetFolder()),
            (std::vector<std::string>{*used + ".png", *used + ".thumbnail.png", "subfolder"}));
  map_.consolidateAssets({});
  EXPECT_EQ(namesIn(map_.getAssetFolder()), std::vector<std::string>{"subfolder"});
}

TEST_F(AssetLibraryTest, CleanUpAfterSavingWaitsWhileTheClipboardHoldsThisMapsImages) {
  auto used = map_.saveAsset(opaqueImage(10, 10));
  auto copied = map_.saveAsset(opaqueImage(10, 10));
  ASSERT_TRUE(used && copied);
  const std::string clipboard =
      kit::AppPaths::temporary() + "/" + GlobalHelpers::clipboardNameForType(1);
  auto copyTopics = [&](const std::string& fromMap) {
    kit::Value record(kit::Dictionary{{"MapID", fromMap}, {"Assets", kit::Array{kit::Value(*copied)}}});
    ASSERT_TRUE(kit::plist::writeFile(clipboard, record));
  };

  copyTopics(map_.uuid());
  EXPECT_FALSE(AssetLibrary::consolidateAssetsAfterSaving(map_.uuid(), {*used}, false));
  EXPECT_TRUE(kit::FileManager::exists(map_.getPathForAsset(*copied)));

  // Topics of another map on the clipboard do not hold this map's files.
  copyTopics("99999999-2222-3333-4444-555555555555");
  EXPECT_FALSE(AssetLibrary::consolidateAssetsAfterSaving(map_.uuid(), {*used}, true));  // read-only
  EXPECT_TRUE(kit::FileManager::exists(map_.getPathForAsset(*copied)));
  EXPECT_TRUE(AssetLibrary::consolidateAssetsAfterSaving(map_.uuid(), {*used}, false));
  EXPECT_FALSE(kit::FileManager::exists(map_.getPathForAsset(*copied)));
  EXPECT_TRUE(kit::FileManager::exists(map_.getPathForAsset(*used)));
}

// ---- Copying between libraries ------------------------------------------------------------------------

TEST_F(AssetLibraryTest, CopyingAssetsBetweenMapsTakesOnlyTheListedIds) {
  auto wanted = map_.saveAsset(opaqueImage(10, 10));
  auto other = map_.saveAsset(opaqueImage(10, 10));
  ASSERT_TRUE(wanted && other);
  const std::string target = "66666666-2222-3333-4444-555555555555";
  AssetLibrary::copyAssets({*wanted}, map_.uuid(), target);
  AssetLibrary to = *AssetLibrary::assetLibraryForMap(target);
  EXPECT_EQ(namesIn(to.getAssetFolder()), (std::vector<std::string>{*wanted + ".png", *wanted + ".thumbnail.png"}));
  EXPECT_EQ(to.sha1ForAsset(*wanted), map_.sha1ForAsset(*wanted));
  // Overwrites a damaged copy.
  write(to.getPathForAsset(*wanted), "damaged");
  AssetLibrary::copyAssets({*wanted}, map_.uuid(), target);
  EXPECT_TRUE(to.newUIImageFor(*wanted));
}

TEST_F(AssetLibraryTest, CopiesIntoAndOutOfTheSystemLibraryKeepExistingFiles) {
  auto id = map_.saveAsset(opaqueImage(10, 10));
  ASSERT_TRUE(id);
  map_.copyAssetToSystemLibrary(*id);
  AssetLibrary system = AssetLibrary::systemAssetLibrary();
  EXPECT_EQ(system.sha1ForAsset(*id), map_.sha1ForAsset(*id));
  EXPECT_TRUE(kit::FileManager::exists(system.getPathForAssetThumbnail(*id)));

  const std::string otherMap = "77777777-2222-3333-4444-555555555555";
  AssetLibrary other = *AssetLibrary::assetLibraryForMap(otherMap);
  other.createAssetFolder();
  write(other.getPathForAssetThumbnail(*id), "mine");
  EXPECT_EQ(AssetLibrary::systemAssetCopy(*id, otherMap), *id);
  EXPECT_TRUE(other.newUIImageFor(*id));
  EXPECT_EQ(kit::FileManager::readText(other.getPathForAssetThumbnail(*id)), "mine");
}
