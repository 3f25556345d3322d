// Loading and saving the map file, and the whole-map undo snapshots.
#include "document/map_file.h"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "document/map_import.h"
#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_file_formats.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/name_limit.h"
#include "kit/io/plist.h"
#include "model/app_services.h"
#include "model/map_theme.h"

namespace {

std::string mapsFolder() { return kit::AppPaths::documents() + "/maps"; }

// Map ids become folder and file names: anything that could leave the folder is refused.
bool isSafeName(std::string_view id) {
  if (id.empty() || id == "." || id == "..") return false;
  for (char c : id)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

std::string undoFolderFor(const std::string& mapID) {
  return kit::AppPaths::temporary() + "/undo/" + (isSafeName(mapID) ? mapID : std::string("unsaved"));
}

// The file name without folder and extension.
std::string fileStem(std::string_view path) {
  std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

void layOutWholeMap(BigView& canvas) {
  if (NodeView* root = canvas.rootNode()) {
    root->recalcLayoutRecursively(true, false, false, false, false);
    root->recalcBoundaries();
  }
  canvas.requestRedraw();
}

}  // namespace

namespace {
// What the escaping below writes for one byte; an id holding one of these already is escaped as
// a whole too, so that no two ids ever meet.
constexpr std::string_view kEscapes[] = {"%25", "%2F", "%5C", "%00", "%2E"};

bool holdsAnEscape(std::string_view id) {
  for (std::string_view e : kEscapes)
    if (id.find(e) != std::string_view::npos) return true;
  return false;
}
}  // namespace

std::string PseudoMapViewController::safeMapID(std::string_view id) {
  if (id.empty()) return GlobalHelpers::GetUUID();
  if (isSafeName(id) && !holdsAnEscape(id)) return std::string(id);
  // Percent-escaping in which "%" itself is escaped reads back to one id only.
  const bool dotsOnly = id == "." || id == "..";
  std::string out;
  out.reserve(id.size() + 8);
  for (char c : id) {
    switch (c) {
      case '%': out += "%25"; break;
      case '/': out += "%2F"; break;
      case '\\': out += "%5C"; break;
      case '\0': out += "%00"; break;
      case '.': out += dotsOnly ? "%2E" : "."; break;
      default: out += c;
    }
  }
  return out;
}

std::string PseudoMapViewController::mapIDForFile(std::string_view path) { return safeMapID(fileStem(path)); }

std::string PseudoMapViewController::storageKeyForFile(std::string_view path) {
  std::error_code ec;
  std::filesystem::path file(path);
  file = std::filesystem::absolute(file, ec);
  std::filesystem::path canonical = ec ? std::filesystem::path(path) : std::filesystem::weakly_canonical(file, ec);
  if (ec) canonical = file.lexically_normal();
  // FNV-1a: a short, stable tag of the path; the name before it keeps the folders readable.
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : canonical.string()) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  // Named after the file the path leads to, so that a link to a map shares its key (and lock).
  // A long name is shortened, the hash kept, leaving room for the extension of the window's lock.
  return kit::fitName(mapIDForFile(canonical.string()), fmt::format("-{:016x}", hash), kStorageKeyLimit);
}

void PseudoMapViewController::setMapFile(std::string_view path) {
  std::string key = storageKeyForFile(path);
  if (key == storageKey_) return;
  removeUndoSnapshots();
  storageKey_ = std::move(key);
}

std::string PseudoMapViewController::pathForMapID(std::string_view mapID) {
  return mapsFolder() + "/" + std::string(mapID) + "." + std::string(MapFile::kExtension);
}

// ---- Loading ----------------------------------------------------------------------------------

bool PseudoMapViewController::loadMap(const std::string& mapID) {
  if (!isSafeName(mapID)) return false;
  return loadMapFromFile(pathForMapID(mapID));
}

bool PseudoMapViewController::loadMapFromFile(const std::string& path) {
  std::string unread;
  const std::optional<std::string> bytes = kit::readWhole(path, unread);
  return bytes && loadMapFromData(path, *bytes);
}

bool PseudoMapViewController::loadMapFromData(const std::string& path, std::string_view bytes) {
  kit::plist::ReadFailure why;
  std::optional<kit::Value> file = kit::plist::read(bytes, why);
  if (why == kit::plist::ReadFailure::TooDeep) MapFormats::showLoadAlert("it is nested too deeply");
  if (!file || !file->isDictionary() || !(*file)[MapFile::kMapDataKey].isString()) return false;
  // Parse before anything changes, so that a damaged map leaves the open one as it was.
  MapFormats::ParseResult parsed = MapFormats::parseMapXML((*file)[MapFile::kMapDataKey].string());
  if (!parsed.map) {
    MapFormats::showLoadAlert(parsed.error);
    return false;
  }

  // A fresh start: no topics, no undo steps, ids from 0.
  canvas_->setSelectedNode(nullptr, false);
  if (NodeView* root = canvas_->rootNode()) canvas_->removeNode(root);
  undoManager_.removeAllActions(this);
  nextNumericID_ = 0;
  // The snapshots of the map held before go; another window's of this map stay.
  removeUndoSnapshots();
  setMapFile(path);
  mapID_ = mapIDForFile(path);
  mapName_ = GlobalHelpers::getMapNameFromPath(path);

  kit::Value settings{kit::Dictionary{}};
  for (const auto& [key, value] : file->dictionary())
    if (key != MapFile::kMapDataKey && key != MapFile::kThemeKey) settings.set(key, value);
  settings_ = std::move(settings);
  // The process-wide mirrors must be right before the topics evaluate their colours.
  AppServices::setRainbowFlag(settingOr("Rainbow", false));
  AppServices::setDropShadowFlag(settingOr("DropShadow", false));
  AppServices::setCurrentCanvasStyle(static_cast<int>(settings_["CanvasStyle"].integerValue()));
  theme_ = std::shared_ptr<MapTheme>(MapTheme::themeFromDictionary((*file)[MapFile::kThemeKey]));

  std::vector<NodeView*> unplaced;
  MapFormats::buildMap(*canvas_, std::move(*parsed.map), MapFormats::LoadContext::Map, &unplaced);
  MapImport::layOutUnplaced(*canvas_, unplaced);
  if (NodeView* root = canvas_->rootNode()) canvas_->setSelectedNode(root, false);
  canvas_->showFloatingNodeGuides();
  clearModified();
  return true;
}

// ---- Saving -----------------------------------------------------------------------------------

kit::Value PseudoMapViewController::mapFileDictionary() const {
  kit::Value file = settings_.isDictionary() ? settings_ : kit::Value(kit::Dictionary{});
  file.set(MapFile::kMapDataKey, MapFormats::dumpMap(*canvas_));
  if (theme_) file.set(MapFile::kThemeKey, kit::Value(theme_->getThemeAsDictionary()));
  return file;
}

bool PseudoMapViewController::saveMap() {
  if (!isSafeName(mapID_)) return false;
  if (!kit::FileManager::createDirectories(mapsFolder())) return false;
  return saveMapToFile(pathForMapID(mapID_));
}

bool PseudoMapViewController::saveMapToFile(const std::string& path) {
  if (!canvas_->rootNode()) return false;  // never replace a map with an empty file
  if (!kit::plist::writeFile(path, mapFileDictionary())) return false;
  clearModified();
  return true;
}

// ---- Undo snapshots ---------------------------------------------------------------------------

std::string PseudoMapViewController::createUndoSnapshot() {
  std::string id = GlobalHelpers::GetUUID();
  const std::string folder = undoFolderFor(storageKey());
  if (kit::FileManager::createDirectories(folder)) {
    kit::FileManager::writeAtomically(folder + "/" + id + ".xml", MapFormats::dumpMap(*canvas_));
    ownUndoSnapshots_.push_back(id);
  }
  return id;
}

void PseudoMapViewController::replayUndoSnapshot(const kit::Value& details) {
  const std::string& id = details["uuid"].string();
  std::optional<MapFormats::ParsedMap> map;
  std::string path;
  if (isSafeName(id)) {
    path = undoFolderFor(storageKey()) + "/" + id + ".xml";
    if (std::optional<std::string> xml = kit::FileManager::readText(path)) map = MapFormats::parseMapXML(*xml).map;
  }
  if (!map || map->topics.empty()) {
    // Nothing to restore: the record still goes across so that undo and redo stay paired.
    pushUndoRedoOperation("snapshot", details);
    return;
  }
  pushUndoSnapshot();  // the map as it is now, for the opposite direction

  canvas_->setSelectedNode(nullptr, false);
  if (NodeView* root = canvas_->rootNode()) canvas_->removeNode(root);
  MapFormats::buildMap(*canvas_, std::move(*map), MapFormats::LoadContext::Map);
  layOutWholeMap(*canvas_);
  kit::FileManager::remove(path);  // each snapshot is restored at most once

  NodeView* selected = details["selected"].isString() ? canvas_->getNodeByUUID(details["selected"].string()) : nullptr;
  canvas_->setSelectedNode(selected ? selected : canvas_->rootNode(), true);
}

void PseudoMapViewController::removeUndoSnapshots() {
  if (ownUndoSnapshots_.empty()) return;
  const std::string folder = undoFolderFor(storageKey());
  for (const std::string& id : ownUndoSnapshots_) ::unlink((folder + "/" + id + ".xml").c_str());
  ownUndoSnapshots_.clear();
  ::rmdir(folder.c_str());  // only when no one else's are left
}

void PseudoMapViewController::removeAllUndoSnapshotsOfMap() {
  ownUndoSnapshots_.clear();
  const std::string folder = undoFolderFor(storageKey());
  if (kit::FileManager::exists(folder)) kit::FileManager::remove(folder);
}
