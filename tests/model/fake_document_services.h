// A document controller for tests: counts ids, keeps the records pushed, answers map settings.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/document_services.h"
#include "model/node_view.h"

struct PushedRecord {
  std::string action;
  kit::Value details;
};

class FakeDocumentServices : public DocumentServices {
 public:
  std::vector<PushedRecord> records;
  int snapshots = 0;
  int nextID = 0;
  bool inheritColour = true, inheritShape = true, keepOrganised = false, showTaskBadge = true;
  bool forExport = false;
  std::vector<NodeView*> ensureVisibleCalls;
  int refreshBrightnessCalls = 0;

  void pushUndoRedoOperation(const std::string& action, const kit::Value& details) override {
    records.push_back({action, details});
  }
  void pushUndoSnapshot() override { ++snapshots; }
  kit::UndoManager* undoManager() override { return nullptr; }
  std::int32_t getNextNumericID() override { return ++nextID; }
  MapTheme* getTheme() override { return nullptr; }
  bool getInheritColour() override { return inheritColour; }
  bool getInheritShape() override { return inheritShape; }
  bool getKeepOrganised() override { return keepOrganised; }
  bool getShowTaskBadge() override { return showTaskBadge; }
  kit::Color canvasColour() override { return kit::Color::white(); }
  std::string mapID() override { return "MAP"; }
  std::string mapName() override { return "Map"; }
  bool isInitForExport() override { return forExport; }
  bool isKeyboardVisible() override { return false; }
  void ensureVisible(NodeView* t, bool) override { ensureVisibleCalls.push_back(t); }
  void centreScreenOnRootNode() override {}
  void refreshBrightness(NodeView*) override { ++refreshBrightnessCalls; }
  void followLinkForSelectedNode() override {}
  NodeView* onNewSiblingNodeBelow(const std::string&) override { return nullptr; }
  NodeView* onNewCalloutSiblingNodeBelow(const std::string&) override { return nullptr; }
  NodeView* onNewChildNode(const std::string&) override { return nullptr; }
  NodeView* onNewChildLevelNode(const std::string&) override { return nullptr; }
  void onDeleteNode() override {}
  void onSiriDictateListDetectTriggered(const std::vector<std::string>&) override {}
};
