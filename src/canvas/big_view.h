// The map canvas: one very large view that owns the central topic (and through it the whole
// tree), the relationships and the selection, and is the only place where topics are created
// and removed. Every topic is a direct subview of the canvas.
//
// The canvas never keeps a pointer to a topic it removed: selection, drag-and-drop topic,
// foster parent, dragged topic, touch view and reader state are cleared first.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/core/notification_center.h"
#include "kit/core/value.h"
#include "kit/ui/view.h"
#include "model/document_services.h"
#include "model/node_view.h"

class RelationshipView;

// Owned relationships. The deleter travels with the pointer because the relationship class
// is completed in its own Part; whoever creates one passes its deleter.
using RelationshipPtr = std::unique_ptr<RelationshipView, void (*)(RelationshipView*)>;

// Sides of a new child: 0 the topic's own side (automatic), 1 left, 2 right of the central topic.
namespace Side {
constexpr int Automatic = 0;
constexpr int Left = 1;
constexpr int Right = 2;
}  // namespace Side

class BigView : public kit::View {
 public:
  // The document controller makes the canvas 34560 x 30720.
  explicit BigView(const kit::Rect& frame);
  ~BigView() override;

  DocumentServices* parentController() const { return parentController_; }
  void setParentController(DocumentServices* c) { parentController_ = c; }
  NodeView* rootNode() const { return rootNode_.get(); }
  NodeView* selectedNode() const { return selectedNode_; }
  NodeView* lastLoadedRootNode() const { return lastLoadedRootNode_; }
  void setLastLoadedRootNode(NodeView* n) { lastLoadedRootNode_ = n; }
  const std::vector<RelationshipPtr>& relationships() const { return relationships_; }
  int fileFormat() const { return fileFormat_; }
  int preferredSideForNextNewTopic() const { return preferredSideForNextNewTopic_; }
  kit::View* crosshairButton() const { return crosshairButton_.get(); }
  kit::View* topicDisclosureButton() const { return topicDisclosureButton_.get(); }
  kit::View* topicResizeTool() const { return topicResizeTool_.get(); }
  kit::View* topicResizeIndicator() const { return topicResizeIndicator_.get(); }
  NodeView* dragDropNode() const { return dragDropNode_; }
  kit::Point dragDropNodesOriginalPosition() const { return dragDropNodesOriginalPosition_; }
  NodeView* fosterNode() const { return fosterNode_; }
  bool isCrosshairShown() const;
  const kit::Value& exportManifest() const { return exportManifest_; }
  void setExportManifest(kit::Value v) { exportManifest_ = std::move(v); }
  const std::optional<std::string>& strRootID() const { return strRootID_; }
  void setStrRootID(std::optional<std::string> id) { strRootID_ = std::move(id); }

  // ---- Creation (big_view_create.cpp) ---------------------------------------------------------
  // The only place topics are made. A nil parent makes the central topic.
  NodeView* createChildNodeOf(NodeView* parent, kit::Point position);
  NodeView* createSiblingOf(NodeView* topic, bool above);
  NodeView* createChildNodeOf(NodeView* parent, int onSide);
  NodeView* createAndEditNewChildOf(NodeView* parent, const std::string& text);
  NodeView* createAndEditNewSiblingOf(NodeView* topic, bool above, const std::string& text);
  NodeView* createAndEditNewParentOf(NodeView* topic, const std::string& text);
  NodeView* createAndEditNewChildLevelOf(NodeView* topic, const std::string& text);
  NodeView* createAndEditNewCallout(NodeView* topic, const std::string& text);
  NodeView* createAndEditNewSiblingCallout(NodeView* topic, const std::string& text);
  NodeView* createAndEditNewFloatingNode(const std::string& text);
  void selectAndEditNode(NodeView* topic);

  // ---- Deletion (big_view_delete.cpp) ---------------------------------------------------------
  void removeNode(NodeView* topic);
  void deleteBranch(NodeView* topic);
  void deleteTopic(NodeView* topic);
  void deleteTopicThenEditParent();
  NodeView* findNearestVisibleSibling(NodeView* topic);
  void recursivelyRemoveChildNodesFromViewChain(NodeView* topic);
  void mergeNodeChildren(NodeView* topic);
  void toggleFoldState(NodeView* topic);

  // ---- Other commands and queries (big_view_core.cpp) -----------------------------------------
  void recursivelyExpandNodesFrom(NodeView* topic, int depthCount);
  int getTopicCount(NodeView* topic);
  void restoreNodePositions(const kit::Value& positions);
  NodeView* getNodeByUUID(const std::string& uuid);
  NodeView* getNodeByReferenceID(const std::string& id, NodeView* searchingUnder);
  // Records "move" for the selection (its parent in keep-organised mode) once per touch.
  void logMoveStartForUndoIfNotAlreadyLogged();
  void onCrosshairPressed();
  void onTopicDisclosurePressed();
  void onTopicTextChanged();
  // Called by the document controller before it releases the canvas.
  void preDealloc();

