// One topic of a map: at once the record of its text, note, link, style and task data and the
// view that draws it. All topics are flat subviews of the canvas; the tree exists only through
// each topic's parent (not owned) and its ordered children (owned).
//
// Only the canvas creates topics and changes child lists, under the global tree lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "helpers/colour_types.h"
#include "helpers/smte_delegate_controller.h"
#include "kit/core/geometry.h"
#include "kit/core/value.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view.h"
#include "model/document_services.h"
#include "model/ui_text_view_ex.h"

class BigView;
class RelationshipView;
namespace kit {
class Font;
}

// Bits of `nodeModTally`; the topic attribute flag mask uses the same bits.
namespace NodeModTally {
constexpr std::uint32_t Colour = 0x4;
constexpr std::uint32_t Shape = 0x8;
constexpr std::uint32_t Boundary = 0x10;  // attribute mask only
constexpr std::uint32_t Callout = 0x20;
constexpr std::uint32_t FontSize = 0x40;
constexpr std::uint32_t Width = 0x80;
constexpr std::uint32_t TextStyle = 0x100;
constexpr std::uint32_t Progress = 0x200;
constexpr std::uint32_t StartDate = 0x400;
constexpr std::uint32_t DueDate = 0x800;
constexpr std::uint32_t Effort = 0x1000;
constexpr std::uint32_t Resources = 0x2000;
constexpr std::uint32_t Icons = 0x4000;
}  // namespace NodeModTally

// Topic shape codes.
namespace TopicShape {
constexpr std::int32_t RoundedRectangle = 0;
constexpr std::int32_t Rectangle = 1;
constexpr std::int32_t Oval = 2;
constexpr std::int32_t Line = 3;
constexpr std::int32_t Unset = 99;
}  // namespace TopicShape

// Text style bits.
namespace TopicTextStyle {
constexpr std::uint32_t Bold = 2;
constexpr std::uint32_t Italic = 4;
}  // namespace TopicTextStyle

// The own colour that means "none chosen".
constexpr RGB255 kUnsetColour{0, 0, 254};

class NodeView : public kit::View, private kit::TextViewDelegate {
 public:
  using ChildList = std::vector<std::unique_ptr<NodeView>>;

  // ---- Creation and release (node_view.cpp) -------------------------------------------------
  // The designated initializer; only the canvas creates topics, and adds them to the tree.
  NodeView(NodeView* parent, DocumentServices* controller);
  // For loaders: the recorded identity (a new one when empty), and no display values yet: the
  // loader evaluates the whole branch once its attributes are in.
  NodeView(NodeView* parent, DocumentServices* controller, std::string uuid);
  // Releases the whole branch without recursion, so deep outlines cannot exhaust the stack.
  ~NodeView() override;

  bool canBecomeFirstResponder() const override { return true; }
  DocumentServices* parentController() const { return parentController_; }

