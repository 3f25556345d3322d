// A view that shows part of a larger content view: the content offset is its bounds origin, the
// zoom scale is the content view's transform. A drag that starts on the content is offered to it;
// the scroll view takes the drag (and cancels the content's touches) only when its hooks allow.
#pragma once

#include "kit/ui/view.h"

namespace kit {

class ScrollView;

class ScrollViewDelegate {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(ScrollView&) {}
  virtual void scrollViewDidZoom(ScrollView&) {}
  virtual void scrollViewWillBeginDragging(ScrollView&) {}
  virtual void scrollViewDidEndDragging(ScrollView&, bool /*willDecelerate*/) {}
  virtual void scrollViewDidEndZooming(ScrollView&, View* /*view*/, float /*scale*/) {}
  // The view that zooming scales; nullptr: the content view.
  virtual View* viewForZoomingInScrollView(ScrollView&) { return nullptr; }
};

class ScrollView : public View {
 public:
  explicit ScrollView(const Rect& frame);

  void setContentView(View* content);
  View* contentView() const { return content_; }

  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point offset);
  void setContentOffset(Point offset, bool animated) { (void)animated; setContentOffset(offset); }
  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size) { contentSize_ = size; }

  float zoomScale() const { return zoomScale_; }
  // Clamped to the limits; the content's frame keeps its origin at (0, 0).
  void setZoomScale(float scale);
  // Zooms so that the content point under `anchor` (in this view's coordinates) stays under it.
  void zoomBy(float factor, Point anchor);
  float minimumZoomScale() const { return minZoom_; }
  float maximumZoomScale() const { return maxZoom_; }
  void setMinimumZoomScale(float s) { minZoom_ = s; }
  void setMaximumZoomScale(float s) { maxZoom_ = s; }

  bool isDragging() const { return dragging_; }
  bool canCancelContentTouches() const { return canCancelContentTouches_; }
  void setCanCancelContentTouches(bool c) { canCancelContentTouches_ = c; }
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool e) { scrollEnabled_ = e; }

  ScrollViewDelegate* delegate() const { return delegate_; }
  void setDelegate(ScrollViewDelegate* d) { delegate_ = d; }

  // Whether a touch that begins on content view `view` goes to it (YES) or pans (NO).
  virtual bool touchesShouldBegin(const TouchSet& touches, const Event& event, View* view);
  // Whether a drag of content view `view` becomes a pan, cancelling the view's touches.
  virtual bool touchesShouldCancelInContentView(View* view);
  // The platform scrolls on its own here; this one does nothing unless a subclass does.
  virtual void scrollRectToVisible(const Rect& rect, bool animated);

  // A user's drag moved by `delta` in this view's coordinates: the offset moves the other way,
  // kept within the content.
  void panBy(Point delta);
  // The scroll view's own drag begins and ends (the window calls these).
  void beginDragging();
  void endDragging();

 private:
  Point clampedOffset(Point p) const;

  View* content_ = nullptr;
  ScrollViewDelegate* delegate_ = nullptr;
  Size contentSize_;
  float zoomScale_ = 1, minZoom_ = 1, maxZoom_ = 1;
  bool dragging_ = false;
  bool canCancelContentTouches_ = true;
  bool scrollEnabled_ = true;
};

}  // namespace kit
