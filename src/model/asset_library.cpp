#include "model/asset_library.h"

#include <algorithm>
#include <unordered_set>

#include "helpers/files.h"
#include "helpers/global_helpers_files.h"
#include "helpers/global_helpers_geometry.h"
#include "helpers/global_helpers_identifiers.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/text/escape.h"
#include "kit/ui/pasteboard.h"

namespace {

constexpr std::size_t kIdLength = 36;
constexpr int kImageCornerLimit = 15;
constexpr int kThumbnailCornerLimit = 4;

// An asset id becomes part of a file name; ids come from map files, so one that could climb
// out of its folder is refused.
bool isPlainName(std::string_view id) {
  return !id.empty() && id.find('/') == std::string_view::npos && id.find('\0') == std::string_view::npos;
}

bool isPlainFolderName(std::string_view id) { return isPlainName(id) && id != "." && id != ".."; }

std::string bundleFolder() { return kit::AppPaths::resource("image-assets"); }

std::string bundlePathFor(std::string_view id) {
  if (!isPlainName(id)) return {};
  return bundleFolder() + "/" + std::string(id) + ".png";
}

bool isRegularFile(const std::string& path) {
  auto a = kit::FileManager::attributes(path);
  return a && a->type == kit::FileType::Regular;
}

// Copies through a temporary file and a rename, so the target holds the old or the new bytes.
bool copyFileAtomically(const std::string& from, const std::string& to, bool overwrite) {
  if (!overwrite && kit::FileManager::attributes(to)) return false;
  auto bytes = kit::FileManager::readFile(from);
  return bytes && kit::FileManager::writeAtomically(to, *bytes);
}

// The image fitted into a square of `bounds` (shrinking only), resized with high quality and
// given corners of a quarter of its smaller side, at most cornerLimit; PNG bytes. Each side keeps
// at least one pixel, so a very thin picture still gets its reduced copy and thumbnail.
std::optional<std::vector<std::uint8_t>> fittedRoundedPNG(const kit::Image& image, float bounds, int cornerLimit) {
  kit::Size fitted = GlobalHelpers::scaleSize(image.size(), kit::Size(bounds, bounds));
  const float onePixel = 1.0f / image.scale();
  fitted.width = std::max(fitted.width, onePixel);
  fitted.height = std::max(fitted.height, onePixel);
  kit::ImageRef resized = image.resized(fitted, kit::InterpolationQuality::High);
  if (!resized) return std::nullopt;
  const kit::Size s = resized->size();
  const int corner = std::min(static_cast<int>(std::min(s.width, s.height) * 0.25f), cornerLimit);
  kit::ImageRef rounded = resized->roundedCorner(corner, 0);
  if (!rounded) return std::nullopt;
  return rounded->pngData();
}

bool hasImageExtension(std::string_view name, std::initializer_list<std::string_view> extensions) {
  const std::string ext = strings::pathExtension(name);
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](std::string_view e) { return strings::isEqualToStringNoCase(ext, e); });
}

// The local path of a "file:" URL ("file:///p", "file://localhost/p"); nothing for any other URL.
std::optional<std::string> pathOfFileURL(std::string_view url) {
  if (!strings::hasCaseInsensitivePrefix(url, std::string_view("file:"))) return std::nullopt;
  std::string_view rest = url.substr(5);
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !strings::isEqualToStringNoCase(host, std::string_view("localhost"))) return std::nullopt;
    rest.remove_prefix(slash);
  }
  if (rest.empty() || rest.front() != '/') return std::nullopt;
  const std::size_t end = rest.find_first_of("?#");
  return kit::percentUnescape(rest.substr(0, end));
}

}  // namespace

// ---- Libraries -------------------------------------------------------------------------------

AssetLibrary AssetLibrary::systemAssetLibrary() { return AssetLibrary(std::string(kSystemAssetLibraryID)); }

std::optional<AssetLibrary> AssetLibrary::assetLibraryForMap(std::string_view mapUUID) {
  if (!isPlainFolderName(mapUUID)) return std::nullopt;
  return AssetLibrary(std::string(mapUUID));
}

bool AssetLibrary::isSystemAssetLibrary() const {
  return strings::isEqualToStringWithCase(uuid_, kSystemAssetLibraryID);
}

// ---- Paths -------------------------------------------------------------------------------------

std::string AssetLibrary::getAssetFolder() const {
  const std::string documents = kit::AppPaths::documents();
  if (isSystemAssetLibrary()) return documents + "/assets";
  // A library made directly with an unsafe id gets no folder at all.
  if (!isPlainFolderName(uuid_)) return {};
  return documents + "/maps/" + uuid_;
}

std::string AssetLibrary::createAssetFolder() const {
  std::string folder = getAssetFolder();
  if (!folder.empty()) kit::FileManager::createDirectories(folder);
  return folder;
}

std::string AssetLibrary::getPathForAsset(std::string_view id) const {
  const std::string folder = getAssetFolder();
  if (folder.empty() || !isPlainName(id)) return {};
  return folder + "/" + std::string(id) + ".png";
}

