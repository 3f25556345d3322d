// The store of topic images. An asset is a PNG named by its id (a UUID) plus a small thumbnail,
// kept in the folder of one library: one per map (Documents/maps/<map id>) and the system
// library shared by all maps (Documents/assets). Built-in images ship read-only in the
// resources folder "image-assets" and are copied into a library when first asked for.
//
// A library object holds nothing but its id; all state is in the file system. Nothing here
// reports errors: storing and loading answer nothing, copies and deletions ignore failures.
// Files are written atomically and deleted only through files::removeItemAtPathSafe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/graphics/image.h"

class AssetLibrary {
 public:
  static constexpr std::string_view kSystemAssetLibraryID = "B6840EF7-FCBA-49EF-9B4F-99BE667FA5A5";
  // The image picker's "no image" entry, listed first by getImageAssets(true).
  static constexpr std::string_view kBlankAsset = "<blank>";
  // Stored images fit within these squares (points).
  static constexpr float kImageBounds = 360;
  static constexpr float kThumbnailBounds = 72;

  // ---- Libraries ---------------------------------------------------------------------------
  static AssetLibrary systemAssetLibrary();
  // Nothing for an empty id, or one that could name a folder other than its own below "maps"
  // (a "/", ".", ".."), so a map file cannot point the clean-up at other folders.
  static std::optional<AssetLibrary> assetLibraryForMap(std::string_view mapUUID);
  explicit AssetLibrary(std::string id) : uuid_(std::move(id)) {}

  const std::string& uuid() const { return uuid_; }
  bool isSystemAssetLibrary() const;

  // ---- Paths ---------------------------------------------------------------------------------
  std::string getAssetFolder() const;
  // Creates the folder with its parents (failure ignored) and returns its path.
  std::string createAssetFolder() const;
  // "<folder>/<id>.png" and "<folder>/<id>.thumbnail.png"; empty for an id that is not a plain
  // file name (empty, or holding "/"), so that every use of such a path fails.
  std::string getPathForAsset(std::string_view id) const;
  std::string getPathForAssetThumbnail(std::string_view id) const;
  // The resources folder "image-assets" holds "<id>.png".
  static bool isBundleAsset(std::string_view id);
  // SHA-1 of the asset file as 40 lower-case hex digits; nothing when it cannot be read.
  std::optional<std::string> sha1ForAsset(std::string_view id) const;

  // ---- Loading (null when missing or damaged) ------------------------------------------------
  // A built-in image missing from the folder is copied in first.
  kit::ImageRef newUIImageFor(std::string_view id) const;
  // Its size, from the file's header: a topic learns it without decoding the picture.
  std::optional<kit::Size> imageSizeFor(std::string_view id) const;
  // A missing or unreadable thumbnail is made again from the image and written.
  kit::ImageRef newThumbnailUIImageFor(std::string_view id) const;

  // ---- Storing: the new asset id, or nothing -------------------------------------------------
  // Fits the image into 360 x 360 (shrinking only) with rounded corners, and a 72 x 72 thumbnail.
  std::optional<std::string> _saveAsset(const kit::ImageRef& image) const;
  std::optional<std::string> saveAsset(const kit::ImageRef& image) const;
  std::optional<std::string> saveImageAsset(const std::string& path) const;
  // PNG, JPEG or GIF data on the general pasteboard, else a file: URL of such an image.
  std::optional<std::string> saveClipboardAsAsset() const;

  // ---- Listing, copying, deleting -------------------------------------------------------------
  // Ids of the folder's images, newest first; "<blank>" first when asked.
  std::vector<std::string> getImageAssets(bool includeBlank) const;
  // Every file whose name begins with the id.
  void removeAsset(std::string_view id) const;
  // Image and thumbnail into the system library; files already there are kept.
  void copyAssetToSystemLibrary(std::string_view id) const;
  // Stores every image file at the top of Documents (png, gif, jpeg, jpg) in this library and
  // deletes it; a file that reads as an image but could not be stored is kept.
  void importAssetsFromiTunes() const;
  // Copies every built-in image into the system library, overwriting.
  static void recoverImagesFromBundle();
  // Copies the system library's files of the id into the map's library (existing files kept);
  // returns the id.
  static std::string systemAssetCopy(std::string_view id, std::string_view toMap);
  // Deletes every file of the folder not named "<id in use>..." (names under 37 characters
  // included). Folders inside are left alone.
  void consolidateAssets(const std::vector<std::string>& idsInUse) const;
  // The map screen's clean-up after saving a map: consolidateAssets with the ids the map's topics
  // use, skipped for a read-only map and while clipboard 1 holds topics of this map that use
  // images (pasting them later needs the files). True when the clean-up ran.
  static bool consolidateAssetsAfterSaving(std::string_view mapUUID, const std::vector<std::string>& idsInUse,
                                           bool readOnly);
  // Copies the files of the ids (names of at least 37 characters) from one map's library into
  // another's, overwriting.
  static void copyAssets(const std::vector<std::string>& ids, std::string_view fromMap, std::string_view toMap);

 private:
  // The asset's file, a built-in image copied in first; empty when there is none.
  std::string pathForReadingAsset(std::string_view id) const;

  std::string uuid_;
};