  // ---- Plain accessors: no undo, no redraw, no tally ----------------------------------------
  std::int32_t iID() const { return iID_; }
  void setIID(std::int32_t id) { iID_ = id; }
  const std::string& uuid() const { return uuid_; }
  void setUuid(std::string uuid) { uuid_ = std::move(uuid); }
  const std::optional<std::string>& _uuidImage() const { return rare().uuidImage; }
  void set_uuidImage(std::optional<std::string> id) { setRare(&Rare::uuidImage, std::move(id)); }
  const std::optional<std::string>& strReferenceID() const { return rare().referenceID; }
  void setStrReferenceID(std::optional<std::string> id) { setRare(&Rare::referenceID, std::move(id)); }
  NodeView* parentNode() const { return parentNode_; }
  void setParentNode(NodeView* parent) { parentNode_ = parent; }
  const ChildList& childNodes() const { return childNodes_; }
  const std::string& strName() const { return strName_; }
  void setStrName(std::string text) { strName_ = std::move(text); }
  const std::string& strNote() const { return strNote_; }
  void setStrNote(std::string note) { strNote_ = std::move(note); }
  const std::string& strLink() const { return strLink_; }
  void setStrLink(std::string link) { strLink_ = std::move(link); }
  const std::optional<kit::Date>& startDate() const { return rare().startDate; }
  void setStartDate(std::optional<kit::Date> d) { setRare(&Rare::startDate, d); }
  const std::optional<kit::Date>& dueDate() const { return rare().dueDate; }
  void setDueDate(std::optional<kit::Date> d) { setRare(&Rare::dueDate, d); }
  std::int32_t percentComplete() const { return percentComplete_; }
  void setPercentComplete(std::int32_t p) { percentComplete_ = p; }
  const std::optional<std::string>& _effort() const { return rare().effort; }
  void set_effort(std::optional<std::string> e) { setRare(&Rare::effort, std::move(e)); }
  const std::optional<std::string>& strIcon1() const { return rare().icon1; }
  void setStrIcon1(std::optional<std::string> n) { setRare(&Rare::icon1, std::move(n)); }
  const std::optional<std::string>& strIcon2() const { return rare().icon2; }
  void setStrIcon2(std::optional<std::string> n) { setRare(&Rare::icon2, std::move(n)); }
  bool beingDragged() const { return beingDragged_; }
  void setBeingDragged(bool b) { beingDragged_ = b; }
  bool beingMoved() const { return beingMoved_; }
  void setBeingMoved(bool b) { beingMoved_ = b; }
  bool beingResized() const { return beingResized_; }
  const kit::Rect& textBoxRect() const { return textBoxRect_; }
  const kit::Rect& imageBoxRect() const { return imageBoxRect_; }
  const kit::Rect& nodeRect() const { return nodeRect_; }
  const kit::Rect& rcTaskBadge() const { return rcTaskBadge_; }
  kit::Size imageSize() const { return rare().imageSize; }
  RGB255 colour255() const { return colour255_; }
  // Canvas coordinates; empty when the topic draws no boundary.
  const std::vector<kit::Point>& boundaryPoints() const { return rare().boundaryPoints; }
  void setBoundaryPoints(std::vector<kit::Point> points) { setRare(&Rare::boundaryPoints, std::move(points)); }
  bool hasBoundary() const { return hasBoundary_; }
  const kit::Array& getResources() const { return rare().resources; }
  // The list exactly as given (the map readers restore it); no undo, no tally.
  void set_resources(kit::Array resources) { setRare(&Rare::resources, std::move(resources)); }
  std::uint32_t nodeModTally() const { return nodeModTally_; }
  void setNodeModTally(std::uint32_t t) { nodeModTally_ = t; }

  // ---- Selection and highlight ---------------------------------------------------------------
  bool isSelected() const { return isSelected_; }
  void setIsSelected(bool selected);
  bool isHighlighted() const { return bHighlighted_; }
  void setHighlighted(bool highlighted);

  // ---- Redraw requests -------------------------------------------------------------------------
  using kit::View::setNeedsDisplay;
  // Marks this topic and, when recursive, every descendant, folded or not.
  void setNeedsDisplay(bool recursive);
  // Marks only topics whose tally is non-zero; skips hidden children of a folded topic.
  void setNeedsDisplayIfModified(bool recursive);

  // ---- Tree queries (node_view_tree.cpp); none takes the tree lock --------------------------
  bool isRoot() const { return isFloating_ || parentNode_ == nullptr; }
  NodeView* getRoot();
  NodeView* getBranchRoot();
  int getNumberOfAncestors() const;
  bool isaChildOf(const NodeView* topic) const;
  NodeView* isOnCalloutBranch();
  NodeView* isOnBoundaryBranch();
  NodeView* isOnFloatingBranch();
  NodeView* isOnDraggedBranch();
  NodeView* isOnTaskCompleteBranch();
  NodeView* isOnSelectedBranch();
  NodeView* isOnFoldedBranch();
  bool isToRightOfPoint(kit::Point p) const;
  bool isToRightOf(const NodeView* topic) const;
  bool isAbove(const NodeView* topic) const;
  bool isAboveParent() const;
  bool isToRightOfParent() const;
  bool isLogicallyToRightOfRoot();
  // The same for a topic whose parent answered parentAnswer: in constant time, where the plain
  // question walks to the root (tree walks pass the answer down).
  bool isLogicallyToRightOfRootUnder(bool parentAnswer);
  std::string getPath() const;
  // Pre-order, the topic itself first; nullptr when none or name is nil.
  NodeView* findNodeNamed(const std::optional<std::string>& name);
  // Pre-order list of the branch, the topic first.
  std::vector<NodeView*> getListOfDescendents();

