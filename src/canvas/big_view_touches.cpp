// Touches on the canvas: one followed touch becomes a tap, a double tap, a two-stage long press
// or a drag; a shake centres the map. Also the scroll view that holds the canvas.
#include <cmath>
#include <cstdlib>

#include "canvas/big_view.h"
#include "helpers/float_over.h"
#include "helpers/global_helpers_geometry.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/core/clock.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/ui/pasteboard.h"

namespace {

constexpr const char* kLongPressStage1 = "longPressStage1:";
constexpr const char* kLongPressStage2 = "longPressStage2:";
constexpr const char* kNodeSingleTap = "onNodeSingleTap:";
constexpr const char* kBackgroundSingleTap = "onBackgroundSingleTap:";

constexpr double kLongPressStage1Delay = 0.1;
constexpr double kLongPressStage2Delay = 0.5;
constexpr double kLongPressStage2DelayWithLink = 1.0;
constexpr float kLiftScale = 1.2f;
constexpr double kSecondTapWait = 0.5;
constexpr double kSlowTap = 0.1;
constexpr float kTapSlop = 10;
constexpr float kFloatingTopicDistance = 280;

bool withinSlop(kit::Point a, kit::Point b) {
  return std::fabs(a.x - b.x) <= kTapSlop && std::fabs(a.y - b.y) <= kTapSlop;
}

// The first touch of the set on view in that phase.
kit::Touch* followed(const kit::TouchSet& touches, const kit::View* view, kit::TouchPhase phase) {
  if (!view) return nullptr;
  for (kit::Touch* t : touches)
    if (t->view() == view && t->phase() == phase) return t;
  return nullptr;
}

}  // namespace

// ---- Delivery --------------------------------------------------------------------------------

void BigView::touchesBegan(const kit::TouchSet& touches, const kit::Event& event) {
  if (!touchView_ && !touches.empty() && touches.front()->view()) {
    kit::Touch& t = *touches.front();
    touchView_ = t.view();
    ptTouchDown_ = ptCurrentTouch_ = t.locationInView(this);
    kit::Point c = touchView_->center();
    touchCentreOffset_ = kit::Size(c.x - ptTouchDown_.x, c.y - ptTouchDown_.y);
    tmTouchesBegan_ = event.timestamp();
    _touchesBegan(t, event);
  }
  kit::View::touchesBegan(touches, event);
}

void BigView::touchesMoved(const kit::TouchSet& touches, const kit::Event& event) {
  if (kit::Touch* t = followed(touches, touchView_, kit::TouchPhase::Moved)) {
    ptCurrentTouch_ = t->locationInView(this);
    _touchesMoved(*t, event);
  }
  kit::View::touchesMoved(touches, event);
}

void BigView::touchesEnded(const kit::TouchSet& touches, const kit::Event& event) {
  if (kit::Touch* t = followed(touches, touchView_, kit::TouchPhase::Ended)) {
    _touchesEnded(*t, event);
    touchView_ = nullptr;
  }
  kit::View::touchesEnded(touches, event);
}

void BigView::touchesCancelled(const kit::TouchSet& touches, const kit::Event& event) {
  if (kit::Touch* t = followed(touches, touchView_, kit::TouchPhase::Cancelled)) {
    _touchesCancelled(*t, event);
    touchView_ = nullptr;
  }
  kit::View::touchesCancelled(touches, event);
}

// ---- Workers ---------------------------------------------------------------------------------