  // ---- Selection and drop target --------------------------------------------------------------
  void setSelectedNode(NodeView* topic, bool notify);
  void setDragDropNode(NodeView* topic);
  void setFosterNode(NodeView* topic);
  void bringBranchTopicsToFront(NodeView* topic);
  void evaluateDisplayAttributesForSelectedBranchAndRedraw();
  // Dimming criteria bits: 2 off the focused branch, 4 completed tasks, 8 callouts.
  void setBrightnessForCriteria(int criteria, NodeView* topic);
  // Geometry observer of the selected topic; places the resize tool and disclosure button.
  void onSelectedNodeGeometryChange();

  // ---- Stand-ins for the Parts that draw, lay out and relate topics ---------------------------
  // Drawing is not built yet: a redraw request only marks the canvas.
  void requestRedraw();
  bool isKeepOrganised();
  // Automatic layout is not built yet: these do nothing.
  void keepOrganisedAsNecessary(NodeView* topic);
  void rearrangeAll(bool animated);
  void rearrangeChildren(NodeView* topic, bool animated);
  void rearrangeImmediateChildren(NodeView* topic, int onSide, bool animated);
  // Relationships are not built yet: there are none to remove or show.
  void removeRelationshipsFrom(NodeView* topic, bool andItsChildren);
  void updateRelationshipControlPoints();

 private:
  void endEditing();
  void hideCrosshair();
  // Clears every pointer the canvas holds to topic (or, with branch, to any topic below it).
  void forgetTopic(NodeView* topic, bool branch);
  // Takes the tree down; with notify as preDealloc does, silently from the destructor.
  void teardown(bool notify);

  // Fields, in the order of the canvas record.
  DocumentServices* parentController_ = nullptr;
  std::vector<RelationshipPtr> relationships_;
  kit::Value relationshipsToBuildAfterLoad_;
  kit::Value relationshipToBuild_;
  std::unique_ptr<NodeView> rootNode_;
  NodeView* selectedNode_ = nullptr;
  NodeView* dragDropNode_ = nullptr;
  kit::Point dragDropNodesOriginalPosition_;
  NodeView* fosterNode_ = nullptr;
  NodeView* lastLoadedRootNode_ = nullptr;
  std::vector<NodeView*> arrayOfNodesToFoldAfterLoad_;
  int xmlParseContext_ = 0;
  std::string xmlBeingParsed_;
  kit::Value xmlDataStack_;
  std::string xmlElementContent_;
  int xmlMultiElementCounter_ = 0;
  std::string xmlMultiElementContent_;
  bool xmlMultiElementContentIsHTML_ = false;
  int xmlMultiElementContentType_ = 0;
  int fileFormat_ = 0;
  int preferredSideForNextNewTopic_ = 0;
  int ignoreElement_ = 0;
  std::vector<std::string> xmlPath_;
  kit::Value exportManifest_;
  kit::Value nm5Topics_, currentNM5Topic_;
  std::optional<std::string> strRootID_;
  kit::Point ptImportAbsoluteRoot_;
  bool redrawEvent_ = false;
  // Plain views stand in for the buttons, the resize grip and its read-out until the controls
  // and the resize tool exist; each keeps its size, alpha and place among the subviews.
  std::unique_ptr<kit::View> crosshairButton_;
  std::unique_ptr<kit::View> topicDisclosureButton_;
  kit::View* touchView_ = nullptr;
  double tmTouchesBegan_ = 0;
  kit::Point ptTouchDown_;
  kit::Size touchCentreOffset_;
  kit::Point ptCurrentTouch_;
  bool lastTouchBeganOnSelectedNode_ = false;
  bool bLoggedUndoForCurrentMove_ = false;
  bool bAutoScrollEnabled_ = false;
  float autoscrollDistanceX_ = 0, autoscrollDistanceY_ = 0;
  std::uint32_t menuOptions_ = 0;
  int menuOptionsContext_ = 0;
  std::uint32_t menuOptionsAtLastTouchDown_ = 0;
  bool bFloatingGuidesOn_ = false;
  std::unique_ptr<kit::View> topicResizeTool_;
  std::unique_ptr<kit::View> topicResizeIndicator_;
  kit::Point ptBranchLayerRef_;
  NodeView* draggingTopic_ = nullptr;
  RelationshipView* draggingRelationship_ = nullptr;
  bool deallocPrepared_ = false;
  kit::ObserverOwner observing_{this};
};