  // ---- Kind flags, counts, folding and visibility (node_view_flags.cpp) -----------------------
  bool isCallout() const { return isCallout_; }
  bool isFloating() const { return isFloating_; }
  bool isFolded() const { return folded_; }
  bool isRollupTask() const { return rollupTask_; }
  void setIsCallout(bool callout, bool withUndo);
  void setIsFloating(bool floating, bool withUndo);
  int getChildTopicCount() const;
  int getCalloutTopicCount() const;
  bool hasSiblingTopics() const;
  bool hasVisibleSiblingTopics() const;
  void setIsRollupTask(bool rollup, bool withUndo);
  bool siblingTopicsHaveChildren() const;
  // rect in canvas coordinates; a folded topic answers for itself alone.
  bool isBranchAnywhereInParentRect(const kit::Rect& rect) const;
  NodeView* isOnRollupTaskBranch();
  // With undo a record is pushed only when the text changes; the value is stored in every case
  // (nil stores "").
  void setLink(const std::optional<std::string>& link, bool withUndo);
  void setNote(const std::optional<std::string>& note, bool withUndo);
  void fold();
  void unfold();
  // fold() or unfold() without the visibility walk, for callers that change many topics and
  // then update each outermost changed branch once: true when the plain call would have walked.
  bool setFoldedWithoutVisibility(bool folded);
  float getBrightness() const { return brightness_; }
  void setBrightness(float b) { brightness_ = b; }
  void recursivelyUpdateVisiblity();
  void _recursivelyUpdateVisiblity(bool hidden);

  // ---- Task data (node_view_task.cpp); each setter does nothing when the value is unchanged ----
  void setStartDate(std::optional<kit::Date> date, bool withUndo);
  void setDueDate(std::optional<kit::Date> date, bool withUndo);
  void setProgress(std::int32_t percent, bool withUndo);
  // A text of 0 minutes is stored as no effort.
  void setEffort(std::optional<std::string> effort, bool withUndo);
  const std::optional<std::string>& getEffort() const { return rare().effort; }
  // Names split at ";" and ","; loadings matched to the names in their order, then sorted by name.
  void setResources(std::string_view names, std::string_view loadings);
  std::optional<std::string> getResourceNames() const;
  std::optional<std::string> getResourceLoadings() const;
  // The resource of that name when exactly one has it; nullptr otherwise.
  const kit::Value* getResourceByName(std::string_view name) const;
  void addResource(const std::string& name, bool withUndo);
  void removeResource(const std::string& name, bool recursively, bool withUndo);
  void renameResourceFrom(const std::string& from, const std::string& to, bool recursively, bool withUndo);
  std::set<std::string> getResourcesForBranch() const;

  // ---- Icons (node_view_icons.cpp) ------------------------------------------------------------
  bool isIcon1Set() const { return rare_ && rare_->icon1 && !rare_->icon1->empty(); }
  bool isIcon2Set() const { return rare_ && rare_->icon2 && !rare_->icon2->empty(); }
  // Into the first free slot; nothing when both are set. No undo.
  void addIconNamed(const std::string& name);
  // A foreign format's icon name, translated through the application's icon table; an unknown
  // one is kept as "!<format>!<name>".
  void addIcon(const std::string& name, int fromFormat);
  void setIcon1(std::optional<std::string> icon1, std::optional<std::string> andIcon2, bool withUndo);

  // ---- Image, task text, encoded note, reference ids, HTML (node_view_image.cpp) ------------
  // Loads the asset from the open map's library; a missing asset keeps the id and shows no image.
  // Callers relayout.
  void setImage(const std::optional<std::string>& uuidImage, bool withUndo);
  const std::optional<std::string>& getImage() const { return rare().uuidImage; }
  // The laid-out image box, not the stored image size.
  kit::Size getImageSize() const { return imageBoxRect_.size; }
  // Dates, effort and resources, one per line; "" when none.
  std::string getTaskBadgeText() const;
  std::optional<std::string> getStartDateAsStringFormattedAs(int format) const;
  std::optional<std::string> getDueDateAsStringFormattedAs(int format) const;
  // Unreadable or nil text clears the date; no undo.
  void setStartDateFromString(std::optional<std::string_view> text, int formattedAs);
  void setDueDateFromString(std::optional<std::string_view> text, int formattedAs);
  // Nil or empty: no progress; no undo.
  void setPercentCompleteFromString(std::optional<std::string_view> text);
  // The note behind a header "Start:..|Due:..|Progress:40%|Effort:..|Resources:..||\n".
  std::string getEncodedNote() const;
  void setEncodedNote(std::optional<std::string_view> text);
  std::string getNoteAsHTML(bool linkify) const;
  // The topic and every descendant, callouts and floating topics included.
  void clearReferenceID();
  void refreshReferenceID();
  // Appends one <area> per topic of the branch whose frame meets rect (canvas coordinates).
  void generateHTMLImageMap(std::string& out, const kit::Rect& forRect) const;