void BigView::_touchesBegan(kit::Touch& touch, const kit::Event&) {
  clearGestureTimers();
  hideCrosshair();
  bLoggedUndoForCurrentMove_ = false;
  lastTouchBeganOnSelectedNode_ = false;
  menuOptionsAtLastTouchDown_ = menuOptions_;

  if (dynamic_cast<RelationshipView*>(touchView_)) return;
  if (auto* topic = dynamic_cast<NodeView*>(touchView_)) {
    topic->setBeingMoved(true);
    int r = topic->getHitTestResult(touch.locationInView(topic));
    if (r == 0) return;
    // Keyboard commands act on the selection: an edit elsewhere ends before the selection moves.
    if (NodeView* editing = NodeView::currentEditingTopic(); editing && editing != topic) NodeView::finishEditing();
    bringSubviewToFront(topic);
    lastTouchBeganOnSelectedNode_ = topic == selectedNode_;
    setSelectedNode(topic, true);
    // The disclosure target and the task badge never start a long press.
    if (r == 2 && touch.tapCount() == 1)
      scheduleGesture(kLongPressStage1, kLongPressStage1Delay, &BigView::longPressStage1, true);
    return;
  }
  if (touchView_ == this) hideMenuController();
}

void BigView::_touchesMoved(kit::Touch&, const kit::Event&) {
  dragTouchMoved();
  if (dynamic_cast<NodeView*>(touchView_) && !withinSlop(ptCurrentTouch_, ptTouchDown_)) clearGestureTimers();
}

void BigView::_touchesEnded(kit::Touch& touch, const kit::Event& event) {
  clearGestureTimers();
  clearAutoScrollTimerIfEnabled();
  if (auto* relationship = dynamic_cast<RelationshipView*>(touchView_)) {
    if (touch.tapCount() == 1) onRelationshipEdit(relationship);
    dragTouchEnded();
    requestRedraw();
    draggingRelationship_ = nullptr;
    return;
  }
  if (auto* topic = dynamic_cast<NodeView*>(touchView_)) {
    topic->setBeingMoved(false);
    shrinkNode(topic);
    const bool tap = touch.tapCount() == 1 || touch.tapCount() == 2;
    // A touch that did not select its topic (outside it, or a lifted topic) is no tap on the
    // selection: it would act on another topic. A lift let go where it began is no drop.
    if (tap && dragDropNode_) {
      putBackLiftedTopic(false);
    } else if (topic == selectedNode_) {
      if (touch.tapCount() == 2) {
        onNodeDoubleTap();
      } else if (touch.tapCount() == 1) {
        if (kit::isLongerThan(event.timestamp() - tmTouchesBegan_, kSlowTap)) {
          if (withinSlop(ptCurrentTouch_, ptTouchDown_)) _onNodeSingleTap(false);
        } else {
          scheduleGesture(kNodeSingleTap, kSecondTapWait, &BigView::onNodeSingleTap, true);
        }
      }
    }
    if (tap) endTappedDrag();
    else dragTouchEnded();
    requestRedraw();
    draggingTopic_ = nullptr;
    return;
  }
  if (touchView_ == this) {
    if (touch.tapCount() == 2) onBackgroundDoubleTap();
    else if (touch.tapCount() == 1)
      scheduleGesture(kBackgroundSingleTap, kSecondTapWait, &BigView::onBackgroundSingleTap, false);
  }
}

void BigView::_touchesCancelled(kit::Touch&, const kit::Event&) {
  clearGestureTimers();
  const kit::Point back(ptTouchDown_.x + touchCentreOffset_.width, ptTouchDown_.y + touchCentreOffset_.height);
  if (auto* relationship = dynamic_cast<RelationshipView*>(touchView_)) {
    relationship->setCenter(back);
    dragTouchCancelled();
    requestRedraw();
    draggingRelationship_ = nullptr;
    return;
  }
  if (auto* topic = dynamic_cast<NodeView*>(touchView_)) {
    topic->setBeingMoved(false);
    shrinkNode(topic);
    if (dragDropNode_) {
      putBackLiftedTopic(false);
    } else if (draggingTopic_) {
      draggingTopic_->moveTo(back, true, true);
    }
    dragTouchCancelled();
    requestRedraw();
    draggingTopic_ = nullptr;
  }
}

// ---- Gesture messages ------------------------------------------------------------------------

