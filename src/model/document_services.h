// What a topic and the canvas need from the open map's document controller. Topics and the
// canvas hold it as `_parentController` / `parentController` (not owned); the document
// controller implements it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kit/core/value.h"
#include "kit/graphics/color.h"

namespace kit {
class UndoManager;
}

class MapTheme;
class NodeView;

class DocumentServices {
 public:
  virtual ~DocumentServices() = default;

  // Undo. A record holds the value that undoing restores; pushing marks the map modified.
  virtual void pushUndoRedoOperation(const std::string& action, const kit::Value& details) = 0;
  // A whole-map snapshot, recorded as "snapshot"; structural commands take one first.
  virtual void pushUndoSnapshot() = 0;
  // For explicit groups around several records of one user action.
  virtual kit::UndoManager* undoManager() = 0;
  // A change that records no undo step (a folded branch shown) still has to be saved.
  virtual void setModified() {}

  // Map values.
  virtual std::int32_t getNextNumericID() = 0;
  virtual MapTheme* getTheme() = 0;  // nullptr while none is set
  virtual bool getInheritColour() = 0;
  virtual bool getInheritShape() = 0;
  virtual bool getKeepOrganised() = 0;
  virtual bool getShowTaskBadge() = 0;
  virtual kit::Color canvasColour() = 0;
  virtual std::string mapID() = 0;
  virtual std::string mapName() = 0;
  // A headless controller made for exporting: the canvas posts no selection notification.
  virtual bool isInitForExport() = 0;
  virtual bool isKeyboardVisible() = 0;

  // Commands.
  virtual void ensureVisible(NodeView* topic, bool adjustForOversizeTopicsInY) = 0;
  virtual void centreScreenOnRootNode() = 0;
  virtual void refreshBrightness(NodeView* topic) = 0;
  virtual void followLinkForSelectedNode() = 0;
  virtual NodeView* onNewSiblingNodeBelow(const std::string& text) = 0;
  virtual NodeView* onNewCalloutSiblingNodeBelow(const std::string& text) = 0;
  virtual NodeView* onNewChildNode(const std::string& text) = 0;
  virtual NodeView* onNewChildLevelNode(const std::string& text) = 0;
  virtual void onDeleteNode() = 0;
  virtual void onSiriDictateListDetectTriggered(const std::vector<std::string>& items) = 0;
};
