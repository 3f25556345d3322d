// One open map: its canvas, its settings dictionary, its theme, its numeric id counter and its
// undo manager, and the replay of the undo records the topics and the canvas push. A headless
// controller (initForExport) serves exports of maps that are not open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "canvas/big_view.h"
#include "document/link_target.h"
#include "kit/core/undo_manager.h"
#include "kit/core/value.h"
#include "model/document_services.h"

class PseudoMapViewController : public DocumentServices {
 public:
  // The overlay message when a dictated list reaches a root or a callout.
  static constexpr const char* kSiriListRefusal = "Siri shortcuts are not applied to floating or callout topics.";
  // The canvas's size.
  static constexpr float kCanvasWidth = 34560;
  static constexpr float kCanvasHeight = 30720;

  PseudoMapViewController();
  // A headless controller for exporting.
  static std::unique_ptr<PseudoMapViewController> initForExport();
  ~PseudoMapViewController() override;

  PseudoMapViewController(const PseudoMapViewController&) = delete;
  PseudoMapViewController& operator=(const PseudoMapViewController&) = delete;

  BigView* bigView() const { return canvas_.get(); }

  // The map's settings ("InheritColour", "KeepOrganised", "Rainbow", "CanvasStyle", ...).
  const kit::Value& mapSettings() const { return settings_; }
  void setMapSettings(kit::Value settings);
  void setMapSetting(std::string_view key, kit::Value value);
  // The id names the map's file, undo folder and asset folder, so it is always a plain name:
  // whatever is given goes through safeMapID.
  void setMapID(std::string_view id) { mapID_ = safeMapID(id); }
  // A plain file name for the id, and never the same for two ids: an id that holds "/", "\\" or
  // NUL, is "." or "..", or already holds one of the escapes "%25", "%2F", "%5C", "%00", "%2E"
  // is percent-escaped ("%" too, and the dots of "." and ".."); any other id stays as it is. An
  // empty id becomes a fresh UUID.
  static std::string safeMapID(std::string_view id);
  // The id a map file opens with: its file name without folder and extension, made safe.
  static std::string mapIDForFile(std::string_view path);
  // The name the map's undo snapshots and version snapshots are kept under: the id, and for a map
  // file the id and a hash of the file's canonical path ("garden-0123456789abcdef"), so that two
  // files of one name never share them. A key is at most kStorageKeyLimit bytes (a long id is
  // shortened, the hash kept), so that a file named by it with a short extension fits a name.
  static constexpr std::size_t kStorageKeyLimit = 250;
  static std::string storageKeyForFile(std::string_view path);
  const std::string& storageKey() const { return storageKey_.empty() ? mapID_ : storageKey_; }
  // The map is kept in that file from now on: its storage key follows the file's.
  void setMapFile(std::string_view path);
  void setMapName(std::string name) { mapName_ = std::move(name); }
  // The controller keeps the theme alive; nullptr clears it.
  void setTheme(std::shared_ptr<MapTheme> theme) { theme_ = std::move(theme); }

  bool isModified() const { return modified_; }
  void setModified() override { modified_ = true; }
  void clearModified() { modified_ = false; }

  // Store the setting and mirror it into the process-wide value.
  void setRainbow(bool on);
  void setDropShadow(bool on);
  void setCanvasStyle(int style);

  // Replays one registered record {"action", "details"}.
  void onUndoRedo(const kit::Value& record);
  // ---- The map file and undo snapshots (map_file.cpp) ----
  // Saves the whole map as native XML in the temporary folder's "undo/<storage key>" and returns
  // the snapshot's id.
  std::string createUndoSnapshot();
  // Replays a "snapshot" record {"uuid", "selected"}: the current map becomes a new snapshot for
  // the opposite direction, then the recorded one replaces it.
  void replayUndoSnapshot(const kit::Value& details);
  // Removes the undo snapshots this document took (another window's of the same map stay).
  void removeUndoSnapshots();
  // Removes every undo snapshot of the map, such as those a window that crashed left: only for
  // the one window that holds the map.
  void removeAllUndoSnapshotsOfMap();
  // maps/<id>.qlm in the documents folder.
  static std::string pathForMapID(std::string_view mapID);
  // Opens a map file: settings, theme, topics. False, with nothing changed, when it cannot be
  // read; a damaged map also shows the loader's alert. A file's id and name are its file name.
  // The undo snapshots this document wrote for the map it held before go; no one else's do.
  bool loadMap(const std::string& mapID);
  bool loadMapFromFile(const std::string& path);
  // The same for a map file's content that the caller read once (a pipe cannot be read again):
  // path names the map, its snapshots and its images as the file's path would.
  bool loadMapFromData(const std::string& path, std::string_view bytes);
  // The map file's property list, and writing it atomically (the map is then unmodified).
  kit::Value mapFileDictionary() const;
  bool saveMap();
  bool saveMapToFile(const std::string& path);

  // Who follows the selected topic's link (none: links lead nowhere, as in a headless run).
  void setLinkOpener(LinkOpener* opener) { linkOpener_ = opener; }

  // DocumentServices.
  void pushUndoRedoOperation(const std::string& action, const kit::Value& details) override;
  void pushUndoSnapshot() override;
  kit::UndoManager* undoManager() override { return &undoManager_; }
  std::int32_t getNextNumericID() override;
  MapTheme* getTheme() override { return theme_.get(); }
  bool getInheritColour() override;
  bool getInheritShape() override;
  bool getKeepOrganised() override;
  bool getShowTaskBadge() override;
  kit::Color canvasColour() override;
  std::string mapID() override { return mapID_; }
  std::string mapName() override { return mapName_; }
  bool isInitForExport() override { return forExport_; }
  // The keyboard of the canvas's window: shown while a text input (the in-place editor) is first
  // responder, whatever its height.
  bool isKeyboardVisible() override;
  void ensureVisible(NodeView* topic, bool adjustForOversizeTopicsInY) override;
  void centreScreenOnRootNode() override;
  void refreshBrightness(NodeView* topic) override;
  void followLinkForSelectedNode() override;
  NodeView* onNewSiblingNodeBelow(const std::string& text) override;
  NodeView* onNewCalloutSiblingNodeBelow(const std::string& text) override;
  NodeView* onNewChildNode(const std::string& text) override;
  NodeView* onNewChildLevelNode(const std::string& text) override;
  void onDeleteNode() override;
  void onSiriDictateListDetectTriggered(const std::vector<std::string>& items) override;

 private:
  explicit PseudoMapViewController(bool forExport);
  bool settingOr(std::string_view key, bool absent) const;

  kit::UndoManager undoManager_;
  std::unique_ptr<BigView> canvas_;
  kit::Value settings_{kit::Dictionary{}};
  std::shared_ptr<MapTheme> theme_;
  std::string mapID_;
  std::string storageKey_;
  std::string mapName_;
  std::int32_t nextNumericID_ = 0;
  bool forExport_ = false;
  bool modified_ = false;
  std::vector<std::string> ownUndoSnapshots_;
  LinkOpener* linkOpener_ = nullptr;
};