void BigView::scheduleGesture(const char* name, double delay, void (BigView::*fn)(), bool forSelection) {
  std::string uuid = forSelection && selectedNode_ ? selectedNode_->uuid() : std::string();
  if (forSelection && uuid.empty()) return;
  kit::RunLoop::main().performAfterDelay(this, name, kit::Value(), delay, [this, fn, uuid = std::move(uuid)] {
    // A topic deleted (or cut) meanwhile is no longer the selection: the gesture is void.
    if (!uuid.empty() && (!selectedNode_ || selectedNode_->uuid() != uuid)) return;
    (this->*fn)();
  });
}

void BigView::clearGestureTimers() {
  kit::RunLoop& loop = kit::RunLoop::main();
  for (const char* name : {kLongPressStage1, kLongPressStage2, kNodeSingleTap, kBackgroundSingleTap})
    loop.cancelPerform(this, name, kit::Value());
}

void BigView::_onNodeSingleTap(bool deferred) {
  becomeFirstResponder();
  NodeView* s = selectedNode_;
  if (!s) return;
  int r = s->getHitTestResult(convertPointToView(ptTouchDown_, s));
  if (r == 1) {
    toggleFoldState(s);
    return;
  }
  if (r == 3) return;
  if (!deferred && !s->strLink().empty()) {
    if (parentController_) parentController_->followLinkForSelectedNode();
    return;
  }
  if (!lastTouchBeganOnSelectedNode_) return;
  std::uint32_t options = MenuOption::Copy;
  const bool siblings = s->hasVisibleSiblingTopics();
  if (isKeepOrganised() && !s->isCallout() && !s->isOnCalloutBranch()) {
    if (siblings) options |= MenuOption::Align;
  } else if (siblings || s->getChildTopicCount() > 0) {
    options |= MenuOption::Align;
  }
  if (s != rootNode_.get()) options |= MenuOption::Cut | MenuOption::Delete;
  if (GlobalHelpers::clipboardContainsSomethingToPaste()) options |= MenuOption::Paste;
  if (kit::Pasteboard::general().containsPasteboardType(GlobalHelpers::kTopicAttributesPasteboardType))
    options |= MenuOption::PasteStyle;
  menuOptions_ = options;
  showPopupMenuForRect(s->getAdjustedNodeShapeFrame());
}

void BigView::onNodeDoubleTap() {
  NodeView* s = selectedNode_;
  if (!s) return;
  if (s->getHitTestResult(convertPointToView(ptTouchDown_, s)) == 1) showFoldMenu();
  else s->inPlaceEdit(true);
}

void BigView::onBackgroundSingleTap() {
  const bool keyboardVisible = parentController_ && parentController_->isKeyboardVisible();
  becomeFirstResponder();
  setSelectedNode(selectedNode_, true);
  NodeView* root = selectedNode_ ? selectedNode_->getRoot() : nullptr;
  preferredSideForNextNewTopic_ = root && root->isToRightOfPoint(ptTouchDown_) ? Side::Left : Side::Right;
  // A tap that closed an open menu does no more.
  if (keyboardVisible || menuOptionsAtLastTouchDown_ != 0 ||
      !kit::UserDefaults::standard().boolForKey("ui_crosshair_enabled"))
    return;
  crosshairButton_->setCenter(ptTouchDown_);
  crosshairButton_->setAlpha(1.0f);
  menuOptions_ = MenuOption::NewFloatingTopic;
  if (GlobalHelpers::clipboardContainsSomethingToPaste()) menuOptions_ |= MenuOption::Paste | MenuOption::PasteAsFloating;
  showPopupMenuForRect(crosshairButton_->frame());
}

void BigView::onBackgroundDoubleTap() {
  crosshairButton_->setCenter(ptTouchDown_);
  crosshairButton_->setAlpha(1.0f);
  NodeView* s = selectedNode_;
  if (!s) return;
  const bool editing = s->isInPlaceEdit();
  createWithUndo([this, s, editing]() -> NodeView* { return createByDirectionFrom(s, editing); });
}

