// The map canvas: one very large view that owns the central topic (and through it the whole
// tree), the relationships and the selection, and is the only place where topics are created
// and removed. Every topic is a direct subview of the canvas.
//
// The canvas never keeps a pointer to a topic it removed: selection, drag-and-drop topic,
// foster parent, dragged topic, touch view and reader state are cleared first.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/core/notification_center.h"
#include "kit/core/value.h"
#include "kit/graphics/path.h"
#include "kit/core/run_loop.h"
#include "kit/ui/button.h"
#include "kit/ui/layer.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/tiled_layer.h"
#include "kit/ui/view.h"
#include "model/document_services.h"
#include "model/node_view.h"
#include "model/relationship_view.h"

// The scroll view that holds the canvas: a drag that starts on a topic, a relationship or the
// resize tool stays with it; one that starts anywhere else pans the map.
class MapScrollView : public kit::ScrollView {
 public:
  using kit::ScrollView::ScrollView;
  bool touchesShouldBegin(const kit::TouchSet& touches, const kit::Event& event, kit::View* view) override;
  bool touchesShouldCancelInContentView(kit::View* view) override;
  void scrollRectToVisible(const kit::Rect& rect, bool animated) override;

 private:
  bool staysWithContent(const kit::View* view) const;
};

// Owned relationships.
using RelationshipPtr = std::unique_ptr<RelationshipView>;

// Sides of a new child: 0 the topic's own side (automatic), 1 left, 2 right of the central topic.
namespace Side {
constexpr int Automatic = 0;
constexpr int Left = 1;
constexpr int Right = 2;
}  // namespace Side

// The map file formats. The canvas reaches its readers and writers through this interface so
// that it does not depend on them; the document controller installs them on its canvas.
class MapFormatServices {
 public:
  virtual ~MapFormatServices() = default;
  virtual void dumpNode(BigView& canvas, NodeView* topic, std::string& xml, int inFormat) = 0;
  virtual void loadFromXML(BigView& canvas, std::string_view xml, int context) = 0;
  virtual std::string buildMarkdownOutlineFor(BigView& canvas, NodeView* topic) = 0;
  virtual std::string buildOPMLFromText(std::string_view text, bool ensureSingleRoot) = 0;
};

// Bits of the popup menu's options.
namespace MenuOption {
constexpr std::uint32_t ShowAgain = 0x2;  // show the menu again after it hides
constexpr std::uint32_t Cut = 0x4;
constexpr std::uint32_t Copy = 0x8;
constexpr std::uint32_t Paste = 0x10;
constexpr std::uint32_t PasteStyle = 0x20;
constexpr std::uint32_t Delete = 0x40;
constexpr std::uint32_t Float = 0x80;
constexpr std::uint32_t FloatACopy = 0x100;
constexpr std::uint32_t PasteAsFloating = 0x200;
constexpr std::uint32_t DeleteTopic = 0x400;
constexpr std::uint32_t DeleteBranch = 0x800;
constexpr std::uint32_t Move = 0x1000;
constexpr std::uint32_t Merge = 0x2000;
constexpr std::uint32_t Align = 0x4000;
constexpr std::uint32_t Justify = 0x8000;
constexpr std::uint32_t Above = 0x10000;
constexpr std::uint32_t Below = 0x20000;
constexpr std::uint32_t AlignChildren = 0x40000;
constexpr std::uint32_t Show = 0x80000;
constexpr std::uint32_t Hide = 0x100000;
constexpr std::uint32_t Level1 = 0x200000;
constexpr std::uint32_t Level2 = 0x400000;
constexpr std::uint32_t LevelAll = 0x800000;
constexpr std::uint32_t Realign = 0x1000000;
constexpr std::uint32_t ApplyChildren = 0x2000000;
constexpr std::uint32_t ApplyToChildren = 0x4000000;
constexpr std::uint32_t ApplySiblings = 0x8000000;
constexpr std::uint32_t ApplyToSiblings = 0x10000000;
constexpr std::uint32_t ApplyBoth = 0x20000000;
constexpr std::uint32_t AutoSize = 0x40000000;
constexpr std::uint32_t NewFloatingTopic = 0x80000000;
}  // namespace MenuOption

