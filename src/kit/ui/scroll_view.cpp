#include "kit/ui/scroll_view.h"

#include <algorithm>
#include <cmath>

namespace kit {

ScrollView::ScrollView(const Rect& frame) : View(frame) { setClipsToBounds(true); }

void ScrollView::setContentView(View* content) {
  content_ = content;
  if (content && content->superview() != this) addSubview(content);
  if (content) {
    Rect f = content->frame();
    contentSize_ = f.size;
  }
}

void ScrollView::setContentOffset(Point offset) {
  if (!std::isfinite(offset.x) || !std::isfinite(offset.y)) return;
  setBounds(Rect(offset, bounds().size));
  if (delegate_) delegate_->scrollViewDidScroll(*this);
}

Point ScrollView::clampedOffset(Point p) const {
  const Size view = bounds().size;
  float maxX = std::max(0.0f, contentSize_.width - view.width);
  float maxY = std::max(0.0f, contentSize_.height - view.height);
  return Point(std::clamp(p.x, 0.0f, maxX), std::clamp(p.y, 0.0f, maxY));
}

void ScrollView::panBy(Point delta) {
  if (!std::isfinite(delta.x) || !std::isfinite(delta.y)) return;
  Point o = contentOffset();
  setContentOffset(clampedOffset(Point(o.x - delta.x, o.y - delta.y)));
}

void ScrollView::beginDragging() {
  dragging_ = true;
  if (delegate_) delegate_->scrollViewWillBeginDragging(*this);
}

void ScrollView::endDragging() {
  dragging_ = false;
  if (delegate_) delegate_->scrollViewDidEndDragging(*this, false);
}

void ScrollView::setZoomScale(float scale) {
  if (!std::isfinite(scale) || scale <= 0) return;
  scale = std::clamp(scale, minZoom_, std::max(minZoom_, maxZoom_));
  View* zoomed = delegate_ ? delegate_->viewForZoomingInScrollView(*this) : nullptr;
  if (!zoomed) zoomed = content_;
  zoomScale_ = scale;
  if (zoomed) {
    const Size s = zoomed->bounds().size;
    zoomed->setTransform(AffineTransform::scale(scale, scale));
    // The scaled content keeps its top-left corner at the content origin.
    zoomed->setCenter(Point(s.width * scale / 2, s.height * scale / 2));
    contentSize_ = Size(s.width * scale, s.height * scale);
  }
  if (delegate_) delegate_->scrollViewDidZoom(*this);
}

void ScrollView::zoomBy(float factor, Point anchor) {
  if (!std::isfinite(factor) || factor <= 0) return;
  const float before = zoomScale_;
  // The content point under the anchor, in unscaled content units.
  Point o = contentOffset();
  Point content((anchor.x) / before, (anchor.y) / before);
  setZoomScale(before * factor);
  const float after = zoomScale_;
  if (after == before) return;
  Point screen(anchor.x - o.x, anchor.y - o.y);
  setContentOffset(clampedOffset(Point(content.x * after - screen.x, content.y * after - screen.y)));
  if (delegate_) delegate_->scrollViewDidEndZooming(*this, content_, after);
}

bool ScrollView::touchesShouldBegin(const TouchSet&, const Event&, View*) { return true; }

bool ScrollView::touchesShouldCancelInContentView(View*) { return true; }

void ScrollView::scrollRectToVisible(const Rect&, bool) {}

}  // namespace kit
