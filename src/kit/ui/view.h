// A retained-mode view: geometry (centre, bounds, transform), flags, an ordered list of
// subviews, needs-display state, hit testing, coordinate conversion and geometry observers.
//
// Views do not own their subviews. Destroying a view takes it out of its superview and
// detaches its own subviews (they stay alive, without a superview). Subviews are kept in an
// intrusive list so that adding, removing and reordering one of tens of thousands of siblings
// costs O(1).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/graphics/color.h"
#include "kit/ui/responder.h"
#include "kit/ui/screen_updates.h"

namespace kit {

class GraphicsContext;
class Window;

class View : public Responder {
 public:
  // Called after a setter of the observed key ("center" or "bounds"), even when unchanged.
  using Observer = std::function<void(View& view, std::string_view keyPath)>;

  View();
  explicit View(const Rect& frame);
  virtual ~View();

  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Geometry. The frame is derived from centre, bounds size and transform.
  Rect frame() const;
  // Sets the centre to the frame's middle and the bounds size to the frame's size.
  void setFrame(const Rect& frame);
  const Rect& bounds() const { return bounds_; }
  // Keeps the centre.
  void setBounds(const Rect& bounds);
  Point center() const { return center_; }
  void setCenter(Point center);
  const AffineTransform& transform() const { return transform_; }
  // Applied about the centre.
  void setTransform(const AffineTransform& t);