class TopicResizeTool;
class TopicResizeIndicator;

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

  // ---- Map file formats, through the installed services (nothing is read or written without) --
  void setFormatServices(MapFormatServices* services) { formatServices_ = services; }
  MapFormatServices* formatServices() const { return formatServices_; }
  // The Paste Style chooser is a screen of the editing layer: whoever shows the map presents it
  // over the map for the copied attributes and the topic they go to.
  using PasteStyleChooserPresenter = std::function<void(kit::Value attributes, NodeView* topic)>;
  void setPasteStyleChooserPresenter(PasteStyleChooserPresenter p) { pasteStyleChooserPresenter_ = std::move(p); }
  // The topic editor is a screen of the editing layer too. The topic disclosure button that opens
  // it on the selection is shown only while a presenter is installed.
  using TopicEditorPresenter = std::function<void(NodeView* topic)>;
  void setTopicEditorPresenter(TopicEditorPresenter p);
  void setFileFormat(int format) { fileFormat_ = format; }
  void dumpNode(NodeView* topic, std::string& xml, int inFormat) {
    if (formatServices_) formatServices_->dumpNode(*this, topic, xml, inFormat);
  }
  void loadFromXML(std::string_view xml, int context) {
    lastLoadedRootNode_ = nullptr;
    if (formatServices_) formatServices_->loadFromXML(*this, xml, context);
  }
  std::string buildMarkdownOutlineFor(NodeView* topic) {
    return formatServices_ ? formatServices_->buildMarkdownOutlineFor(*this, topic) : std::string();
  }

  // ---- Creation (big_view_create.cpp) ---------------------------------------------------------
  // The only place topics are made. A nil parent makes the central topic.
  NodeView* createChildNodeOf(NodeView* parent, kit::Point position);
  // For loaders that make many topics (parent not nil): the topic takes the recorded identity (a
  // new one when empty), is not selected (selecting walks to the root, so a chain would cost its
  // depth squared) and gets no display values: the loader evaluates each, parents first.
  // Its child list is made room for the given number of children.
  NodeView* createLoadedChildOf(NodeView* parent, kit::Point position, std::string uuid, std::size_t children = 0);
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
  // Runs a creation and records its undo, "delete-topic" for the new topic with the places of
  // the whole map before it ("positions"): the creation may have pushed other topics aside.
  NodeView* createWithUndo(const std::function<NodeView*()>& create);
  // Ends in-place editing on the selected topic.
  void endEditing();

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
  // The branch's position snapshot, followed by the order of its child lists ({"of",
  // "children"}) and the map's relationship control points ({"relationship", "centre"});
  // restoreNodePositions puts back all three.
  kit::Value snapshotPositions(NodeView* topic);
  void restoreNodePositions(const kit::Value& positions);
  // Records "move" with the branch's snapshot: its undo puts back every place in the branch.
  void pushPlacesUndo(NodeView* topic);
  // Puts the topic's children in the recorded order when they are the same topics.
  void restoreChildOrder(const std::string& parent, const kit::Array& order);
  NodeView* getNodeByUUID(const std::string& uuid);
  NodeView* getNodeByReferenceID(const std::string& id, NodeView* searchingUnder);
  // Records "move" for the moved topic, by default the selection (its parent in keep-organised
  // mode), once per touch.
  void logMoveStartForUndoIfNotAlreadyLogged(NodeView* moved = nullptr);
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
  // The visible topic whose centre is nearest to the topic's (not the topic itself), or nil.
  NodeView* getClosestVisibleNodeTo(NodeView* topic);
  // A selection folded away (alpha 0) moves to the nearest visible topic, else the root.
  void ensureCurrentSelectionIsOnVisibleTopic();
  // During a drag: the visible topic under the finger, else the one overlapping the dragged
  // topic most, becomes the foster parent.
  void checkForFosterParent();
  // Dimming criteria bits: 2 off the focused branch, 4 completed tasks, 8 callouts.
  void setBrightnessForCriteria(int criteria, NodeView* topic);
  // Geometry observer of the selected topic; places the resize tool and disclosure button.
  void onSelectedNodeGeometryChange();

  // ---- Touches and gestures (big_view_touches.cpp) --------------------------------------------
  // One touch is followed at a time; further fingers only go up the responder chain. Pending
  // gestures are delayed performs on the main run loop; clearGestureTimers cancels all four.
  void touchesBegan(const kit::TouchSet& touches, const kit::Event& event) override;
  void touchesMoved(const kit::TouchSet& touches, const kit::Event& event) override;
  void touchesEnded(const kit::TouchSet& touches, const kit::Event& event) override;
  void touchesCancelled(const kit::TouchSet& touches, const kit::Event& event) override;
  // A shake centres the map on its central topic and shows the map's name.
  void motionEnded(kit::MotionType motion, const kit::Event& event) override;
  bool canBecomeFirstResponder() const override { return true; }
  // Deferred is true when the tap waited for a possible second tap; such a tap never follows a link.
  void _onNodeSingleTap(bool deferred);
  void onNodeSingleTap() { _onNodeSingleTap(true); }
  void onNodeDoubleTap();
  void onBackgroundSingleTap();
  void onBackgroundDoubleTap();
  // The topic a background double tap makes from the selection (nullptr for a new parent, which
  // records its own undo).
  NodeView* createByDirectionFrom(NodeView* selection, bool selectionWasEdited);
  void longPressStage1();
  void longPressStage2();
  void clearGestureTimers();
  void hideMenuController();
  void onRelationshipEdit(RelationshipView* relationship);
  kit::View* touchView() const { return touchView_; }
  bool lastTouchBeganOnSelectedNode() const { return lastTouchBeganOnSelectedNode_; }

  // ---- Dragging and autoscroll (big_view_drag.cpp) --------------------------------------------
  // While a topic or a relationship's control point is dragged, its lines are drawn into shape
  // layers under this one, composited over the tiles, so that a move redraws no tile.
  kit::Layer& canvasLayer() { return *canvasLayer_; }
  // One frame: the finished tiles meeting visible, then the canvas's layers.
  void compositeFrame(kit::GraphicsContext& context, const kit::Rect& visible);
  // A screen frame: queues the visible tiles, shows the canvas colour where none is finished yet,
  // then compositeFrame; true when every visible tile was current. Topics are in the tiles, so a
  // frame draws only their subviews (the in-place editor), except those of a dragged branch,
  // which the tiles leave out; relationships' control handles are drawn live too.
  bool drawFrameContent(kit::GraphicsContext& context, const kit::Rect& visible) override;
  bool tilesHoldSubview(const kit::View& subview) const override;
  // Topics, relationships, their editors and buttons: none of them scrolls.
  bool subviewsMayScroll() const override { return false; }
  // Topics reaching past the canvas's edges (a map placed at its origin) take touches there as
  // well; the background ends at the bounds.
  kit::View* hitTest(kit::Point p) override;
  NodeView* draggingTopic() const { return draggingTopic_; }
  RelationshipView* draggingRelationship() const { return draggingRelationship_; }
  kit::ShapeLayer* linkLayer() const { return linkLayer_.get(); }
  kit::Layer* branchLayer() const { return branchLayer_.get(); }
  kit::ShapeLayer* interBranchRelationshipLayer() const { return interBranchRelationshipLayer_.get(); }
  bool isAutoscrolling() const { return autoscrollTimer_ != nullptr; }
  void setAutoScrollEnabled(bool flag) { bAutoScrollEnabled_ = flag; }
  void preDragTopicInitFor(NodeView* topic);
  void buildDragTopicBranchLayersFor(NodeView* topic);
  void _addLinkToPath(kit::Path& path, NodeView* forNode, const std::string* coloured, bool fill);
  void _addNonContainedRelationshipsToPath(kit::Path& path, NodeView* forNode);
  // Layers go after 0.3 s with linger, else at the next pass of the run loop.
  void postDragTopicCleanup(bool linger);
  void preDragRelationshipInitFor(RelationshipView* relationship);
  void postDragRelationshipCleanup();
  void maybeAutoscroll();
  static float autoscrollDistanceForProximityToEdge(float distance);
  void legalizeAutoscrollDistance();
  void clearAutoScrollTimerIfEnabled();
  // Ends a lift without a drop: the lifted topic goes back to where it was lifted and is selected.
  void putBackLiftedTopic(bool animate);
  // A drag that ended as a tap: its preview goes at once.
  void endTappedDrag();

  // ---- Resize grip (big_view_resize.cpp) ----------------------------------------------------
  // The grip's pan, by state (TopicResizeTool::State), and its tap.
  void onTopicResizeToolMove(int state);
  void onTopicResizeToolTap();
  // The grip is being dragged: the selected topic is half resized.
  bool resizingTopic() const;
  void alignTopicResizeIndicatorOn(NodeView* topic, bool verticalOnly);
  void showTopicResizeIndicator(bool show);
  static std::uint32_t applyToOptionsFor(NodeView* topic);

  // ---- Popup menu -----------------------------------------------------------------------------
  // The options of the menu on show (0: none); hideMenuController clears them.
  std::uint32_t menuOptions() const { return menuOptions_; }
  // Shows the menu with menuOptions next to the rectangle (canvas coordinates).
  void showPopupMenuForRect(const kit::Rect& rect);
  const kit::Rect& popupMenuRect() const { return popupMenuRect_; }
  // For the handlers that build a menu (drop, resize tool) before showPopupMenuForRect.
  void setMenuOptions(std::uint32_t options) { menuOptions_ = options; }
  // 1 after "Auto-size" (apply automatic width and font size), 2 after a resize.
  int menuOptionsContext() const { return menuOptionsContext_; }
  void setMenuOptionsContext(int context) { menuOptionsContext_ = context; }

  // ---- Popup menu commands (big_view_menu.cpp) -----------------------------------------------
  // Only while first responder, and only the menu's own actions whose bit is set.
  bool canPerformAction(std::string_view action, const void* sender) const override;
  bool performAction(std::string_view action, const void* sender) override;
  // The shared menu hid: shows it again 0.1 s later when asked to, else ends the menu and puts
  // a dropped topic that still waits back where it was.
  void onMenuDidHide();
  void onRepresentMenu();
  // Each clears menuOptions first.
  void _cut();
  void _copy();
  void _paste();
  void _pasteStyle();
  void _delete();
  void deletebranch();
  void deletetopic();
  void align();
  void justify();
  void above();
  void below();
  void children();
  void alignafterfold();
  void show();
  void show1();
  void show2();
  void showall();
  void hide();
  void move();
  void merge();
  void floattopic();
  void floatNode(NodeView* topic);
  void copyandfloattopic();
  void pasteandfloattopic();
  void _menuOptionNewFloatingTopic();
  void _menuOptionApplyToChildren1();
  void _menuOptionApplyToChildren2() { _menuOptionApplyToChildren1(); }
  void _menuOptionApplyToSiblings1();
  void _menuOptionApplyToSiblings2() { _menuOptionApplyToSiblings1(); }
  void _menuOptionApplyToBoth();
  void _menuOptionAutoFontAndWidth();

  // ---- Topic clipboard (big_view_clipboard.cpp) ----------------------------------------------
  // Clipboard 1 is the user's and is mirrored on the general pasteboard; clipboard 2 is the
  // working copy a drag fills. Each keeps its record in a file of the temporary folder.
  void copyNode(NodeView* topic, int toClipboard);
  void copySelectedNodeToClipboard();
  // Takes an undo snapshot first.
  void cutSelectedNodeToClipboard();
  // Side 0 as recorded, 1 left, 2 right of the central topic. Takes the undo snapshot when
  // there is something to paste. False when nothing was pasted (no record, no text, an image that could not be
  // stored, text that could not be read as an outline).
  bool pasteClipboard(int clipboard, int onSide, bool andFloat);
  // The attributes copied with the topics onto the general pasteboard; null when there are none.
  static kit::Value clipboardTopicAttributes();
  // Paste Style: the copied attributes picked by mask, applied to the topic and, by scope, to
  // its siblings and branch, with undo. False when there is nothing to apply.
  bool pasteStyleOnto(NodeView* topic, std::uint32_t mask, std::uint32_t scope);

  // ---- Fold and grow (big_view_delete.cpp, big_view_touches.cpp) -----------------------------
  // The fold menu of the selected topic, at its disclosure target.
  void showFoldMenu();
  // The topic's display transform animates to a uniform scale (its geometry stays).
  void growNode(NodeView* topic, float byScale);
  // At least 120 points wide on screen, else 20 points wider.
  void growNode(NodeView* topic);
  // Back to the identity when enlarged; the canvas redraws when the animation stops.
  void shrinkNode(NodeView* topic);
  void onNodeShrunk(bool finished);

  // ---- Drawing (big_view_drawing.cpp) and link geometry (big_view_links.cpp) -----------------
  // Drawing types: 0 screen tiles, 1 PDF, 2 images, 3 external display. Every drawing holds the
  // global tree lock throughout; requestRedraw and the layer calls run on the main thread.
  // Marks every tile (and the external display's view) for drawing; the next drawing recomputes
  // the boundaries first.
  void requestRedraw();
  // Shows the guides from the central topic to the floating topics until the next notified
  // selection change (the document calls it after opening a map and centring on the root).
  void showFloatingNodeGuides();
  // How the external display's map view is marked while the external display flag is on.
  static void setExternalDisplayRedraw(std::function<void()> markExternalView);
  // The tiled layer that shows the canvas, made on first use; tiles draw through drawLayer.
  kit::TiledLayer& layer();
  // No tile is drawn after this returns (preDealloc).
  void detachLayer();
  // Adds the topics marked for display to the layer's marks and queues the visible tiles.
  void displayLayer(const kit::Rect& visible);
  // One tile: drawRect, then the topics that meet it in tree order.
  void drawLayer(kit::GraphicsContext& context, const kit::Rect& tile);
  // Several tiles in one hold of the tree lock: walks the tree once for `area`, the union of the
  // tiles, and returns what draws each of them as drawLayer would (null without a root).
  kit::TiledLayer::Delegate prepareLayerTiles(const kit::Rect& area);
  // Fills with the canvas colour, then drawInContext with type 0.
  void drawRect(kit::GraphicsContext& context, const kit::Rect& rect) override;
  // Boundaries, floating guides, links and relationships meeting the clip; topics are not drawn.
  void drawInContext(kit::GraphicsContext& context, int ofType, const kit::Rect& clippedTo);
  void recursivelyDrawBoundaries(NodeView* topic, kit::GraphicsContext& inContext, int ofType,
                                 const kit::Rect& clippedTo);
  void drawBoundaryFor(NodeView* topic, kit::GraphicsContext& inContext, int ofType);
  void drawFloatingGuidesInContext(kit::GraphicsContext& context, int ofType, const kit::Rect& clippedTo);
  void recursivelyDrawLinks(NodeView* topic, kit::GraphicsContext& inContext, int ofType, const kit::Rect& clippedTo);
  void drawLinkFrom(NodeView* child, NodeView* to, kit::GraphicsContext& inContext, int ofType);
  void drawRelationships(kit::GraphicsContext& context, int ofType, const kit::Rect& clippedTo);
  void drawRelationship(RelationshipView* relationship, kit::GraphicsContext& inContext, int ofType,
                        const kit::Rect& clippedTo);
  // Style 1 arrow, 2 disc, others nothing; local +y points along the curve.
  static void drawArrowHead(int style, kit::GraphicsContext& inContext, kit::Point atPoint, float andAngle);
  // The link outline from child to parent (callout wedge, curve or tapered wedge, underline).
  static void addLinkToPath(kit::Path& path, NodeView* from, NodeView* to);
  // False when no link is to be drawn (overlapping topics); start on the child, end on the parent.
  static bool calculateInterTopicLinkGeometryFrom(NodeView* from, NodeView* to, kit::Point& start, kit::Point& end,
                                                  int& linkType);
  // Link types 1 side to top/bottom, 2 top/bottom to side, 3 side to side, 4 bottom to top.
  static void addLinkToPath(kit::Path& path, kit::Point from, kit::Point to, int linkType, bool tapered);
  // Tip on `from`, base on `to`; the tip stays (0, 0) when it cannot be found.
  static void createReverseTaperedLinkPathFrom(NodeView* from, NodeView* to, kit::Point& ptFrom, kit::Point& ptTo1,
                                               kit::Point& ptTo2);
  static bool calcBestRelationshipConnectionPointsFrom(NodeView* from, NodeView* to, kit::Point control,
                                                       kit::Point& retvalStart, kit::Point& retvalEnd);
  static void calcBestConnectionPointOn(NodeView* topic, kit::Point control, kit::Point& retvalPoint);
  // x1 - x2 (y1 - y2) after both are converted into the canvas's superview's superview.
  float screenXDiffBetween(float x1, float x2) const;
  float screenYDiffBetween(float y1, float y2) const;

  // ---- Automatic layout (big_view_layout.cpp) --------------------------------------------------
  // Children stand in one column 70 points beside their parent, 10 points apart, centred on it.
  // Callouts and floating topics are never placed as children; a floating topic is laid out as
  // a root. Sides: 0 the topic's own, 1 left, 2 right. Nothing here pushes an undo record.
  bool isKeepOrganised();
  // After an edit, in keep-organised mode only: nil lays out the whole map, a root its branch,
  // any other topic the half of its root's tree that holds it.
  void keepOrganisedAsNecessary(NodeView* topic);
  void rearrangeAll(bool animated);
  // Callouts and/or floating topics are laid out as ordinary children once, then get their
  // flags back without undo records.
  void rearrangeAll(bool animated, bool includingCallouts, bool includingFloating);
  void rearrangeChildren(NodeView* topic, bool animated);
  void rearrangeChildren(NodeView* topic, int onSide, bool animated);
  // Deepest levels first; children of both sides of a root are descended into alike.
  void _rearrangeChildren(NodeView* topic, int onSide);
  void rearrangeImmediateChildren(NodeView* topic, int onSide, bool animated);
  // Stacks the same-side siblings below the topic (or above it), 10 points apart.
  void arrangeSiblingsOf(NodeView* topic, bool belowIt, bool animated);
  // Order 3 nothing, 4 mirror every child, 2 mirror then as 1; otherwise the children after the
  // height-halving one cross to the other side (order 1: reflected about the topic's centre).
  void balanceMapAround(NodeView* topic, int order);
  // Aligns the inner edges of the topic's siblings on its logical side with its own.
  void alignSiblingNodesWith(NodeView* topic, bool animated);

  // ---- Relationships (big_view_relationships.cpp); list changes hold the global tree lock ----
  // The location is an offset from a's centre, or (0, 0) for the computed control point. Null
  // when an end is null.
  RelationshipView* createRelationshipBetweenNode(NodeView* a, int andStyle, NodeView* andNode, int andStyle2,
                                                  kit::Point atLocation, RGB255 withColour);
  // Ends looked up by reference id under lastLoadedRootNode; null when either is missing.
  RelationshipView* createRelationshipBetweenNodeByReferenceID(const std::string& a, int andStyle,
                                                               const std::string& andID, int andStyle2,
                                                               kit::Point atLocation, RGB255 withColour);
  kit::Point calcBestRelationshipControlPointBetween(NodeView* a, NodeView* b);
  // Kept 40 points inside the canvas's bounds; the upper bound wins on a tiny canvas.
  kit::Point adjustRelationshipControlPointForBounds(kit::Point p);
  kit::Rect calcRelationshipBounds();
  bool isAnyBranchAffinityWith(NodeView* topic, int ofType, bool includingHidden);
  // Every relationship with an end on the topic or, with the flag, anywhere in its branch.
  void removeRelationshipsFrom(NodeView* topic, bool andItsChildren);
  void removeRelationship(RelationshipView* relationship);
  // Shows the handles of the selected topic's relationships, hides the others.
  void updateRelationshipControlPoints();
  RelationshipView* getRelationshipByUUID(const std::string& uuid);

  // ---- Screenshots and image export (big_view_export.cpp) -------------------------------------
  // The map's bounds (relationship handles included) plus 20 points each way; over maxArea
  // square points, shrunk about the root keeping proportions. Null without a root.
  kit::Rect getAdjustedScreenshotRect(float maxArea);
  bool saveScreenshotToFile(const std::optional<std::string>& path, float maxArea);
  // By the extension (any case): "png", "jpg" or "pdf"; any other writes nothing. A nil path
  // saves to the photo album. True when a file was written; a failed save leaves no file. A
  // bitmap with a side above kit::kMaxImageSide pixels is scaled down to fit, never cut.
  bool saveScreenshotToFile(const std::optional<std::string>& path, const kit::Rect& forRect,
                            const std::optional<std::string>& withWatermark);
  std::string createHTMLImageMapFor(const std::string& name, const kit::Rect& inRect);
  // The whole map into the context's clip box (the external display), under the tree lock.
  void dumpToContext(kit::GraphicsContext& context);

 private:
  NodeView* finishNewParentTopic(NodeView* n);
  void openFoldForNewChild(NodeView* parent);
  // The pasteboard's image as a new asset on a new or the selected topic; false when refused.
  bool pasteImageAsTopic(bool andFloat, bool crosshair);
  friend class BigViewDrawingTestAccess;  // tests set the drag and guide state

  // drawInContext in one walk of the tree; also lists the topics meeting the clip when asked.
  void drawMap(kit::GraphicsContext& context, int ofType, const kit::Rect& clip, std::vector<NodeView*>* topics);
  // Ends in-place editing when the topic or a topic below it is being edited.
  void endEditingWithin(NodeView* topic);
  void hideCrosshair();
  void _touchesBegan(kit::Touch& touch, const kit::Event& event);
  void _touchesMoved(kit::Touch& touch, const kit::Event& event);
  void _touchesEnded(kit::Touch& touch, const kit::Event& event);
  void _touchesCancelled(kit::Touch& touch, const kit::Event& event);
  // Drag workers (big_view_drag.cpp), called from the touch workers.
  void dragTouchMoved();
  void dragTouchEnded();
  void dragTouchCancelled();
  void autoscrollTimerFired(const kit::Value& userInfo);
  kit::Path relationshipCurve(RelationshipView* relationship) const;
  // Sends the named gesture message after delay seconds unless clearGestureTimers comes first;
  // with forSelection, only while the topic selected now is still the selection.
  void scheduleGesture(const char* name, double delay, void (BigView::*fn)(), bool forSelection);
  void showOverlayMessage(const std::string& title, float fontSize, double seconds);
  // Clears every pointer the canvas holds to topic (or, with branch, to any topic below it).
  void forgetTopic(NodeView* topic, bool branch);
  // Clears every pointer to a relationship that is leaving (start topic's list, drag, touch).
  void forgetRelationship(RelationshipView* relationship);
  // Takes the tree down; with notify as preDealloc does, silently from the destructor.
  void teardown(bool notify);
  // Called from the constructor: onMenuDidHide follows the shared menu.
  void observeMenuController();
  // The topic clipboard's entry points as the menu calls them; they do nothing until the
  // clipboard is built.
  void menuCutToClipboard();
  void menuCopyToClipboard();
  bool menuPasteClipboard(int clipboard, int side, bool floating);
  void menuShowPasteStyleChooser();
  // The fold menu's "Show" family ends here: handles, then keep-organised or "Realign".
  void afterShowingLevels();
  // "1 Level", "2 Levels", "All" (-1), and "Above" / "Below".
  void showLevels(int depthCount);
  void alignAndStackSiblings(bool belowIt);
  // The apply-to commands: the children of topic (with descendants, the whole branch below it)
  // get the width and font size that menuOptionsContext names, in one undo group.
  void applyWidthAndFontSize(NodeView* topic, bool descendants);

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
  std::atomic<bool> redrawEvent_{false};  // set on the main thread, cleared by a drawing
  // Plain views stand in for the buttons, the resize grip and its read-out until the controls
  // and the resize tool exist; each keeps its size, alpha and place among the subviews.
  std::unique_ptr<kit::Button> crosshairButton_;
  std::unique_ptr<kit::Button> topicDisclosureButton_;
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
  kit::Rect popupMenuRect_;
  bool bFloatingGuidesOn_ = false;
  // The topics of a dragged branch, which the tiles leave out: screen frames draw them live, over
  // the tiles and the drag's lines. Sorted; empty without a drag. Found for each frame.
  std::vector<const kit::View*> liveTopics_;
  void findLiveTopics();
  std::unique_ptr<kit::View> topicResizeTool_;
  std::unique_ptr<kit::View> topicResizeIndicator_;
  kit::Point ptBranchLayerRef_;
  NodeView* draggingTopic_ = nullptr;
  RelationshipView* draggingRelationship_ = nullptr;
  bool deallocPrepared_ = false;
  std::shared_ptr<kit::Layer> canvasLayer_ = std::make_shared<kit::Layer>();
  std::shared_ptr<kit::ShapeLayer> linkLayer_;
  std::shared_ptr<kit::Layer> branchLayer_;
  std::shared_ptr<kit::ShapeLayer> interBranchRelationshipLayer_;
  kit::TimerRef autoscrollTimer_;
  kit::Value dragStartPositions_;  // the dragged branch's centres at the first move
  MapFormatServices* formatServices_ = nullptr;
  PasteStyleChooserPresenter pasteStyleChooserPresenter_;
  TopicEditorPresenter topicEditorPresenter_;
  kit::ObserverOwner observing_{this};
  // Last, so that it goes first: its tiles read the fields above until it has stopped.
  std::unique_ptr<kit::TiledLayer> layer_;
};