  // ---- In-place editing (node_view_editing.cpp) -----------------------------------------------
  // Posted with the topic as object: when editing begins and after each change of the text, and
  // when editing ends.
  static constexpr const char* kEditTextChanged = "NM_TOPIC_EDIT_TEXT_CHANGED";
  static constexpr const char* kEditEnded = "NM_TOPIC_EDIT_ENDED";
  bool isInPlaceEdit() const { return inPlaceEditTextView_ != nullptr; }
  // YES opens the editor over the topic (ending any other topic's editing first) and makes it
  // first responder; NO closes it. Opening an open editor or closing a closed one does nothing.
  void inPlaceEdit(bool open);
  UITextViewEx* inPlaceEditTextView() const { return inPlaceEditTextView_.get(); }
  // The one topic whose editor is open, or nullptr.
  static NodeView* currentEditingTopic();
  // Ends in-place editing for good: a keystroke command still waiting for its 0.1 s runs now
  // (so a three-Return split is whole and nothing acts on the map later), then the open editor
  // closes, committing any pre-edit text. For whatever must not happen in the middle of an edit:
  // a selection moving to another topic, undo, closing the map.
  static void finishEditing();
  // Drops the keystroke commands still waiting of the topics of a branch (it is going), or all
  // of them for nullptr.
  static void cancelKeyboardCommands(const NodeView* within);
  // The topic's font and text alignment into an open editor.
  void updateInplaceTextViewAttributes();
  // The commands the editor's keystroke gestures trigger, run 0.1 s after the key.
  void _onNewSiblingTriggered(const std::string& text);
  void _onNewChildTriggered(const std::string& text);
  void _onNewChildLevelTriggered(const std::string& text);
  void _onDeleteTopicTriggered();
  void _onSiriDictateListDetectTriggered(const std::vector<std::string>& items);

  // ---- Tree lists (node_view_tree.cpp): pre-order over the branch, callout and floating
  // topics included, the receiver first ----------------------------------------------------------
  // Topics with progress; without completed ones a completed topic's whole branch is skipped.
  std::vector<NodeView*> getListOfNodesWithTaskAttributes(bool includeCompleted);
  std::vector<NodeView*> getListOfNodesWithResource(std::string_view name, bool includeCompleted);
  std::vector<NodeView*> getListOfNodesWithNotes();
  std::vector<NodeView*> getListOfCallouts();
  std::vector<NodeView*> getListOfFloatingNodes();
  std::vector<NodeView*> getListOfNodesWithBoundaries();
  // One image id per topic with an image (a shared image is listed once per topic).
  std::vector<std::string> getListOfAssetIDs();
  // {"iidNode", "uuidNode", "uuidImage"} per topic with an image.
  kit::Array getListOfAssetIDsMappedToNodeIDs();
  // Levels from the topic down to its deepest normal descendant; 0 without child topics.
  int getFurthestDescendentCount();

