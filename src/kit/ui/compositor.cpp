#include "kit/ui/compositor.h"

#include "kit/graphics/image_context.h"

namespace kit {

namespace {

// The view's own content and subviews, in its bounds coordinates.
void drawContents(GraphicsContext& ctx, View& view) {
  const Rect& b = view.bounds();
  if (view.clipsToBounds()) ctx.clipToRect(b);
  const Color& bg = view.backgroundColor();
  if (bg.isPattern() || bg.alpha > 0) {
    ctx.saveGState();
    ctx.setFillColor(bg);
    ctx.fillRect(b);
    ctx.restoreGState();
  }
  {
    // Views that draw through the current context find this one.
    CurrentContextScope current(&ctx);
    ctx.saveGState();
    view.drawRect(ctx, b);
    ctx.restoreGState();
  }
  for (View* sub = view.firstSubview(); sub; sub = sub->nextSibling()) drawViewTree(ctx, *sub);
}

// The view in its own bounds space, faded as a whole when translucent: overlapping parts inside
// it do not show through each other.
void drawInBoundsSpace(GraphicsContext& ctx, View& view) {
  if (view.alpha() < 1) {
    cairo_t* cr = ctx.cairo();
    cairo_push_group(cr);
    drawContents(ctx, view);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, view.alpha());
  } else {
    drawContents(ctx, view);
  }
}

bool visible(const View& view) { return !view.isHidden() && view.alpha() >= 0.01f; }

}  // namespace

void drawViewTree(GraphicsContext& ctx, View& view) {
  if (!visible(view)) return;
  ctx.saveGState();
  // Bounds space -> superview space: about the bounds' middle, transformed, moved to the centre.
  Point c = view.center();
  Point m = view.bounds().mid();
  ctx.translateCTM(c.x, c.y);
  if (!view.transform().isIdentity()) ctx.concatCTM(view.transform());
  ctx.translateCTM(-m.x, -m.y);
  drawInBoundsSpace(ctx, view);
  ctx.restoreGState();
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
  // The root's centre and transform place it in a superview it does not have here.
  if (visible(root)) {
    ctx.saveGState();
    ctx.translateCTM(-b.origin.x, -b.origin.y);
    drawInBoundsSpace(ctx, root);
    ctx.restoreGState();
  }
  return ic->image();
}

}  // namespace kit
