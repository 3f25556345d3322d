#include "kit/ui/progress_views.h"

#include <algorithm>
#include <cmath>

#include "kit/graphics/context.h"
#include "kit/graphics/path.h"

namespace kit {

ProgressView::ProgressView() : View(Rect(0, 0, kWidth, kHeight)) { setOpaque(false); }

void ProgressView::setProgress(float p) {
  progress_ = std::isfinite(p) ? std::clamp(p, 0.0f, 1.0f) : 0.0f;
  setNeedsDisplay();
}

void ProgressView::drawRect(GraphicsContext& ctx, const Rect&) {
  const Rect b = bounds();
  ctx.setFillColor(Color::gray(0.85f));
  ctx.fillRect(b);
  ctx.setFillColor(Color(0.2f, 0.45f, 0.9f));
  ctx.fillRect(Rect(b.origin, Size(b.size.width * progress_, b.size.height)));
}

ActivityIndicatorView::ActivityIndicatorView() : View(Rect(0, 0, kLargeSide, kLargeSide)) { setOpaque(false); }

void ActivityIndicatorView::drawRect(GraphicsContext& ctx, const Rect&) {
  if (!animating_) return;
  // Twelve spokes, fading round the circle.
  const Point c = bounds().mid();
  const float r = bounds().size.width / 2;
  ctx.setLineWidth(3);
  for (int i = 0; i < 12; ++i) {
    const float a = static_cast<float>(i) * 3.14159265f / 6;
    Path p;
    p.moveTo(Point(c.x + std::cos(a) * r * 0.45f, c.y + std::sin(a) * r * 0.45f));
    p.lineTo(Point(c.x + std::cos(a) * r * 0.95f, c.y + std::sin(a) * r * 0.95f));
    ctx.setStrokeColor(Color::white(0.25f + 0.75f * static_cast<float>(i) / 11));
    ctx.addPath(p);
    ctx.strokePath();
  }
}

}  // namespace kit
