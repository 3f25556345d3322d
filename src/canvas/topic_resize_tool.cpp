#include "canvas/topic_resize_tool.h"

#include <cmath>
#include <cstdio>

#include "canvas/big_view.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"

namespace {

constexpr const char* kAutoHide = "onAutoHide:";

kit::Touch* first(const kit::TouchSet& touches, kit::Touch* want) {
  for (kit::Touch* t : touches)
    if (!want || t == want) return t;
  return nullptr;
}

}  // namespace

// ---- The grip ----------------------------------------------------------------------------------

TopicResizeTool::TopicResizeTool(const kit::Rect& frame, BigView* canvas) : kit::View(frame), canvas_(canvas) {
  type_ = static_cast<int>(kit::UserDefaults::standard().integerForKey("ui_topic_resize_handle"));
  setBackgroundColor(kit::Color::clear());
  // Without a grip style there is no grip at all.
  setUserInteractionEnabled(type_ != 0);
}

void TopicResizeTool::setDragging(bool d) {
  if (d == dragging_) return;
  dragging_ = d;
  setNeedsDisplay();
}

void TopicResizeTool::setRightHanded(bool r) {
  if (r == rightHanded_) return;
  rightHanded_ = r;
  setNeedsDisplay();
}

void TopicResizeTool::drawRect(kit::GraphicsContext& context, const kit::Rect&) {
  if (type_ == 0) return;
  const char* name = type_ == 2        ? "resizeToolChevrons"
                     : rightHanded_    ? (dragging_ ? "resizeToolRightGrab" : "resizeToolRight")
                                       : (dragging_ ? "resizeToolLeftGrab" : "resizeToolLeft");
  kit::ImageRef image = kit::imageNamed(name);
  if (!image) return;
  const kit::Size s = image->size();
  const kit::Rect b = bounds();
  // The image sits on the side nearest the topic.
  const float x = rightHanded_ ? b.minX() : b.maxX() - s.width;
  context.drawImage(*image, kit::Rect(x, b.minY(), s.width, s.height));
}

kit::Point TopicResizeTool::translation() const {
  if (!touch_) return kit::Point();
  const kit::Point p = touch_->locationInView(canvas_);
  return kit::Point(p.x - start_.x, p.y - start_.y);
}

void TopicResizeTool::setTranslation(kit::Point t) {
  if (!touch_) return;
  const kit::Point p = touch_->locationInView(canvas_);
  start_ = kit::Point(p.x - t.x, p.y - t.y);
}

void TopicResizeTool::touchesBegan(const kit::TouchSet& touches, const kit::Event&) {
  if (touch_) return;
  touch_ = first(touches, nullptr);
  panning_ = false;
  if (touch_) start_ = touch_->locationInView(canvas_);
}

void TopicResizeTool::touchesMoved(const kit::TouchSet& touches, const kit::Event&) {
  if (!touch_ || !first(touches, touch_)) return;
  // Jitter within the tap hysteresis leaves a tap a tap: the pan begins beyond it, with the
  // whole way from the touch-down.
  if (!panning_ && touch_->tapCount() != 0) return;
  const bool began = !panning_;
  panning_ = true;
  canvas_->onTopicResizeToolMove(began ? Began : Changed);
}

void TopicResizeTool::touchesEnded(const kit::TouchSet& touches, const kit::Event&) {
  if (!touch_ || !first(touches, touch_)) return;
  if (panning_) canvas_->onTopicResizeToolMove(Ended);
  else canvas_->onTopicResizeToolTap();
  touch_ = nullptr;
  panning_ = false;
}

void TopicResizeTool::touchesCancelled(const kit::TouchSet& touches, const kit::Event&) {
  if (!touch_ || !first(touches, touch_)) return;
  if (panning_) canvas_->onTopicResizeToolMove(Cancelled);
  touch_ = nullptr;
  panning_ = false;
}

// ---- The read-out ------------------------------------------------------------------------------

TopicResizeIndicator::TopicResizeIndicator(const kit::Rect& frame) : kit::View(frame) {
  setBackgroundColor(kit::Color::clear());
  setAlpha(0);  // shown by a resize
}

TopicResizeIndicator::~TopicResizeIndicator() { kit::RunLoop::main().cancelAll(this); }

void TopicResizeIndicator::drawRect(kit::GraphicsContext& context, const kit::Rect&) {
  const kit::Rect r = bounds().insetBy(2, 2);
  constexpr float k = 10;
  kit::Path p;
  p.moveTo(kit::Point(r.minX() + k, r.minY()));
  p.lineTo(kit::Point(r.maxX() - k, r.minY()));
  p.quadCurveTo(kit::Point(r.maxX(), r.minY()), kit::Point(r.maxX(), r.minY() + k));
  p.lineTo(kit::Point(r.maxX(), r.maxY() - k));
  p.quadCurveTo(kit::Point(r.maxX(), r.maxY()), kit::Point(r.maxX() - k, r.maxY()));
  p.lineTo(kit::Point(r.minX() + k, r.maxY()));
  p.quadCurveTo(kit::Point(r.minX(), r.maxY()), kit::Point(r.minX(), r.maxY() - k));
  p.lineTo(kit::Point(r.minX(), r.minY() + k));
  p.quadCurveTo(kit::Point(r.minX(), r.minY()), kit::Point(r.minX() + k, r.minY()));
  p.closePath();
  context.setFillColor(kit::Color(0, 0, 0, 0.8f));
  context.setStrokeColor(kit::Color(0.5f, 0.5f, 0.5f, 1.0f));
  context.beginPath();
  context.addPath(p);
  context.drawPath(kit::PathDrawingMode::FillStroke);
  char text[64];
  std::snprintf(text, sizeof text, "w:%d f:%d", static_cast<int>(width_), static_cast<int>(fontSize_));
  context.setFillColor(kit::Color::white());
  kit::drawInRect(context, text, r.insetBy(0, 4), kit::Font::boldSystemFont(14), kit::LineBreakMode::TailTruncation,
                  kit::TextAlignment::Center);
}

void TopicResizeIndicator::refreshFontSize(float fontSize, float width) {
  if (autoHiding_) {
    kit::RunLoop::main().cancelPerforms(this);
    autoHiding_ = false;
  }
  fontSize_ = fontSize;
  width_ = width;
  setNeedsDisplay();
}

void TopicResizeIndicator::autoHide(double delay) {
  autoHiding_ = true;
  kit::RunLoop::main().performAfterDelay(this, kAutoHide, kit::Value(), delay, [this] { onAutoHide(); });
}

void TopicResizeIndicator::onAutoHide() {
  autoHiding_ = false;
  setAlpha(0);
}
