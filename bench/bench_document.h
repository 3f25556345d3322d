// A document controller for benchmarks: numeric ids and fixed map settings, nothing recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kit/graphics/color.h"
#include "model/document_services.h"

class BenchDocument : public DocumentServices {
 public:
  BenchDocument(bool keepOrganised, bool forExport) : keepOrganised_(keepOrganised), forExport_(forExport) {}

  void pushUndoRedoOperation(const std::string&, const kit::Value&) override {}
  void pushUndoSnapshot() override {}
  kit::UndoManager* undoManager() override { return nullptr; }
  std::int32_t getNextNumericID() override { return ++next_; }
  MapTheme* getTheme() override { return nullptr; }
  bool getInheritColour() override { return true; }
  bool getInheritShape() override { return true; }
  bool getKeepOrganised() override { return keepOrganised_; }
  bool getShowTaskBadge() override { return true; }
  kit::Color canvasColour() override { return kit::Color::white(); }
  std::string mapID() override { return "BENCH"; }
  std::string mapName() override { return "Bench"; }
  bool isInitForExport() override { return forExport_; }
  bool isKeyboardVisible() override { return false; }
  void ensureVisible(NodeView*, bool) override {}
  void centreScreenOnRootNode() override {}
  void refreshBrightness(NodeView*) override {}
  void followLinkForSelectedNode() override {}
  NodeView* onNewSiblingNodeBelow(const std::string&) override { return nullptr; }
  NodeView* onNewCalloutSiblingNodeBelow(const std::string&) override { return nullptr; }
  NodeView* onNewChildNode(const std::string&) override { return nullptr; }
  NodeView* onNewChildLevelNode(const std::string&) override { return nullptr; }
  void onDeleteNode() override {}
  void onSiriDictateListDetectTriggered(const std::vector<std::string>&) override {}

 private:
  std::int32_t next_ = 0;
  bool keepOrganised_;
  bool forExport_;
};
