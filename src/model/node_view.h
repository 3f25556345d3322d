// One topic of a map: at once the record of its text, note, link, style and task data and the
// view that draws it. All topics are flat subviews of the canvas; the tree exists only through
// each topic's parent (not owned) and its ordered children (owned).
//
// Only the canvas creates topics and changes child lists, under the global tree lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helpers/colour_types.h"
#include "kit/core/geometry.h"
#include "kit/core/value.h"
#include "kit/ui/view.h"
#include "model/document_services.h"

class BigView;
class RelationshipView;

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

class NodeView : public kit::View {
 public:
  using ChildList = std::vector<std::unique_ptr<NodeView>>;

  // ---- Creation and release (node_view.cpp) -------------------------------------------------
  // The designated initializer; only the canvas creates topics, and adds them to the tree.
  NodeView(NodeView* parent, DocumentServices* controller);
  // Releases the whole branch without recursion, so deep outlines cannot exhaust the stack.
  ~NodeView() override;

  bool canBecomeFirstResponder() const { return true; }
  DocumentServices* parentController() const { return parentController_; }

  // ---- Plain accessors: no undo, no redraw, no tally ----------------------------------------
  std::int32_t iID() const { return iID_; }
  void setIID(std::int32_t id) { iID_ = id; }
  const std::string& uuid() const { return uuid_; }
  void setUuid(std::string uuid) { uuid_ = std::move(uuid); }
  const std::optional<std::string>& _uuidImage() const { return uuidImage_; }
  void set_uuidImage(std::optional<std::string> id) { uuidImage_ = std::move(id); }
  const std::optional<std::string>& strReferenceID() const { return strReferenceID_; }
  void setStrReferenceID(std::optional<std::string> id) { strReferenceID_ = std::move(id); }
  NodeView* parentNode() const { return parentNode_; }
  void setParentNode(NodeView* parent) { parentNode_ = parent; }
  const ChildList& childNodes() const { return childNodes_; }
  const std::string& strName() const { return strName_; }
  void setStrName(std::string text) { strName_ = std::move(text); }
  const std::string& strNote() const { return strNote_; }
  void setStrNote(std::string note) { strNote_ = std::move(note); }
  const std::string& strLink() const { return strLink_; }
  void setStrLink(std::string link) { strLink_ = std::move(link); }
  const std::optional<kit::Date>& startDate() const { return startDate_; }
  void setStartDate(std::optional<kit::Date> d) { startDate_ = d; }
  const std::optional<kit::Date>& dueDate() const { return dueDate_; }
  void setDueDate(std::optional<kit::Date> d) { dueDate_ = d; }
  std::int32_t percentComplete() const { return percentComplete_; }
  void setPercentComplete(std::int32_t p) { percentComplete_ = p; }
  const std::optional<std::string>& _effort() const { return effort_; }
  void set_effort(std::optional<std::string> e) { effort_ = std::move(e); }
  const std::optional<std::string>& strIcon1() const { return strIcon1_; }
  void setStrIcon1(std::optional<std::string> n) { strIcon1_ = std::move(n); }
  const std::optional<std::string>& strIcon2() const { return strIcon2_; }
  void setStrIcon2(std::optional<std::string> n) { strIcon2_ = std::move(n); }
  bool beingDragged() const { return beingDragged_; }
  void setBeingDragged(bool b) { beingDragged_ = b; }
  bool beingMoved() const { return beingMoved_; }
  void setBeingMoved(bool b) { beingMoved_ = b; }
  bool beingResized() const { return beingResized_; }
  const kit::Rect& textBoxRect() const { return textBoxRect_; }
  const kit::Rect& imageBoxRect() const { return imageBoxRect_; }
  const kit::Rect& nodeRect() const { return nodeRect_; }
  const kit::Rect& rcTaskBadge() const { return rcTaskBadge_; }
  kit::Size imageSize() const { return imageSize_; }
  RGB255 colour255() const { return colour255_; }
  // Canvas coordinates; empty when the topic draws no boundary.
  const std::vector<kit::Point>& boundaryPoints() const { return boundaryPoints_; }
  void setBoundaryPoints(std::vector<kit::Point> points) { boundaryPoints_ = std::move(points); }
  bool hasBoundary() const { return hasBoundary_; }
  const kit::Array& getResources() const { return resources_; }
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
  bool isRoot() const;
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
  void fold();
  void unfold();
  float getBrightness() const { return brightness_; }
  void setBrightness(float b) { brightness_ = b; }
  void recursivelyUpdateVisiblity();
  void _recursivelyUpdateVisiblity(bool hidden);

