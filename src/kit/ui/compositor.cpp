#include "kit/ui/compositor.h"

#include "kit/graphics/image_context.h"

namespace kit {

namespace {

bool visible(const View& view) { return !view.isHidden() && view.alpha() >= 0.01f; }

// One drawing of a tree: offscreen pictures draw every view through drawRect; screen frames let
// views with tiles show them and skip what those tiles already hold.
class TreeDrawing {
 public:
  TreeDrawing(GraphicsContext& ctx, bool screen) : ctx_(ctx), screen_(screen) {}
  bool complete() const { return complete_; }

  // View, placed in its superview's coordinates (the context's user space), and its subtree;
  // when `ownContent` is false only its subviews.
  void drawTree(View& view, bool ownContent = true) {
    if (!visible(view)) return;
    ctx_.saveGState();
    // Bounds space -> superview space: about the bounds' middle, transformed, moved to the centre.
    Point c = view.center();
    Point m = view.bounds().mid();
    ctx_.translateCTM(c.x, c.y);
    if (!view.transform().isIdentity()) ctx_.concatCTM(view.transform());
    ctx_.translateCTM(-m.x, -m.y);
    drawInBoundsSpace(view, ownContent);
    ctx_.restoreGState();
  }

  // A tree's root at the context's origin: its centre and transform place it in a superview it
  // does not have here.
  void drawRoot(View& root) {
    if (!visible(root)) return;
    ctx_.saveGState();
    ctx_.translateCTM(-root.bounds().origin.x, -root.bounds().origin.y);
    drawInBoundsSpace(root);
    ctx_.restoreGState();
  }

 private:
  // The view in its own bounds space, faded as a whole when translucent: overlapping parts inside
  // it do not show through each other.
  void drawInBoundsSpace(View& view, bool ownContent = true) {
    if (view.alpha() < 1) {
      cairo_t* cr = ctx_.cairo();
      cairo_push_group(cr);
      drawContents(view, ownContent);
      cairo_pop_group_to_source(cr);
      cairo_paint_with_alpha(cr, view.alpha());
    } else {
      drawContents(view, ownContent);
    }
  }

  // The view's own content and subviews, in its bounds coordinates.
  void drawContents(View& view, bool ownContent) {
    const Rect& b = view.bounds();
    if (view.clipsToBounds()) ctx_.clipToRect(b);
    if (ownContent) {
      const Color& bg = view.backgroundColor();
      if (bg.isPattern() || bg.alpha > 0) {
        ctx_.saveGState();
        ctx_.setFillColor(bg);
        ctx_.fillRect(b);
        ctx_.restoreGState();
      }
      // Views that draw through the current context find this one.
      CurrentContextScope current(&ctx_);
      ctx_.saveGState();
      if (!screen_) {
        view.drawRect(ctx_, b);
      } else {
        Rect clip = ctx_.clipBoundingBox();
        if (!view.drawFrameContent(ctx_, clip.isNull() ? b : b.intersection(clip))) complete_ = false;
      }
      ctx_.restoreGState();
    }
    for (View* sub = view.firstSubview(); sub; sub = sub->nextSibling()) {
      // Most subviews of a tiled view (topics by the ten thousand) have nothing left to draw.
      if (screen_ && view.tilesHoldSubview(*sub)) {
        if (sub->firstSubview()) drawTree(*sub, false);
        continue;
      }
      drawTree(*sub);
    }
  }

  GraphicsContext& ctx_;
  const bool screen_;
  bool complete_ = true;
};

}  // namespace

void drawViewTree(GraphicsContext& ctx, View& view) { TreeDrawing(ctx, false).drawTree(view); }

bool drawScreenFrame(GraphicsContext& ctx, View& root) {
  TreeDrawing drawing(ctx, true);
  drawing.drawRoot(root);
  return drawing.complete();
}

ImageRef renderViewTree(View& root, float scale, std::optional<Color> background) {
  const Rect& b = root.bounds();
  auto ic = ImageContext::create(b.size, false, scale);
  if (!ic) return nullptr;
  GraphicsContext& ctx = ic->context();
  if (background) {
    ctx.setFillColor(*background);
    ctx.fillRect(Rect(0, 0, b.size.width, b.size.height));
  }
  TreeDrawing(ctx, false).drawRoot(root);
  return ic->image();
}

}  // namespace kit