std::string AssetLibrary::getPathForAssetThumbnail(std::string_view id) const {
  const std::string folder = getAssetFolder();
  if (folder.empty() || !isPlainName(id)) return {};
  return folder + "/" + std::string(id) + ".thumbnail.png";
}

bool AssetLibrary::isBundleAsset(std::string_view id) {
  const std::string path = bundlePathFor(id);
  return !path.empty() && kit::FileManager::exists(path);
}

std::optional<std::string> AssetLibrary::sha1ForAsset(std::string_view id) const {
  const std::string path = getPathForAsset(id);
  if (path.empty()) return std::nullopt;
  return GlobalHelpers::getSHA1Hash(path);
}

// ---- Loading -------------------------------------------------------------------------------------

std::string AssetLibrary::pathForReadingAsset(std::string_view id) const {
  const std::string path = getPathForAsset(id);
  if (path.empty()) return path;
  if (!kit::FileManager::exists(path)) {
    if (!isBundleAsset(id)) return {};
    createAssetFolder();
    copyFileAtomically(bundlePathFor(id), path, true);
  }
  return path;
}

kit::ImageRef AssetLibrary::newUIImageFor(std::string_view id) const {
  const std::string path = pathForReadingAsset(id);
  return path.empty() ? nullptr : kit::Image::fromFile(path);
}

std::optional<kit::Size> AssetLibrary::imageSizeFor(std::string_view id) const {
  const std::string path = pathForReadingAsset(id);
  if (path.empty()) return std::nullopt;
  return kit::Image::sizeOfFile(path);
}

kit::ImageRef AssetLibrary::newThumbnailUIImageFor(std::string_view id) const {
  const std::string thumbnailPath = getPathForAssetThumbnail(id);
  if (thumbnailPath.empty()) return nullptr;
  if (kit::FileManager::exists(thumbnailPath)) {
    if (kit::ImageRef thumbnail = kit::Image::fromFile(thumbnailPath)) return thumbnail;
    // A damaged thumbnail is made again below rather than failing for good.
  }
  kit::ImageRef image = kit::Image::fromFile(getPathForAsset(id));
  if (!image) return nullptr;
  auto png = fittedRoundedPNG(*image, kThumbnailBounds, kThumbnailCornerLimit);
  if (!png) return nullptr;
  kit::ImageRef thumbnail = kit::Image::fromData(*png, image->scale());
  if (thumbnail) kit::FileManager::writeAtomically(thumbnailPath, *png);
  return thumbnail;
}

// ---- Storing -------------------------------------------------------------------------------------

std::optional<std::string> AssetLibrary::_saveAsset(const kit::ImageRef& image) const {
  if (!image) return std::nullopt;
  auto png = fittedRoundedPNG(*image, kImageBounds, kImageCornerLimit);
  if (!png) return std::nullopt;

  std::string id = GlobalHelpers::GetUUID();
  if (id.empty()) return std::nullopt;
  createAssetFolder();
  const std::string path = getPathForAsset(id);
  if (path.empty() || !kit::FileManager::writeAtomically(path, *png)) return std::nullopt;

  // The thumbnail comes from the picture passed in, not the reduced one; it can be made again.
  if (auto thumbnail = fittedRoundedPNG(*image, kThumbnailBounds, kThumbnailCornerLimit))
    kit::FileManager::writeAtomically(getPathForAssetThumbnail(id), *thumbnail);
  return id;
}

std::optional<std::string> AssetLibrary::saveAsset(const kit::ImageRef& image) const {
  // The intermediate images are released when _saveAsset returns.
  return _saveAsset(image);
}

std::optional<std::string> AssetLibrary::saveImageAsset(const std::string& path) const {
  kit::ImageRef image = kit::Image::fromFile(path);
  if (!image) return std::nullopt;
  return saveAsset(image);
}

std::optional<std::string> AssetLibrary::saveClipboardAsAsset() const {
  const kit::Pasteboard& board = kit::Pasteboard::general();
  std::optional<kit::Data> data;
  for (std::string_view type : {kit::kPasteboardTypePNG, kit::kPasteboardTypeJPEG, kit::kPasteboardTypeGIF}) {
    if (board.containsPasteboardType(type)) {
      data = board.dataForPasteboardType(type);
      break;
    }
  }
  if (!data && board.containsPasteboardType(kit::kPasteboardTypeURL)) {
    // Only local files are read; nothing is fetched from the network.
    if (auto url = board.url(); url && hasImageExtension(*url, {"png", "jpg", "jpeg", "gif"})) {
      if (auto path = pathOfFileURL(*url)) data = kit::FileManager::readFile(*path);
    }
  }
  if (!data || data->empty()) return std::nullopt;
  auto id = saveAsset(kit::Image::fromData(*data));
  if (!id || id->empty()) return std::nullopt;
  return id;
}

// ---- Listing, copying, deleting -------------------------------------------------------------------