  // Appearance.
  float alpha() const { return alpha_; }
  void setAlpha(float a) {
    alpha_ = a;
    noteScreenChange();
  }
  bool isHidden() const { return hidden_; }
  void setHidden(bool h) {
    hidden_ = h;
    noteScreenChange();
  }
  bool clipsToBounds() const { return clipsToBounds_; }
  void setClipsToBounds(bool c) { clipsToBounds_ = c; }
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool o) { opaque_ = o; }
  bool clearsContextBeforeDrawing() const { return clearsContextBeforeDrawing_; }
  void setClearsContextBeforeDrawing(bool c) { clearsContextBeforeDrawing_ = c; }
  const Color& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(const Color& c) {
    backgroundColor_ = c;
    noteScreenChange();
  }
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool e) { userInteractionEnabled_ = e; }

  // Hierarchy, subviews ordered back to front.
  View* superview() const { return superview_; }
  std::vector<View*> subviews() const;
  std::size_t subviewCount() const { return subviewCount_; }
  // Walk without building a vector.
  View* firstSubview() const { return firstSubview_; }
  View* lastSubview() const { return lastSubview_; }
  View* nextSibling() const { return next_; }
  View* previousSibling() const { return prev_; }
  // Appends at the front; a view already elsewhere leaves its old superview first.
  void addSubview(View* view);
  // Index 0 is the back; an index beyond the end appends.
  void insertSubview(View* view, std::size_t index);
  void insertSubviewAbove(View* view, View* sibling);
  void insertSubviewBelow(View* view, View* sibling);
  void removeFromSuperview();
  // Called after the view was taken out of its superview (removeFromSuperview, or the superview
  // going), not when it moves to another one.
  virtual void didLeaveSuperview() {}
  void bringSubviewToFront(View* view);
  void sendSubviewToBack(View* view);
  bool isDescendantOf(const View* view) const;

  // Drawing state.
  void setNeedsDisplay();
  void setNeedsDisplayInRect(const Rect& r);
  bool needsDisplay() const { return needsDisplay_; }
  // The union of the rectangles asked for since the last clear, in bounds coordinates.
  Rect dirtyRect() const { return needsDisplay_ ? dirtyRect_ : Rect::null(); }
  void clearNeedsDisplay() { needsDisplay_ = false; dirtyRect_ = Rect::null(); }
  // Set when a subview is marked for display or joins marked, until cleared: a view with tens of
  // thousands of subviews then looks for marked ones only when there can be some.
  bool subviewsMayNeedDisplay() const { return subviewMarked_; }
  void clearSubviewsMayNeedDisplay() { subviewMarked_ = false; }
  virtual void drawRect(GraphicsContext& context, const Rect& rect);
  // Screen frames (drawScreenFrame). A view whose content is drawn ahead of time in tiles shows
  // them here, `visible` being the part of its bounds the frame shows, and answers whether all
  // of it was ready; by default drawRect over the bounds, always ready.
  virtual bool drawFrameContent(GraphicsContext& context, const Rect& visible);
  // Whether this view's tiles already hold the subview's own content: a frame then draws only
  // the subview's subviews.
  virtual bool tilesHoldSubview(const View& subview) const {
    (void)subview;
    return false;
  }

  // Responders: a view's next responder is its superview. A view becomes first responder only
  // inside a window, and only when the current one resigns.
  Responder* nextResponder() const override;
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool isFirstResponder() const override;
  // The window at the root of this view's hierarchy, or nullptr.
  Window* window() const;
  virtual bool isWindow() const { return false; }

  // Hit testing, points in this view's bounds coordinates.
  virtual bool pointInside(Point p) const;
  // The deepest visible, interactive view under the point, front to back; nullptr when the
  // point is outside this view or this view takes no touches.
  virtual View* hitTest(Point p);
  // The same walk for a wheel or a pinch, which only look for the scroll view under the point:
  // it does not go below a view none of whose subviews is or holds a scroll view.
  View* hitTestForScrolling(Point p);
  // False when no view below this one is or holds a scroll view (a canvas of thousands of
  // topics), so that a wheel need not test each of them.
  virtual bool subviewsMayScroll() const { return true; }

  // Conversions; nullptr stands for the root of this view's hierarchy.
  Point convertPointToView(Point p, const View* view) const;
  Point convertPointFromView(Point p, const View* view) const;
  Rect convertRectToView(const Rect& r, const View* view) const;
  Rect convertRectFromView(const Rect& r, const View* view) const;
  View* rootView();
  const View* rootView() const;
  // Between this view's bounds space and the space its centre lives in (its superview's, or
  // the one it would have), whether or not it has a superview.
  Point convertPointToSuperview(Point p) const { return toSuperview(p); }
  Point convertPointFromSuperview(Point p) const { return fromSuperview(p); }
  Rect convertRectToSuperview(const Rect& r) const;

  // Geometry observers; an observer is identified by its owner pointer and key path.
  void addObserver(const void* owner, std::string keyPath, Observer callback);
  void removeObserver(const void* owner, std::string_view keyPath);
  void removeObserver(const void* owner);
  bool hasObserver(const void* owner, std::string_view keyPath) const;

 private:
  struct ObserverEntry {
    const void* owner;
    std::string keyPath;
    Observer callback;
  };

  void unlink();
  void linkBefore(View* view, View* sibling);  // sibling nullptr: append at the front
  void notify(std::string_view keyPath);
  Point toSuperview(Point p) const;
  Point fromSuperview(Point p) const;
  Point toRoot(Point p) const;
  Point fromRoot(Point p) const;

  Point center_;
  Rect bounds_;
  AffineTransform transform_;
  Color backgroundColor_ = Color::clear();  // no background, as on the platform
  Rect dirtyRect_ = Rect::null();
  float alpha_ = 1.0f;
  bool hidden_ = false;
  bool clipsToBounds_ = false;
  bool opaque_ = true;
  bool clearsContextBeforeDrawing_ = true;
  bool userInteractionEnabled_ = true;
  bool needsDisplay_ = false;
  bool subviewMarked_ = false;

  View* superview_ = nullptr;
  View* prev_ = nullptr;
  View* next_ = nullptr;
  View* firstSubview_ = nullptr;
  View* lastSubview_ = nullptr;
  std::size_t subviewCount_ = 0;
  std::vector<ObserverEntry> observers_;
};

}  // namespace kit
