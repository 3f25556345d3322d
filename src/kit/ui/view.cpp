#include "kit/ui/view.h"

#include <algorithm>
#include <cmath>

#include "kit/ui/window.h"

namespace kit {

namespace {
constexpr std::string_view kCenter = "center";
constexpr std::string_view kBounds = "bounds";
}  // namespace

View::View() = default;

// setFrame without its observer calls: a view being made has no observers yet.
View::View(const Rect& frame) {
  const Rect f = frame.standardized();
  center_ = f.mid();
  bounds_.size = f.size;
  noteScreenChange();
}

View::~View() {
  if (Window* w = window()) w->viewLeaving(*this);
  removeFromSuperview();
  // Subviews stay alive (they are not ours) but lose their superview.
  View* v = firstSubview_;
  while (v) {
    View* next = v->next_;
    v->superview_ = nullptr;
    v->prev_ = v->next_ = nullptr;
    v->didLeaveSuperview();
    v = next;
  }
  firstSubview_ = lastSubview_ = nullptr;
  subviewCount_ = 0;
}

Rect View::frame() const {
  Rect local(-bounds_.size.width / 2, -bounds_.size.height / 2, bounds_.size.width, bounds_.size.height);
  Rect r = transform_.isIdentity() ? local : transform_.apply(local);
  return r.offsetBy(center_.x, center_.y);
}

void View::setFrame(const Rect& frame) {
  Rect f = frame.standardized();
  center_ = f.mid();
  bounds_.size = f.size;
  notify(kCenter);
  notify(kBounds);
}

void View::setBounds(const Rect& bounds) {
  bounds_ = bounds;
  notify(kBounds);
}

void View::setCenter(Point center) {
  center_ = center;
  notify(kCenter);
}

void View::setTransform(const AffineTransform& t) {
  transform_ = t;
  noteScreenChange();
}

std::vector<View*> View::subviews() const {
  std::vector<View*> out;
  out.reserve(subviewCount_);
  for (View* v = firstSubview_; v; v = v->next_) out.push_back(v);
  return out;
}

void View::unlink() {
  if (!superview_) return;
  noteScreenChange();
  View* s = superview_;
  if (prev_) prev_->next_ = next_; else s->firstSubview_ = next_;
  if (next_) next_->prev_ = prev_; else s->lastSubview_ = prev_;
  prev_ = next_ = nullptr;
  superview_ = nullptr;
  --s->subviewCount_;
}

void View::linkBefore(View* view, View* sibling) {
  noteScreenChange();
  view->superview_ = this;
  view->next_ = sibling;
  view->prev_ = sibling ? sibling->prev_ : lastSubview_;
  if (view->prev_) view->prev_->next_ = view; else firstSubview_ = view;
  if (sibling) sibling->prev_ = view; else lastSubview_ = view;
  ++subviewCount_;
  if (view->needsDisplay_) subviewMarked_ = true;
}

void View::addSubview(View* view) {
  if (!view || view == this) return;
  view->unlink();
  linkBefore(view, nullptr);
}

void View::insertSubview(View* view, std::size_t index) {
  if (!view || view == this) return;
  view->unlink();
  View* at = firstSubview_;
  for (std::size_t i = 0; at && i < index; ++i) at = at->next_;
  linkBefore(view, at);
}

void View::insertSubviewAbove(View* view, View* sibling) {
  if (!view || view == this || view == sibling) return;
  if (!sibling || sibling->superview_ != this) return addSubview(view);
  view->unlink();
  linkBefore(view, sibling->next_);
}

void View::insertSubviewBelow(View* view, View* sibling) {
  if (!view || view == this || view == sibling) return;
  if (!sibling || sibling->superview_ != this) return addSubview(view);
  view->unlink();
  linkBefore(view, sibling);
}

void View::removeFromSuperview() {
  if (!superview_) return;
  if (Window* w = window()) w->viewLeaving(*this);
  unlink();
  didLeaveSuperview();
}

void View::bringSubviewToFront(View* view) {
  if (!view || view->superview_ != this || view == lastSubview_) return;
  view->unlink();
  linkBefore(view, nullptr);
}

void View::sendSubviewToBack(View* view) {
  if (!view || view->superview_ != this || view == firstSubview_) return;
  view->unlink();
  linkBefore(view, firstSubview_);
}

bool View::isDescendantOf(const View* view) const {
  for (const View* v = this; v; v = v->superview_)
    if (v == view) return true;
  return false;
}

void View::setNeedsDisplay() { setNeedsDisplayInRect(bounds_); }

void View::setNeedsDisplayInRect(const Rect& r) {
  dirtyRect_ = needsDisplay_ ? dirtyRect_.unionWith(r) : r.standardized();
  needsDisplay_ = true;
  noteScreenChange();
  if (superview_) superview_->subviewMarked_ = true;
}

void View::drawRect(GraphicsContext&, const Rect&) {}

bool View::drawFrameContent(GraphicsContext& context, const Rect&) {
  drawRect(context, bounds_);
  return true;
}

Responder* View::nextResponder() const { return superview_; }

Window* View::window() const {
  const View* v = this;
  while (v->superview_) v = v->superview_;
  return v->isWindow() ? static_cast<Window*>(const_cast<View*>(v)) : nullptr;
}

bool View::becomeFirstResponder() {
  if (!canBecomeFirstResponder()) return false;
  Window* w = window();
  if (!w) return false;
  return w->makeFirstResponder(this);
}

bool View::resignFirstResponder() {
  if (Window* w = window(); w && w->firstResponder() == this) w->clearFirstResponder(this);
  return true;
}

bool View::isFirstResponder() const {
  Window* w = window();
  return w && w->firstResponder() == this;
}

bool View::pointInside(Point p) const { return bounds_.contains(p); }

View* View::hitTest(Point p) {
  if (hidden_ || alpha_ < 0.01f || !userInteractionEnabled_) return nullptr;
  if (!pointInside(p)) return nullptr;
  for (View* v = lastSubview_; v; v = v->prev_) {
    if (View* hit = v->hitTest(v->fromSuperview(p))) return hit;
  }
  return this;
}

View* View::hitTestForScrolling(Point p) {
  if (hidden_ || alpha_ < 0.01f || !userInteractionEnabled_) return nullptr;
  if (!pointInside(p)) return nullptr;
  if (subviewsMayScroll())
    for (View* v = lastSubview_; v; v = v->prev_)
      if (View* hit = v->hitTestForScrolling(v->fromSuperview(p))) return hit;
  return this;
}

// A point in this view's bounds space, relative to the bounds' middle, goes through the
// transform and lands at the centre in the superview.
Point View::toSuperview(Point p) const {
  Point m = bounds_.mid();
  Point d(p.x - m.x, p.y - m.y);
  if (!transform_.isIdentity()) d = transform_.apply(d);
  return Point(center_.x + d.x, center_.y + d.y);
}

Point View::fromSuperview(Point p) const {
  Point d(p.x - center_.x, p.y - center_.y);
  if (!transform_.isIdentity()) d = transform_.inverted().apply(d);
  Point m = bounds_.mid();
  return Point(m.x + d.x, m.y + d.y);
}

Point View::toRoot(Point p) const {
  const View* v = this;
  while (v->superview_) {
    p = v->toSuperview(p);
    v = v->superview_;
  }
  return p;
}

Point View::fromRoot(Point p) const {
  // Apply the superview chain top-down.
  std::vector<const View*> chain;
  for (const View* v = this; v->superview_; v = v->superview_) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->fromSuperview(p);
  return p;
}

View* View::rootView() {
  View* v = this;
  while (v->superview_) v = v->superview_;
  return v;
}

const View* View::rootView() const {
  const View* v = this;
  while (v->superview_) v = v->superview_;
  return v;
}

Point View::convertPointToView(Point p, const View* view) const {
  if (view == this) return p;
  if (view && view == superview_) return toSuperview(p);
  Point r = toRoot(p);
  return view ? view->fromRoot(r) : r;
}

Point View::convertPointFromView(Point p, const View* view) const {
  if (view == this) return p;
  if (view && view == superview_) return fromSuperview(p);
  Point r = view ? view->toRoot(p) : p;
  return fromRoot(r);
}

namespace {
template <typename F>
Rect convertCorners(const Rect& r, F f) {
  if (r.isNull()) return r;
  Point c[4] = {f(Point(r.minX(), r.minY())), f(Point(r.maxX(), r.minY())), f(Point(r.minX(), r.maxY())),
                f(Point(r.maxX(), r.maxY()))};
  Float x0 = c[0].x, x1 = c[0].x, y0 = c[0].y, y1 = c[0].y;
  for (const Point& q : c) {
    x0 = std::min(x0, q.x); x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y); y1 = std::max(y1, q.y);
  }
  return Rect(x0, y0, x1 - x0, y1 - y0);
}
}  // namespace