  // ---- In-place editing (the editor comes later) ---------------------------------------------
  bool isInPlaceEdit() const { return inPlaceEditTextView_ != nullptr; }
  // Stand-in until the in-place editor exists: opening and closing do nothing yet.
  void inPlaceEdit(bool open);

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
  void setColourWithRGB255(RGB255 colour, bool applyToChildren, bool withUndo);
  void setShape(std::int32_t shape, bool applyToChildren, bool withUndo);
  void setFontSize(float size, bool applyToChildren, bool withUndo);
  void setWidth(float width, bool applyToChildren, bool withUndo);
  void setTextStyle(std::uint32_t style, bool applyToChildren, bool withUndo);
  // Topic attribute dictionaries. The style bits (colour, shape, font size, width, text style)
  // are handled so far; the task, boundary, callout and icon bits join with their setters.
  kit::Value dumpToDictionary(std::uint32_t mask) const;
  // Scope 0x4 also reaches the siblings, 0x2 the descendants.
  void copyAttributes(const kit::Value& dict, std::uint32_t mask, std::uint32_t scope, bool withUndo);
  void cloneAttributes(std::uint32_t mask, NodeView* source, std::uint32_t scope, bool withUndo);

  // ---- Position snapshots --------------------------------------------------------------------
  kit::Value getNodePositionAsDict() const;
  // Pre-order {"uuid", "centre"} dictionaries of the whole branch.
  kit::Value snapshotNodePositions() const;
  void _snapshotNodePositions(kit::Array& into) const;
  void setNodePositionFromDict(const kit::Value& dict, bool includingChildren);

  // ---- Geometry and movement (node_view_geometry.cpp) -----------------------------------------
  kit::Rect getAdjustedNodeFrame() const;
  kit::Rect getAdjustedNodeShapeFrame() const;
  kit::Point getAdjustedNodeCenter() const;
  kit::Point getPositionRelativeToParent() const;
  kit::Rect getBranchBoundingRect();
  void pushSiblingsUpBy(float up, float down);
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

  // Layout stand-in: a fixed box until text measurement and the real layout exist.
  void _calcLayout();
  void recalcLayoutRecursively(bool recursive, bool redraw, bool realign, bool siblings, bool offspring);
  void recalcLayoutOfImmediateChildrenWithRedraw(bool redraw, bool realign, bool siblings, bool offspring);

  // Boundary stand-in: outlines are not computed yet, so a branch never reports one.
  void recalcBoundaries();
  void _recalcBoundaries();

  // ---- Relationships that start at this topic (owned by the canvas) ---------------------------
  void addRelationship(RelationshipView* r);
  void removeRelationship(RelationshipView* r);
  const std::vector<RelationshipView*>& getRelationships() const { return relationships_; }

 private:
  friend class BigView;
  friend class NodeViewTestAccess;  // tests build trees without a canvas

  // Child-list changes, for the canvas only, always under the global tree lock.
  void appendChild(std::unique_ptr<NodeView> child);
  std::unique_ptr<NodeView> detachChild(NodeView* child);

  void setColourInternal(RGB255 colour, bool applyToChildren, bool withUndo);
  void setShapeInternal(std::int32_t shape, bool applyToChildren, bool withUndo);
  void setFontSizeInternal(float size, bool applyToChildren, bool withUndo);
  void setWidthInternal(float width, bool applyToChildren, bool withUndo);
  void pushUndo(const char* action, kit::Value details);

  // Fields, in the order of the topic record.
  DocumentServices* parentController_ = nullptr;
  NodeView* parentNode_ = nullptr;
  ChildList childNodes_;
  std::uint32_t nodeModTally_ = 0;
  RGB255 colour255_ = kUnsetColour;
  RGB255 displayColour255_{-1, -1, -1};
  RGB1 cachedFillColour_;
  std::int32_t shape_ = TopicShape::Unset;
  std::int32_t displayShape_ = TopicShape::Unset;
  float width_ = 0;
  float displayWidth_ = 0;
  float fontSize_ = 0;
  float displayFontSize_ = 0;
  float brightness_ = 1.0f;
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
  std::uint32_t textStyle_ = 0;
  std::string strName_;
  kit::Rect imageBoxRect_;
  kit::Rect textBoxRect_;
  kit::Rect nodeRect_{0, 0, 10, 10};
  kit::Point ptDisclosureIcon_, ptIcon1_, ptIcon2_, ptProgress_, ptStartDue_, ptLink_, ptNote_;
  kit::Rect rcTaskBadge_;
  std::string strNote_;
  std::string strLink_;
  std::optional<std::string> uuidImage_;
  kit::Size imageSize_;
  std::int32_t iID_ = 0;
  std::string uuid_;
  std::optional<std::string> strReferenceID_;
  std::optional<std::string> strIcon1_, strIcon2_;
  std::optional<kit::Date> startDate_, dueDate_;
  std::int32_t percentComplete_ = -1;
  std::optional<std::string> effort_;
  kit::Array resources_;  // dictionaries {"name", "loading"}
  std::unique_ptr<kit::View> inPlaceEditTextView_;
  std::vector<RelationshipView*> relationships_;
  std::vector<kit::Point> boundaryPoints_;
};