  // ---- Display attributes and style setters (node_view_attributes.cpp) ------------------------
  void evaluateDisplayAttributes(bool recursive);
  void _evaluateDisplayColour(bool recursive);
  void _evaluateDisplayShape(bool recursive);
  void _evaluateDisplayFontSize(bool recursive);
  void _evaluateDisplayWidth(bool recursive);
  void evaluateDisplayColourForBranch() { _evaluateDisplayColour(true); }
  void evaluateDisplayShapeForBranch() { _evaluateDisplayShape(true); }
  void evaluateDisplayFontSizeForBranch() { _evaluateDisplayFontSize(true); }
  void evaluateDisplayWidthForBranch() { _evaluateDisplayWidth(true); }
  void setDisplayColour(RGB255 c);
  void setDisplayShape(std::int32_t s);
  void setDisplayFontSize(float size);
  void setDisplayWidth(float width);
  RGB255 getDisplayColour() const { return displayColour255_; }
  RGB1 getCachedFillColour() const { return cachedFillColour_; }
  std::int32_t getShape() const { return shape_; }
  std::int32_t getDisplayShape() const { return displayShape_; }
  std::uint32_t getTextStyle() const { return textStyle_; }
  float getFontSize() const { return fontSize_; }
  float getDisplayFontSize() const { return displayFontSize_; }
  float getWidth() const { return width_; }
  float getDisplayWidth() const { return displayWidth_; }
  // Six upper-case hex digits of the own / display colour.
  std::string getColourAsString() const;
  std::string getDisplayColourAsString() const;
  // 0xFFRRGGBB.
  std::uint32_t getColourAsInteger() const;
  std::uint32_t getDisplayColourAsInteger() const;
  kit::Font getFont() const;
  void setColourWithRGB255(RGB255 colour, bool applyToChildren, bool withUndo);
  void setShape(std::int32_t shape, bool applyToChildren, bool withUndo);
  void setFontSize(float size, bool applyToChildren, bool withUndo);
  void setWidth(float width, bool applyToChildren, bool withUndo);
  void setTextStyle(std::uint32_t style, bool applyToChildren, bool withUndo);
  // The children (not callouts, not floating) and not the topic itself.
  void setColourForChildrenWithRGB255(RGB255 colour, bool applyToDescendents, bool withUndo);
  void setShapeForChildren(std::int32_t shape, bool applyToDescendents, bool withUndo);
  void setFontSizeForChildren(float size, bool applyToDescendents, bool withUndo);
  void setWidthForChildren(float width, bool applyToDescendents, bool withUndo);
  void setTextStyleForChildren(std::uint32_t style, bool applyToDescendents, bool withUndo);
  // The records alone, for the resize tool before it adjusts a topic.
  void pushFontSizeUndo();
  void pushWidthUndo();
  void copyShapeFrom(const NodeView* other, bool applyToChildren, bool withUndo);
  // A display colour for topics without an own colour, with applyToChildren on every topic of
  // the branch (callouts and floating topics included); nothing is pushed.
  void setDisplayColourWithRGB255(RGB255 colour, bool applyToChildren);
  // Six hex digits, "#" + six, or eight with alpha FF; an empty string does nothing.
  void setColourFromString(std::string_view text);
  void setColourFromInteger(std::uint32_t argb);
  // Own colours of the branch other than unset and the standard colours.
  std::set<std::string> buildColourSet() const;
  // With ignoreHidden a topic whose alpha is below 1 is skipped with its branch.
  std::set<std::string> buildDisplayColourSet(bool ignoreHidden) const;
  // The resize tool's steps.
  void adjustFontSizeBy(float delta);
  void adjustWidthBy(float delta);
  void beginAdjustWidth();
  void endAdjustWidth();
  // Topic attribute dictionaries keyed "_colour", "_shape", ... by the tally bits; each bit is
  // applied through its setter.
  kit::Value dumpToDictionary(std::uint32_t mask) const;
  // Scope 0x4 also reaches the siblings, 0x2 the descendants.
  void copyAttributes(const kit::Value& dict, std::uint32_t mask, std::uint32_t scope, bool withUndo);
  void cloneAttributes(std::uint32_t mask, NodeView* source, std::uint32_t scope, bool withUndo);

  // ---- Position snapshots --------------------------------------------------------------------
  kit::Value getNodePositionAsDict() const;
  // Pre-order {"uuid", "centre"} dictionaries of the whole branch.
  kit::Value snapshotNodePositions() const;
  // Appends {"of": uuid, "children": [uuids]} for each topic of the branch with two or more
  // children: the order a relayout or a drop may change (the canvas restores it with the places).
  void appendChildOrders(kit::Array& into) const;
  // Appends {"relationship": uuid, "centre"} for each relationship starting in the branch: a move
  // carries a control point by the unrounded offset while its topic's centre rounds, so moving
  // the topics back alone need not put it back.
  void appendRelationshipCentres(kit::Array& into) const;
  void _snapshotNodePositions(kit::Array& into) const;
  void setNodePositionFromDict(const kit::Value& dict, bool includingChildren);
  // Walks the branch; no effect.
  void dumpCentres() const;
  void _dumpCentres() const;

  // ---- Geometry and movement (node_view_geometry.cpp, node_view_movement.cpp) ----------------
  kit::Rect getAdjustedNodeFrame() const;
  kit::Rect getAdjustedNodeShapeFrame() const;
  kit::Point getAdjustedNodeCenter() const;
  kit::Point getPositionRelativeToParent() const;
  // The visible branch; a boundary stands for its branch, a folded topic for itself.
  kit::Rect getBranchBoundingRect();
  // Everything not hidden (alpha 0): callouts and floating topics included.
  kit::Rect getBranchBoundingRectForAll();
  void pushSiblingsUpBy(float up, float down);
  // Centres stay on whole points; a move of less than a point on both axes does nothing.
  void moveByX(float dx, float dy, bool includingChildren);
  bool moveByX(float dx, float dy, bool includingChildren, bool flipAsNecessary);
  void moveChildrenByX(float dx, float dy);
  void moveTo(kit::Point p, bool includingChildren);
  bool moveTo(kit::Point p, bool includingChildren, bool flipAsNecessary);
  void flipAboutYandRedraw(bool redraw);
  void _flipAboutY(const NodeView* pivot);
  void alignWith(const NodeView* other);
  void spaceOutFromParent();
  NodeView* getSiblingBelow() const;
  NodeView* getSiblingAbove() const;
  NodeView* getLowestChildOnSide(int side) const;
  void makeSpace();

