#include "kit/ui/button.h"

#include <algorithm>
#include <cmath>

#include "kit/graphics/context.h"
#include "kit/graphics/image.h"
#include "kit/graphics/path.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"
#include "kit/ui/controls.h"

namespace kit {

void Control::addTarget(const void* target, Action action, ControlEvents forControlEvents) {
  if (!action || forControlEvents == 0) return;
  actions_.push_back({target, std::move(action), forControlEvents});
}

void Control::removeTarget(const void* target, ControlEvents forControlEvents) {
  for (auto it = actions_.begin(); it != actions_.end();) {
    if (target == nullptr || it->target == target) {
      it->events &= ~forControlEvents;
      if (it->events == 0) {
        it = actions_.erase(it);
        continue;
      }
    }
    ++it;
  }
}

std::size_t Control::actionCount(ControlEvents forControlEvents) const {
  return static_cast<std::size_t>(std::count_if(actions_.begin(), actions_.end(), [&](const Registration& r) {
    return (r.events & forControlEvents) != 0;
  }));
}

void Control::sendActionsForControlEvents(ControlEvents events) {
  // An action may add or remove registrations (or hide the control): call a snapshot.
  std::vector<Action> due;
  for (const Registration& r : actions_)
    if (r.events & events) due.push_back(r.action);
  for (Action& a : due) a(*this, events);
}

void Control::setEnabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  if (!e) {
    tracking_ = false;
    touchInside_ = false;
    highlighted_ = false;
  }
  stateChanged();
}

void Control::setHighlighted(bool h) {
  if (highlighted_ == h) return;
  highlighted_ = h;
  stateChanged();
}

void Control::setSelected(bool s) {
  if (selected_ == s) return;
  selected_ = s;
  stateChanged();
}

ControlState Control::state() const {
  std::uint32_t s = ControlStateNormal;
  if (highlighted_) s |= ControlStateHighlighted;
  if (!enabled_) s |= ControlStateDisabled;
  if (selected_) s |= ControlStateSelected;
  return static_cast<ControlState>(s);
}

bool Control::insideForTracking(Point p) const {
  Rect b = bounds();
  return Rect(b.minX() - kTrackingSlop, b.minY() - kTrackingSlop, b.width() + 2 * kTrackingSlop,
              b.height() + 2 * kTrackingSlop)
      .contains(p);
}

void Control::beginTracking(Point p, int tapCount) {
  if (!enabled_) return;
  tracking_ = true;
  touchInside_ = insideForTracking(p);
  setHighlighted(touchInside_);
  ControlEvents e = ControlEventTouchDown;
  if (tapCount > 1) e |= ControlEventTouchDownRepeat;
  sendActionsForControlEvents(e);
}

void Control::continueTracking(Point p) {
  if (!tracking_) return;
  bool inside = insideForTracking(p);
  ControlEvents e = inside ? ControlEventTouchDragInside : ControlEventTouchDragOutside;
  if (inside && !touchInside_) e |= ControlEventTouchDragEnter;
  if (!inside && touchInside_) e |= ControlEventTouchDragExit;
  touchInside_ = inside;
  setHighlighted(inside);
  sendActionsForControlEvents(e);
}

void Control::endTracking(Point p) {
  if (!tracking_) return;
  bool inside = insideForTracking(p);
  tracking_ = false;
  touchInside_ = false;
  setHighlighted(false);
  sendActionsForControlEvents(inside ? ControlEventTouchUpInside : ControlEventTouchUpOutside);
}

void Control::cancelTracking() {
  if (!tracking_) return;
  tracking_ = false;
  touchInside_ = false;
  setHighlighted(false);
  sendActionsForControlEvents(ControlEventTouchCancel);
}

void Control::touchesBegan(const TouchSet& touches, const Event&) {
  if (!touches.empty()) beginTracking(touches.front()->locationInView(this), touches.front()->tapCount());
}

void Control::touchesMoved(const TouchSet& touches, const Event&) {
  if (!touches.empty()) continueTracking(touches.front()->locationInView(this));
}

void Control::touchesEnded(const TouchSet& touches, const Event&) {
  if (!touches.empty()) endTracking(touches.front()->locationInView(this));
}

void Control::touchesCancelled(const TouchSet&, const Event&) { cancelTracking(); }

Button::Button(Type type) : type_(type) {
  if (type == Type::Custom) setOpaque(false);
}

Button::Button(const Rect& frame, Type type) : Control(frame), type_(type) {
  if (type == Type::Custom) setOpaque(false);
}

Button::Appearance& Button::appearanceFor(ControlState state) {
  for (auto& [s, a] : appearance_)
    if (s == state) return a;
  appearance_.emplace_back(state, Appearance{});
  return appearance_.back().second;
}

const Button::Appearance* Button::findAppearance(ControlState state) const {
  for (const auto& [s, a] : appearance_)
    if (s == state) return &a;
  return nullptr;
}

void Button::setTitle(std::optional<std::string> title, ControlState forState) {
  appearanceFor(forState).title = std::move(title);
  setNeedsDisplay();
}