Rect View::convertRectToView(const Rect& r, const View* view) const {
  return convertCorners(r, [&](Point p) { return convertPointToView(p, view); });
}

Rect View::convertRectToSuperview(const Rect& r) const {
  // Without a transform the corners keep their order, so two of them give the same rectangle:
  // layout asks this of every topic.
  if (!r.isNull() && transform_.isIdentity()) {
    const Point m = bounds_.mid();
    const Point a(center_.x + (r.minX() - m.x), center_.y + (r.minY() - m.y));
    const Point b(center_.x + (r.maxX() - m.x), center_.y + (r.maxY() - m.y));
    if (std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) && std::isfinite(b.y))
      return Rect(a.x, a.y, b.x - a.x, b.y - a.y);
  }
  return convertCorners(r, [&](Point p) { return toSuperview(p); });
}

Rect View::convertRectFromView(const Rect& r, const View* view) const {
  return convertCorners(r, [&](Point p) { return convertPointFromView(p, view); });
}

void View::addObserver(const void* owner, std::string keyPath, Observer callback) {
  observers_.push_back(ObserverEntry{owner, std::move(keyPath), std::move(callback)});
}

void View::removeObserver(const void* owner, std::string_view keyPath) {
  std::erase_if(observers_, [&](const ObserverEntry& e) { return e.owner == owner && e.keyPath == keyPath; });
}

void View::removeObserver(const void* owner) {
  std::erase_if(observers_, [&](const ObserverEntry& e) { return e.owner == owner; });
}

bool View::hasObserver(const void* owner, std::string_view keyPath) const {
  return std::any_of(observers_.begin(), observers_.end(),
                     [&](const ObserverEntry& e) { return e.owner == owner && e.keyPath == keyPath; });
}

void View::notify(std::string_view keyPath) {
  noteScreenChange();
  if (observers_.empty()) return;
  // A callback may add or remove observers: call a snapshot of the matching ones.
  std::vector<Observer> calls;
  for (const ObserverEntry& e : observers_)
    if (e.keyPath == keyPath) calls.push_back(e.callback);
  for (const Observer& cb : calls) cb(*this, keyPath);
}

}  // namespace kit