std::vector<std::string> AssetLibrary::getImageAssets(bool includeBlank) const {
  std::vector<std::string> ids;
  if (includeBlank) ids.emplace_back(kBlankAsset);
  const std::string folder = getAssetFolder();
  if (folder.empty()) return ids;
  for (const kit::Value& entry : GlobalHelpers::getDirectoryListFor(folder, false)) {
    const kit::Value& file = entry[GlobalHelpers::kDirectoryEntryFile];
    if (!file.isString()) continue;
    const std::string& name = file.string();
    if (name.empty() || !strings::pathHasExtensionNoCase(name, "png") || strings::hasSuffixEx(name, "thumbnail.png"))
      continue;
    ids.push_back(name.substr(0, name.size() - 4));  // without ".png"
  }
  return ids;
}

void AssetLibrary::removeAsset(std::string_view id) const {
  const std::string folder = getAssetFolder();
  if (folder.empty() || !isPlainName(id)) return;
  auto names = kit::FileManager::listDirectory(folder);
  if (!names) return;
  for (const std::string& name : *names)
    if (strings::hasPrefixEx(name, id)) files::removeItemAtPathSafe(folder + "/" + name);
}

void AssetLibrary::copyAssetToSystemLibrary(std::string_view id) const {
  const AssetLibrary system = systemAssetLibrary();
  const std::string image = getPathForAsset(id);
  if (image.empty()) return;
  system.createAssetFolder();
  copyFileAtomically(image, system.getPathForAsset(id), false);
  copyFileAtomically(getPathForAssetThumbnail(id), system.getPathForAssetThumbnail(id), false);
}

void AssetLibrary::importAssetsFromiTunes() const {
  const std::string documents = kit::AppPaths::documents();
  auto names = kit::FileManager::listDirectory(documents);
  if (!names) return;
  for (const std::string& name : *names) {
    if (!hasImageExtension(name, {"png", "gif", "jpeg", "jpg"})) continue;
    const std::string path = documents + "/" + name;
    if (!isRegularFile(path)) continue;
    kit::ImageRef image = kit::Image::fromFile(path);
    // Unreadable files go; a picture that could not be stored stays for the next attempt.
    if (image && !saveAsset(image)) continue;
    files::removeItemAtPathSafe(path);
  }
}

void AssetLibrary::recoverImagesFromBundle() {
  const std::string folder = systemAssetLibrary().createAssetFolder();
  const std::string bundle = bundleFolder();
  auto names = kit::FileManager::listDirectory(bundle);
  if (!names) return;
  for (const std::string& name : *names) {
    const std::string from = bundle + "/" + name;
    if (isRegularFile(from)) copyFileAtomically(from, folder + "/" + name, true);
  }
}

std::string AssetLibrary::systemAssetCopy(std::string_view id, std::string_view toMap) {
  auto map = assetLibraryForMap(toMap);
  if (!map || !isPlainName(id)) return std::string(id);
  const std::string target = map->createAssetFolder();
  const std::string source = systemAssetLibrary().getAssetFolder();
  for (const kit::Value& entry : GlobalHelpers::getDirectoryListFor(source, false)) {
    const kit::Value& file = entry[GlobalHelpers::kDirectoryEntryFile];
    if (!file.isString() || !strings::hasPrefixEx(file.string(), id)) continue;
    const std::string from = source + "/" + file.string();
    if (isRegularFile(from)) copyFileAtomically(from, target + "/" + file.string(), false);
  }
  return std::string(id);
}

void AssetLibrary::consolidateAssets(const std::vector<std::string>& idsInUse) const {
  const std::string folder = getAssetFolder();
  if (folder.empty()) return;
  auto names = kit::FileManager::listDirectory(folder);
  if (!names) return;
  const std::unordered_set<std::string_view> inUse(idsInUse.begin(), idsInUse.end());
  for (const std::string& name : *names) {
    if (name.size() > kIdLength && inUse.contains(std::string_view(name).substr(0, kIdLength))) continue;
    const std::string path = folder + "/" + name;
    if (files::isFolder(path)) continue;
    files::removeItemAtPathSafe(path);
  }
}

bool AssetLibrary::consolidateAssetsAfterSaving(std::string_view mapUUID, const std::vector<std::string>& idsInUse,
                                                bool readOnly) {
  auto library = assetLibraryForMap(mapUUID);
  if (!library || readOnly || GlobalHelpers::clipboardContainsReferencesToAssetsInMapID(mapUUID)) return false;
  library->consolidateAssets(idsInUse);
  return true;
}

void AssetLibrary::copyAssets(const std::vector<std::string>& ids, std::string_view fromMap, std::string_view toMap) {
  auto source = assetLibraryForMap(fromMap);
  auto target = assetLibraryForMap(toMap);
  if (!source || !target) return;
  const std::string to = target->createAssetFolder();
  const std::string from = source->getAssetFolder();
  auto names = kit::FileManager::listDirectory(from);
  if (!names) return;
  const std::unordered_set<std::string_view> wanted(ids.begin(), ids.end());
  for (const std::string& name : *names) {
    if (name.size() <= kIdLength || !wanted.contains(std::string_view(name).substr(0, kIdLength))) continue;
    const std::string path = from + "/" + name;
    if (isRegularFile(path)) copyFileAtomically(path, to + "/" + name, true);
  }
}