NodeView* BigView::createByDirectionFrom(NodeView* s, bool editing) {
  NodeView* created = nullptr;
  if (kit::UserDefaults::standard().boolForKey("ui_geo_create_enabled_")) {
    const kit::Point cross = crosshairButton_->center();
    // Measured on screen, at the current zoom.
    const kit::Point a = convertPointToSuperview(s->center());
    const kit::Point b = convertPointToSuperview(cross);
    if (std::hypot(a.x - b.x, a.y - b.y) > kFloatingTopicDistance) {
      created = createAndEditNewFloatingNode("");
    } else if (s->isRoot() || s->isCallout()) {
      created = createAndEditNewChildOf(s, "");
    } else {
      // The child sector points away from the central topic, the parent sector towards it.
      const float angle = GlobalHelpers::getAngleInDegreesOf(cross, s->center());
      enum { Child, Parent, Sibling } kind;
      if (s->isLogicallyToRightOfRoot()) {
        kind = angle >= 45 && angle <= 135 ? Child : angle >= 240 && angle <= 300 ? Parent : Sibling;
      } else {
        kind = angle >= 60 && angle <= 120 ? Parent : angle >= 225 && angle <= 315 ? Child : Sibling;
      }
      if (kind == Parent) {
        // Deleting the new parent would not put its child back in its place among its siblings:
        // undo restores the whole map instead.
        if (parentController_) parentController_->pushUndoSnapshot();
        createAndEditNewParentOf(s, "");
        return nullptr;
      }
      created = createAndEditNewChildOf(kind == Child ? s : s->parentNode(), "");
    }
  } else if (s->parentNode() && editing) {
    created = createAndEditNewChildOf(s->parentNode(), "");
  } else {
    created = createAndEditNewChildOf(s, "");
  }
  return created;
}

void BigView::longPressStage1() {
  NodeView* s = selectedNode_;
  // The central topic cannot be lifted.
  if (!s || s == rootNode_.get()) return;
  scheduleGesture(kLongPressStage2, s->strLink().empty() ? kLongPressStage2Delay : kLongPressStage2DelayWithLink,
                  &BigView::longPressStage2, true);
}

void BigView::longPressStage2() {
  NodeView* s = selectedNode_;
  if (!s) return;
  logMoveStartForUndoIfNotAlreadyLogged();
  setDragDropNode(s);
  // The drop menu's "Copy" and "Float a Copy" paste this copy of the branch.
  copyNode(s, 2);
  setSelectedNode(nullptr, true);
  growNode(s, kLiftScale);
  requestRedraw();
  // A lifted topic shows no link while it looks for a new parent, even before it moves again.
  if (linkLayer_) linkLayer_->setPath(kit::Path());
}

// Stand-in: the map screen that edits relationships is not built yet.
void BigView::onRelationshipEdit(RelationshipView*) {}

void BigView::motionEnded(kit::MotionType, const kit::Event&) {
  if (!parentController_) return;
  parentController_->centreScreenOnRootNode();
  showOverlayMessage(parentController_->mapName(), 22.0f, 2.0);
}

// Not modal, over the canvas, in its middle (where the central topic was just centred), text only.
void BigView::showOverlayMessage(const std::string& title, float fontSize, double seconds) {
  FloatOver::displayModal(false, this, FloatOver::kCentre, title, fontSize, FloatOver::kTextOnly, seconds);
}

// ---- The scroll view -------------------------------------------------------------------------

bool MapScrollView::staysWithContent(const kit::View* view) const {
  if (dynamic_cast<const NodeView*>(view) || dynamic_cast<const RelationshipView*>(view)) return true;
  // A drag in the in-place editor selects text.
  if (dynamic_cast<const kit::TextView*>(view)) return true;
  auto* canvas = dynamic_cast<const BigView*>(contentView());
  return canvas && view && view == canvas->topicResizeTool();
}

bool MapScrollView::touchesShouldBegin(const kit::TouchSet&, const kit::Event&, kit::View* view) {
  return staysWithContent(view) ? !isDragging() : true;
}

bool MapScrollView::touchesShouldCancelInContentView(kit::View* view) { return !staysWithContent(view); }

void MapScrollView::scrollRectToVisible(const kit::Rect&, bool) {}
