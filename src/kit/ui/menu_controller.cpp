#include "kit/ui/menu_controller.h"

#include <algorithm>

#include "kit/core/notification_center.h"
#include "kit/graphics/context.h"
#include "kit/typography/string_drawing.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace kit {

namespace {
constexpr float kItemHeight = 36;
constexpr float kItemPadding = 12;
constexpr float kGap = 10;  // between the target and the row, where the arrow would be
constexpr float kFontSize = 14;
}  // namespace

// The row itself: one cell per shown item, titles centred, thin separators between them.
class MenuController::MenuView : public View {
 public:
  explicit MenuView(MenuController& owner) : owner_(owner) { setOpaque(false); }

  void setItems(const std::vector<MenuItem>& items) {
    widths_.clear();
    float total = 0;
    for (const MenuItem& item : items) {
      widths_.push_back(sizeWithFont(item.title, Font::systemFont(kFontSize)).width + 2 * kItemPadding);
      total += widths_.back();
    }
    setBounds(Rect(0, 0, total, kItemHeight));
    setNeedsDisplay();
  }

  // The index of the cell under the point (bounds coordinates), or -1.
  int itemAt(Point p) const {
    if (p.y < 0 || p.y > kItemHeight) return -1;
    float x = 0;
    for (std::size_t i = 0; i < widths_.size(); ++i) {
      if (p.x >= x && p.x < x + widths_[i]) return static_cast<int>(i);
      x += widths_[i];
    }
    return -1;
  }

  // The i-th cell in bounds coordinates (zero when out of range).
  Rect itemRect(std::size_t i) const {
    if (i >= widths_.size()) return Rect();
    float x = 0;
    for (std::size_t k = 0; k < i; ++k) x += widths_[k];
    return Rect(x, 0, widths_[i], kItemHeight);
  }

  void drawRect(GraphicsContext& ctx, const Rect&) override {
    ctx.setFillColor(Color(0.1f, 0.1f, 0.1f, 0.9f));
    ctx.fillRect(bounds());
    const Font font = Font::systemFont(kFontSize);
    float x = 0;
    const auto& items = owner_.visibleItems();
    for (std::size_t i = 0; i < widths_.size() && i < items.size(); ++i) {
      if (i > 0) {
        ctx.setFillColor(Color(0.4f, 0.4f, 0.4f, 1));
        ctx.fillRect(Rect(x, 4, 1, kItemHeight - 8));
      }
      ctx.setFillColor(Color(1, 1, 1, 1));
      const float textHeight = sizeWithFont(items[i].title, font).height;
      drawInRect(ctx, items[i].title, Rect(x, (kItemHeight - textHeight) / 2, widths_[i], textHeight), font,
                 LineBreakMode::Clip, TextAlignment::Center);
      x += widths_[i];
    }
  }

  void touchesBegan(const TouchSet&, const Event&) override {}
  void touchesMoved(const TouchSet&, const Event&) override {}
  void touchesCancelled(const TouchSet&, const Event&) override {}
  void touchesEnded(const TouchSet& touches, const Event&) override {
    if (touches.empty()) return;
    const int i = itemAt(touches.front()->locationInView(this));
    if (i >= 0 && static_cast<std::size_t>(i) < owner_.visibleItems().size())
      owner_.chooseItem(std::string(owner_.visibleItems()[static_cast<std::size_t>(i)].title));
  }

 private:
  MenuController& owner_;
  std::vector<float> widths_;
};

MenuController::MenuController() : view_(std::make_unique<MenuView>(*this)) {}
MenuController::~MenuController() = default;

MenuController& MenuController::shared() {
  static MenuController* controller = new MenuController();  // never destroyed: views outlive exit order
  return *controller;
}

void MenuController::setTargetRect(const Rect& rect, View* inView) {
  if (rect == Rect::zero()) return;
  targetRect_ = rect;
  targetView_ = inView;
}

Responder* MenuController::firstResponder() const {
  Window* w = targetView_ ? targetView_->window() : nullptr;
  return w ? w->firstResponder() : nullptr;
}

void MenuController::setMenuVisible(bool visible, bool) {
  if (!visible) {
    hide(true);
    return;
  }
  Window* window = targetView_ ? targetView_->window() : nullptr;
  Responder* first = firstResponder();
  std::vector<MenuItem> accepted;
  if (first)
    for (const MenuItem& item : items_)
      if (first->canPerformAction(item.action, this)) accepted.push_back(item);
  if (accepted.empty()) {
    hide(true);
    return;
  }
  shown_ = std::move(accepted);
  view_->setItems(shown_);

  // Centred on the target, above it unless asked otherwise or there is no room; kept inside.
  const Rect t = targetView_->convertRectToView(targetRect_, window);
  const Size s = view_->bounds().size;
  const Rect wb = window->bounds();
  Point c(t.midX(), t.minY() - kGap - s.height / 2);
  switch (arrow_) {
    case MenuArrowDirection::Up: c.y = t.maxY() + kGap + s.height / 2; break;
    case MenuArrowDirection::Left: c = Point(t.maxX() + kGap + s.width / 2, t.midY()); break;
    case MenuArrowDirection::Right: c = Point(t.minX() - kGap - s.width / 2, t.midY()); break;
    case MenuArrowDirection::Down: break;
    case MenuArrowDirection::Default:
      if (c.y - s.height / 2 < wb.minY()) c.y = t.maxY() + kGap + s.height / 2;
      break;
  }
  c.x = std::clamp(c.x, wb.minX() + s.width / 2, std::max(wb.minX() + s.width / 2, wb.maxX() - s.width / 2));
  c.y = std::clamp(c.y, wb.minY() + s.height / 2, std::max(wb.minY() + s.height / 2, wb.maxY() - s.height / 2));
  view_->setCenter(c);
  window->addSubview(view_.get());  // to the front
  visible_ = true;
}

void MenuController::hide(bool notify) {
  const bool was = visible_;
  visible_ = false;
  shown_.clear();
  view_->removeFromSuperview();
  if (was && notify) NotificationCenter::defaultCenter().post(kDidHideNotification, this);
}

Rect MenuController::menuFrame() const { return visible_ ? view_->frame() : Rect(); }

Rect MenuController::itemFrame(std::size_t i) const {
  if (!visible_ || i >= shown_.size()) return Rect();
  const Rect r = view_->itemRect(i);
  const Rect frame = view_->frame();
  return Rect(frame.origin.x + r.origin.x, frame.origin.y + r.origin.y, r.size.width, r.size.height);
}

bool MenuController::chooseItem(std::string_view title) {
  if (!visible_) return false;
  auto it = std::find_if(shown_.begin(), shown_.end(), [&](const MenuItem& m) { return m.title == title; });
  if (it == shown_.end()) return false;
  const std::string action = it->action;
  if (Responder* first = firstResponder()) first->performAction(action, this);
  hide(true);
  return true;
}

void MenuController::touchBeganAt(const View* window, const View* hit) {
  if (visible_ && window == view_->superview() && hit != view_.get()) hide(true);
}

bool MenuController::keyPressedIn(const View* window, const KeyInput& key) {
  if (key.key != Key::Escape || key.modifiers != 0 || !visible_ || window != view_->superview()) return false;
  hide(true);
  return true;
}

void MenuController::forgetView(const View* view) {
  if (!targetView_ || !view || (targetView_ != view && !targetView_->isDescendantOf(view))) return;
  hide(false);
  targetView_ = nullptr;
  targetRect_ = Rect();
}

}  // namespace kit