  // Hit testing, points in the topic's own coordinates: 0 nothing, 1 the disclosure target,
  // 2 the body, 3 the task badge. The disclosure target reaches outside the bounds.
  int getHitTestResult(kit::Point p) const;
  bool pointInside(kit::Point p) const override;
  kit::Rect getDisclosureTarget() const;
  kit::Rect getProgressBadgeTarget() const;
  kit::Rect getStartDueBadgeTarget() const;
  kit::Rect getLinkBadgeTarget() const;
  kit::Rect getNoteBadgeTarget() const;
  kit::Size getTextBoxSize() const;

  // ---- Sorting (node_view_sorting.cpp) --------------------------------------------------------
  // Sorts the child list in place (order among equals unspecified), then each child's when
  // recursive. Takes the global tree lock.
  void sortChildNodesClockwise(bool recursive);
  void sortChildNodesClockwiseAndGroupLeafNodes(bool recursive);
  void sortChildNodesVertically(bool recursive);
  // Three-way comparisons: -1 the receiver first, 0 either, 1 the other first.
  int stdClockwiseSort(const NodeView* other) const;
  int _sortChildNodesClockwise(const NodeView* other) const;
  int _sortChildNodesClockwiseAndGroupLeafNodes(const NodeView* other) const;
  int _sortChildNodesVertically(const NodeView* other) const;
  int _sortGroupByParentNameThenProgress(const NodeView* other) const;

  // ---- Layout (node_view_layout.cpp): boxes in the topic's own coordinates, laid out as if
  // right of the central topic and mirrored on the left; bounds even, centre kept.
  void _calcLayout();
  // With the side already known (isRoot() || isLogicallyToRightOfRoot()).
  void _calcLayout(bool rightHand);
  // Children first (bottom-up) when recursive.
  void recalcLayoutRecursively(bool recursive, bool redraw, bool realign, bool siblings, bool offspring);
  void recalcLayoutOfImmediateChildrenWithRedraw(bool redraw, bool realign, bool siblings, bool offspring);
  // Lays out again, centres kept, each topic of the branch last laid out for the other side of
  // the central topic (as after its places were put back without a flip).
  void relayoutTopicsOnTheirSides();
  // Frames saved before a change, in canvas coordinates: keeps the edge facing the parent.
  void realignBasedOnSavedNodeFrame(const kit::Rect& savedNodeFrame, const kit::Rect& branchFrame, bool animated);
  void realignBasedOnSavedNodeFrame(const kit::Rect& savedNodeFrame, const kit::Rect& branchFrame,
                                    bool includeSiblings, bool includeOffspring);
  // Top-left points of the 17 x 17 disclosure icon, the 24 x 24 icon slots and the 16 x 16
  // corner badges; (0, 0) when not shown.
  kit::Point ptDisclosureIcon() const { return ptDisclosureIcon_; }
  kit::Point ptIcon1() const { return ptIcon1_; }
  kit::Point ptIcon2() const { return ptIcon2_; }
  kit::Point ptProgress() const { return ptProgress_; }
  kit::Point ptStartDue() const { return ptStartDue_; }
  kit::Point ptLink() const { return ptLink_; }
  kit::Point ptNote() const { return ptNote_; }

  // ---- Drawing (node_view_drawing.cpp); type 0 screen, 1 PDF, 2 images, 3 external display --
  void drawRect(kit::GraphicsContext& context, const kit::Rect& rect) override;
  // One topic in its own coordinates; rect is not used for clipping.
  void drawColourNode(const kit::Rect& rect, kit::GraphicsContext& withContext, int ofType);
  // The branch; rect in canvas coordinates, drawn relative to its origin when relativeToRect.
  void drawNodeAndChildrenInRect(const kit::Rect& rect, bool relativeToRect, kit::GraphicsContext& withContext,
                                 int ofType);
  void _drawIconsAsNecessary(kit::GraphicsContext& context, float withAlpha);
  void _drawHyperlinkAsNecessary(kit::GraphicsContext& context, float withAlpha);
  void _drawPercentCompleteAsNecessary(kit::GraphicsContext& context, float withAlpha);
  void _drawStartDueAsNecessary(kit::GraphicsContext& context, float withAlpha);
  void _drawStickyNoteAsNecessary(kit::GraphicsContext& context, float withAlpha);
  void _drawTaskBadgeAsNecessary(kit::GraphicsContext& context, float withAlpha);
  void _drawFoldingIconAsNecessary(kit::GraphicsContext& context, float withAlpha);

