// The resize grip of the selected topic: placing it (and the disclosure button) by the topic,
// the width and font-size steps of its pan, the read-out, and the menus at its end or tap.
#include <cmath>

#include "canvas/big_view.h"
#include "canvas/topic_resize_tool.h"
#include "helpers/global_helpers_geometry.h"
#include "kit/core/undo_manager.h"
#include "kit/ui/view_animation.h"

namespace {

constexpr float kFontStepDrag = 15;
constexpr float kFontStep = 4;
constexpr float kDisclosureGap = 22;
constexpr double kIndicatorAutoHide = 2.0;
// The grip and the button glide to the topic's new size.
constexpr double kReplaceDuration = 0.2;

}  // namespace

void BigView::onSelectedNodeGeometryChange() {
  auto* grip = static_cast<TopicResizeTool*>(topicResizeTool_.get());
  NodeView* s = selectedNode_;
  if (!grip || !s) return;
  if (grip->dragging()) {
    alignTopicResizeIndicatorOn(s, true);
  } else {
    grip->setRightHanded(s->isLogicallyToRightOfRoot());
    const kit::Rect f = s->getAdjustedNodeShapeFrame();
    float x = f.maxX(), y = f.maxY();
    if (s->getDisplayShape() == 2) {
      const float a = f.width() / 3;
      x = f.midX() + a + 5;
      y = f.midY() + GlobalHelpers::calcElipseYValGivenX(a, f.width() / 2, f.height() / 2) + 5;
    } else if (s->getDisplayShape() == 3 && s->getChildTopicCount() > 0) {
      x = f.maxX() + 15;
    }
    const kit::Size g = grip->bounds().size;
    if (grip->rightHanded()) x += g.width / 2;
    else x = 2 * f.midX() - x - g.width / 2;
    y += g.height / 2;
    grip->setCenter(kit::Point(std::round(x), std::round(y)));
  }
  const kit::Rect d = s->convertRectToView(s->getDisclosureTarget(), this);
  topicDisclosureButton_->setCenter(
      kit::Point(std::max(s->frame().maxX(), d.maxX()) + kDisclosureGap, s->getAdjustedNodeCenter().y));
}

void BigView::alignTopicResizeIndicatorOn(NodeView*, bool verticalOnly) {
  NodeView* s = selectedNode_;
  if (!s) return;
  const kit::Rect f = s->getAdjustedNodeShapeFrame();
  const float x = verticalOnly ? topicResizeIndicator_->center().x
                               : (s->isLogicallyToRightOfRoot() ? f.minX() : f.maxX());
  topicResizeIndicator_->setCenter(kit::Point(std::round(x), std::round(f.minY())));
}

void BigView::showTopicResizeIndicator(bool show) {
  auto* indicator = static_cast<TopicResizeIndicator*>(topicResizeIndicator_.get());
  if (!show || !selectedNode_) {
    indicator->setAlpha(0);
    return;
  }
  indicator->setAlpha(1.0f);
  alignTopicResizeIndicatorOn(selectedNode_, false);
  indicator->refreshFontSize(selectedNode_->getDisplayFontSize(), selectedNode_->getDisplayWidth());
  bringSubviewToFront(indicator);
}

void BigView::onTopicResizeToolTap() {
  if (!selectedNode_) return;
  showTopicResizeIndicator(true);
  static_cast<TopicResizeIndicator*>(topicResizeIndicator_.get())->autoHide(kIndicatorAutoHide);
  if (becomeFirstResponder()) {
    menuOptions_ = MenuOption::AutoSize;
    showPopupMenuForRect(topicResizeTool_->frame());
  }
}

bool BigView::resizingTopic() const {
  return topicResizeTool_ && static_cast<const TopicResizeTool*>(topicResizeTool_.get())->dragging();
}

void BigView::onTopicResizeToolMove(int state) {
  auto* grip = static_cast<TopicResizeTool*>(topicResizeTool_.get());
  NodeView* s = selectedNode_;
  if (!s) return;
  if (state == TopicResizeTool::Began) {
    grip->setDragging(true);
    grip->preResizeNodeFrame = s->getAdjustedNodeShapeFrame();
    grip->preResizeBranchFrame = s->getBranchBoundingRect();
    // Width, font size and the places the realign at the end changes come back in one undo.
    kit::UndoManager* undo = parentController_ ? parentController_->undoManager() : nullptr;
    if (undo) undo->beginUndoGrouping();
    pushPlacesUndo(s->getRoot());
    s->pushWidthUndo();
    s->pushFontSizeUndo();
    if (undo) undo->endUndoGrouping();
    s->beginAdjustWidth();
    showTopicResizeIndicator(true);
  }
  if (state == TopicResizeTool::Began || state == TopicResizeTool::Changed) {
    const kit::Point t = grip->translation();
    const kit::Point c = grip->center();
    if (t.y > kFontStepDrag || t.y < -kFontStepDrag) {
      grip->setTranslation(kit::Point());
      grip->setCenter(kit::Point(c.x + t.x, c.y + t.y));
      s->adjustFontSizeBy(t.y > 0 ? kFontStep : -kFontStep);
    } else {
      // Vertical movement adds up until it makes a step.
      grip->setTranslation(kit::Point(0, t.y));
      grip->setCenter(kit::Point(c.x + t.x, c.y));
    }
    if (t.x != 0) s->adjustWidthBy(grip->rightHanded() ? t.x : -t.x);
    s->recalcLayoutRecursively(false, true, true, false, false);
    static_cast<TopicResizeIndicator*>(topicResizeIndicator_.get())
        ->refreshFontSize(s->getDisplayFontSize(), s->getDisplayWidth());
    requestRedraw();
    return;
  }
  s->endAdjustWidth();
  grip->setDragging(false);
  showTopicResizeIndicator(false);
  if (!s->isInPlaceEdit()) s->realignBasedOnSavedNodeFrame(grip->preResizeNodeFrame, grip->preResizeBranchFrame, true);
  s->recalcLayoutRecursively(false, true, true, true, true);
  requestRedraw();
  kit::ViewAnimation::animate(kReplaceDuration, [this] { onSelectedNodeGeometryChange(); }, {}, this);
  if (!becomeFirstResponder()) return;
  const std::uint32_t options = applyToOptionsFor(s);
  menuOptions_ = options;
  if (options) {
    menuOptionsContext_ = 2;
    showPopupMenuForRect(topicResizeTool_->frame());
  }
}