std::optional<std::string> Button::titleForState(ControlState state) const {
  if (const Appearance* a = findAppearance(state); a && a->title) return a->title;
  if (const Appearance* n = findAppearance(ControlStateNormal)) return n->title;
  return std::nullopt;
}

void Button::setTitleColor(std::optional<Color> color, ControlState forState) {
  appearanceFor(forState).titleColor = std::move(color);
  setNeedsDisplay();
}

std::optional<Color> Button::titleColorForState(ControlState state) const {
  if (const Appearance* a = findAppearance(state); a && a->titleColor) return a->titleColor;
  if (const Appearance* n = findAppearance(ControlStateNormal)) return n->titleColor;
  return std::nullopt;
}

void Button::setImage(std::shared_ptr<const Image> image, ControlState forState) {
  Appearance& a = appearanceFor(forState);
  a.image = std::move(image);
  a.imageName.clear();
  setNeedsDisplay();
}

void Button::setImageNamed(std::string name, ControlState forState) {
  Appearance& a = appearanceFor(forState);
  a.image = nullptr;
  a.imageName = std::move(name);
  setNeedsDisplay();
}

const std::shared_ptr<const Image>& Button::Appearance::loadedImage() const {
  if (!imageName.empty()) {
    image = imageNamed(imageName);
    imageName.clear();
  }
  return image;
}

std::shared_ptr<const Image> Button::imageForState(ControlState state) const {
  if (const Appearance* a = findAppearance(state); a && a->loadedImage()) return a->image;
  if (const Appearance* n = findAppearance(ControlStateNormal)) return n->loadedImage();
  return nullptr;
}

void Button::setBackgroundImage(std::shared_ptr<const Image> image, ControlState forState) {
  appearanceFor(forState).background = std::move(image);
  setNeedsDisplay();
}

std::shared_ptr<const Image> Button::backgroundImageForState(ControlState state) const {
  if (const Appearance* a = findAppearance(state); a && a->background) return a->background;
  if (const Appearance* n = findAppearance(ControlStateNormal)) return n->background;
  return nullptr;
}

}  // namespace kit

namespace kit {

namespace {
// A stretchable image: the left cap and what follows the one stretched column keep their width;
// with a top cap of 0 the height stretches as a whole.
void drawStretched(GraphicsContext& ctx, const Image& image, const Rect& into, int leftCap, int topCap) {
  const Size s = image.size();
  if (s.width <= 0 || s.height <= 0) return;
  const Float left = std::min<Float>(std::max(leftCap, 0), s.width);
  if (left <= 0 || left + 1 > s.width || into.width() < s.width) {
    ctx.drawImage(image, into);
    return;
  }
  (void)topCap;
  const Float right = s.width - left - 1;
  const Float middle = into.width() - left - right;
  struct Slice {
    Float from, width, to, toWidth;
  };
  const Slice slices[] = {{0, left, into.minX(), left},
                          {left, 1, into.minX() + left, middle},
                          {left + 1, right, into.maxX() - right, right}};
  for (const Slice& sl : slices) {
    if (sl.toWidth <= 0 || sl.width <= 0) continue;
    ctx.saveGState();
    ctx.clipToRect(Rect(sl.to, into.minY(), sl.toWidth, into.height()));
    const Float k = sl.toWidth / sl.width;
    ctx.drawImage(image, Rect(sl.to - sl.from * k, into.minY(), s.width * k, into.height()));
    ctx.restoreGState();
  }
}
}  // namespace

void Button::drawRect(GraphicsContext& ctx, const Rect&) {
  const Rect b = bounds();
  if (type_ == Type::RoundedRect) {
    const Path box = roundedRectPath(b.insetBy(0.5f, 0.5f), 8);
    ctx.setFillColor(isHighlighted() ? Color(0.2f, 0.45f, 0.9f) : Color::white());
    ctx.beginPath();
    ctx.addPath(box);
    ctx.fillPath();
    ctx.setStrokeColor(Color::gray(0.6f));
    ctx.beginPath();
    ctx.addPath(box);
    ctx.strokePath();
  }
  if (auto bg = currentBackgroundImage()) drawStretched(ctx, *bg, b, leftCap_, topCap_);
  Float textLeft = b.minX();
  if (auto image = currentImage()) {
    const Size s = image->size();
    const Float x = currentTitle() ? b.minX() + 6 : b.midX() - s.width / 2;
    ctx.drawImage(*image, Rect(x, b.midY() - s.height / 2, s.width, s.height));
    if (currentTitle()) textLeft = x + s.width + 4;
  }
  if (auto title = currentTitle(); title && !title->empty()) {
    const Font font = titleBold_ ? Font::boldSystemFont(titleFontSize_) : Font::systemFont(titleFontSize_);
    const Size s = sizeWithFont(*title, font);
    Color c = currentTitleColor().value_or(type_ == Type::RoundedRect && !isHighlighted() ? Color(0.2f, 0.31f, 0.52f)
                                                                                          : Color::white());
    ctx.setFillColor(c);
    drawInRect(ctx, *title, Rect(textLeft, b.midY() - s.height / 2, b.maxX() - textLeft, s.height), font,
               LineBreakMode::TailTruncation, TextAlignment::Center);
  }
}

}  // namespace kit