  // ---- Boundaries (node_view_boundary.cpp) ---------------------------------------------------
  // Clears the outline under the tree lock; with undo pushes "topic-boundary" {"uuid",
  // "boundary": the previous flag, 0 or 1}. Nothing when unchanged.
  void setHasBoundary(bool flag, bool withUndo);
  // Rebuilds every outline of the branch, inner ones first, under the global tree lock.
  void recalcBoundaries();
  // The same with the lock already held.
  void _recalcBoundaries();
  // The topic's corners (or outline), then the branch's, unless folded.
  std::vector<kit::Point> getNodeCorners();
  // The outline when there is one, else the frame's corners (min x, min y), (min x, max y),
  // (max x, max y), (max x, min y).
  void _getNodeCorners(std::vector<kit::Point>& into) const;
  // Nothing for a dragged, floating or callout topic; folded topics stand for themselves.
  void _getNodeCornersRecursively(std::vector<kit::Point>& into);
  // Outline colours on the 0..1 scale, from the display colour and the drop shadow flag.
  void getBoundaryDisplayStroke(RGB1& stroke, RGB1& fill) const;

  // ---- Relationships that start at this topic (owned by the canvas) ---------------------------
  void addRelationship(RelationshipView* r);
  void removeRelationship(RelationshipView* r);
  const std::vector<RelationshipView*>& getRelationships() const { return rare().relationships; }
  // For walks over many topics, most of which have none.
  bool hasRelationships() const { return rare_ && !rare_->relationships.empty(); }

  // Scratch for the canvas's automatic layout: the pass that last used the topic and the
  // topic's entry in that pass, so a layout finds its entry without a table look-up.
  struct LayoutMark {
    std::uint32_t pass = 0;
    std::uint32_t index = 0;
  };
  LayoutMark& layoutMark() const { return layoutMark_; }
  // Asks the processor ahead for the parts of the topic that layout reads (centre, children,
  // flags and the rare block's pointer, frames): a topic spans many cache lines, and a layout of
  // a large map otherwise waits on them one by one.
  void prefetchForLayout() const {
    __builtin_prefetch(this);
    __builtin_prefetch(&childNodes_);
    __builtin_prefetch(&rare_);  // after the flags
    __builtin_prefetch(&nodeRect_);
    __builtin_prefetch(&rcTaskBadge_);
  }

 private:
  friend class BigView;
  friend class NodeViewTestAccess;  // tests build trees without a canvas
  friend class NodeViewLayoutTestAccess;  // tests open an editing state without the editor

  // Child-list changes, for the canvas only, always under the global tree lock.
  void appendChild(std::unique_ptr<NodeView> child);
  std::unique_ptr<NodeView> detachChild(NodeView* child);

  void setColourInternal(RGB255 colour, bool applyToChildren, bool withUndo);
  void setShapeInternal(std::int32_t shape, bool applyToChildren, bool withUndo);
  void setFontSizeInternal(float size, bool applyToChildren, bool withUndo);
  void setWidthInternal(float width, bool applyToChildren, bool withUndo);
  void pushUndo(const char* action, kit::Value details);
  // Pre-order without recursion (outlines can be deep); visit answers whether to descend into
  // the topic's children.
  template <typename Visit>
  void walkPreOrder(Visit visit) { walkPreOrderFrom(this, visit); }
  template <typename Visit>
  void walkPreOrder(Visit visit) const { walkPreOrderFrom(this, visit); }
  template <typename Self, typename Visit>
  static void walkPreOrderFrom(Self* top, Visit& visit) {
    std::vector<Self*> stack{top};
    while (!stack.empty()) {
      Self* n = stack.back();
      stack.pop_back();
      if (!visit(n)) continue;
      for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
    }
  }
  std::vector<NodeView*> getListOfNodesWhere(const std::function<bool(const NodeView&)>& test);

  // The editor's delegate calls.
  void textViewDidBeginEditing(kit::TextView& tv) override;
  bool textViewShouldChangeTextInRange(kit::TextView& tv, kit::TextRange range, const std::string& text) override;
  void textViewDidChange(kit::TextView& tv) override;
  void textViewDidChangeMarkedText(kit::TextView& tv) override;
  void textViewDidEndEditing(kit::TextView& tv) override;
  // For the destructor: the editor goes without delegate calls, pending performs are cancelled.
  void discardEditing();
  // Runs fn on this topic after delay on the main run loop; cancelled if the topic goes first.
  void performAfterDelay(const char* name, double delay, std::function<void()> fn);
  // A keystroke gesture's command, run after the trigger delay or at finishEditing, whichever
  // comes first.
  void scheduleKeyboardCommand(const char* name, std::function<void()> fn);
  // One topic's share of copyAttributes.
  void applyAttributes(const kit::Value& dict, std::uint32_t mask, bool withUndo);

  // A measured size, kept until what was measured changes (text, font, width limit).
  struct MeasuredText {
    std::uint64_t key = 0;  // 0: nothing measured yet
    kit::Size size;
  };
  // What few topics have, kept apart so that a plain topic stays small: absent until one of
  // its values is set, and read as the defaults while absent.
  struct Rare {
    std::optional<std::string> uuidImage;
    kit::Size imageSize;
    std::optional<std::string> referenceID;
    std::optional<std::string> icon1, icon2;
    std::optional<kit::Date> startDate, dueDate;
    std::optional<std::string> effort;
    kit::Array resources;  // dictionaries {"name", "loading"}
    MeasuredText measuredBadge;  // the task badge text's size
    std::vector<kit::Point> boundaryPoints;
    std::vector<RelationshipView*> relationships;
    std::unique_ptr<SMTEDelegateController> snippetProxy;
  };
  static const Rare kNoRare;
  const Rare& rare() const { return rare_ ? *rare_ : kNoRare; }
  Rare& rareForWriting() {
    if (!rare_) rare_ = std::make_unique<Rare>();
    return *rare_;
  }
  // Storing an empty value needs no block.
  template <typename T, typename V>
  void setRare(T Rare::*field, V&& value) {
    if (rare_ || !isEmptyValue(value)) rareForWriting().*field = std::forward<V>(value);
  }
  template <typename V>
  static bool isEmptyValue(const std::optional<V>& v) { return !v; }
  template <typename V>
  static bool isEmptyValue(const std::vector<V>& v) { return v.empty(); }

  // Fields: what layout and drawing read of every topic first, then the rest.
  DocumentServices* parentController_ = nullptr;
  NodeView* parentNode_ = nullptr;
  ChildList childNodes_;
  mutable LayoutMark layoutMark_;  // next to what layout reads of a topic
  bool folded_ = false;
  bool hasBoundary_ = false;
  bool isCallout_ = false;
  bool isFloating_ = false;
  bool isSelected_ = false;
  bool bHighlighted_ = false;
  bool beingDragged_ = false;
  bool beingMoved_ = false;
  bool beingResized_ = false;
  bool rollupTask_ = false;
  bool hasPendingPerforms_ = false;
  bool laidOutLeft_ = false;  // the side of the last layout, mirrored or not
  std::unique_ptr<Rare> rare_;  // read with the flags by layout, drawing and moves
  std::uint32_t nodeModTally_ = 0;
  RGB255 colour255_ = kUnsetColour;
  static constexpr RGB255 kNoDisplayColour{-1, -1, -1};  // before the first evaluation
  RGB255 displayColour255_ = kNoDisplayColour;
  RGB1 cachedFillColour_;
  std::int32_t shape_ = TopicShape::Unset;
  std::int32_t displayShape_ = TopicShape::Unset;
  float width_ = 0;
  float displayWidth_ = 0;
  float fontSize_ = 0;
  float displayFontSize_ = 0;
  float brightness_ = 1.0f;
  std::uint32_t textStyle_ = 0;
  std::int32_t percentComplete_ = -1;
  std::int32_t iID_ = 0;
  std::string strName_;
  kit::Rect imageBoxRect_;
  kit::Rect textBoxRect_;
  kit::Rect nodeRect_{0, 0, 10, 10};
  kit::Point ptDisclosureIcon_, ptIcon1_, ptIcon2_, ptProgress_, ptStartDue_, ptLink_, ptNote_;
  kit::Rect rcTaskBadge_;
  MeasuredText measuredText_;
  std::string strNote_;
  std::string strLink_;
  std::string uuid_;
  std::unique_ptr<UITextViewEx> inPlaceEditTextView_;
};
