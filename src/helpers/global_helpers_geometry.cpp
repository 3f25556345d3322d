#include "helpers/global_helpers_geometry.h"

#include <cmath>
#include <numbers>

#include "kit/graphics/context.h"
#include "kit/ui/view.h"

using kit::Float;
using kit::Point;
using kit::Rect;
using kit::Size;

int LinesIntersect(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, float* x,
                   float* y) {
  float a1 = y2 - y1, b1 = x1 - x2, c1 = x2 * y1 - x1 * y2;
  float r3 = a1 * x3 + b1 * y3 + c1, r4 = a1 * x4 + b1 * y4 + c1;
  if (r3 != 0 && r4 != 0 && r3 * r4 >= 0) return 0;

  float a2 = y4 - y3, b2 = x3 - x4, c2 = x4 * y3 - x3 * y4;
  float r1 = a2 * x1 + b2 * y1 + c2, r2 = a2 * x2 + b2 * y2 + c2;
  if (r1 != 0 && r2 != 0 && r1 * r2 >= 0) return 0;

  float denom = a1 * b2 - a2 * b1;
  if (denom == 0) return 2;

  float offset = std::fabs(denom) / 2;
  float num = b1 * c2 - b2 * c1;
  float rx = (num < 0 ? num - offset : num + offset) / denom;
  num = a2 * c1 - a1 * c2;
  float ry = (num < 0 ? num - offset : num + offset) / denom;
  if (x) *x = rx;
  if (y) *y = ry;
  return 1;
}

namespace GlobalHelpers {

Float addRoundedRect(const Rect& rect, kit::Path& toPath) {
  const float pi = std::numbers::pi_v<float>;
  Float r = std::fmin(rect.width(), rect.height()) / 4;
  if (r > 15.0f) r = 15.0f;
  Float x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
  toPath.moveTo(Point(x0 + r, y0));
  toPath.addArc(Point(x1 - r, y0 + r), r, 3 * pi / 2, 0, false);
  toPath.addArc(Point(x1 - r, y1 - r), r, 0, pi / 2, false);
  toPath.addArc(Point(x0 + r, y1 - r), r, pi / 2, pi, false);
  toPath.addArc(Point(x0 + r, y0 + r), r, pi, 3 * pi / 2, false);
  toPath.closePath();
  return r;
}

Rect mirrorFlipXRect(const Rect& rect, const Rect& inRect, Float thenOffsetBy) {
  Rect out = rect;
  out.origin.x = inRect.size.width - (rect.origin.x + rect.size.width) - thenOffsetBy;
  return out;
}

Rect convertRect(const Rect& rect, const kit::View* toView) {
  if (!toView) return Rect::zero();
  const kit::View* window = toView->rootView();
  if (!window) return Rect::zero();
  // Screen to window: the window's frame places its bounds on the screen.
  Rect frame = window->frame();
  Rect inWindow = rect;
  inWindow.origin.x += window->bounds().origin.x - frame.origin.x;
  inWindow.origin.y += window->bounds().origin.y - frame.origin.y;
  if (toView == window) return inWindow;
  return toView->convertRectFromView(inWindow, window);
}

Point calcQuadBezierPointAt(Float t, Point p0, Point p1, Point p2) {
  Float u = 1 - t;
  return Point(u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y);
}

void shrinkLineStart(Point& start, Point& end, Float byAmount) {
  Float dx = std::fabs(end.x - start.x);
  Float dy = std::fabs(end.y - start.y);
  Float xs, ys;
  if (dx != 0 && dy != 0) {
    double a = std::atan(static_cast<double>(dy) / dx);
    xs = static_cast<Float>(byAmount * std::cos(a));
    ys = static_cast<Float>(byAmount * std::sin(a));
  } else if (dx == 0) {
    xs = 0;
    ys = byAmount;
  } else {
    xs = byAmount;
    ys = 0;
  }
  if (xs != 0 && xs > dx / 2) xs = dx / 2;
  if (ys != 0 && ys > dy / 2) ys = dy / 2;
  if (end.x > start.x) {
    start.x += xs;
    end.x -= xs;
  } else {
    start.x -= xs;
    end.x += xs;
  }
  if (end.y > start.y) {
    start.y += ys;
    end.y -= ys;
  } else {
    start.y -= ys;
    end.y += ys;
  }
}

kit::Path newRoundedPolygonPathFromPoints(const std::vector<Point>& points) {
  constexpr Float kCut = 20.0f;
  kit::Path path;
  const std::size_t n = points.size();
  if (n < 2) return path;
  Point s0 = points[0], e1 = points[1];
  shrinkLineStart(s0, e1, kCut);
  path.moveTo(s0);
  path.lineTo(e1);
  for (std::size_t i = 2; i < n; ++i) {
    Point a = points[i - 1], b = points[i];
    shrinkLineStart(a, b, kCut);
    path.quadCurveTo(points[i - 1], a);
    path.lineTo(b);
  }
  Point c = points[n - 1], d = points[0];
  shrinkLineStart(c, d, kCut);
  path.quadCurveTo(points[n - 1], c);
  path.lineTo(d);
  path.quadCurveTo(points[0], s0);
  return path;
}

std::vector<Point> scalePoints(const std::vector<Point>& points, Float byAbsolute) {
  if (points.empty()) return {};
  double sx = 0, sy = 0;
  for (Point p : points) {
    sx += p.x;
    sy += p.y;
  }
  Point c(static_cast<Float>(sx / points.size()), static_cast<Float>(sy / points.size()));
  Float d = std::hypot(points[0].x - c.x, points[0].y - c.y);
  if (d == 0 || !std::isfinite(d)) return points;
  Float factor = (d + byAbsolute) / d;
  std::vector<Point> out;
  out.reserve(points.size());
  for (Point p : points) out.emplace_back(c.x + (p.x - c.x) * factor, c.y + (p.y - c.y) * factor);
  return out;
}

Rect calcBoundingRect(const std::vector<Point>& points) {
  Rect r = Rect::null();
  for (Point p : points) r = r.unionWith(Rect(p.x, p.y, 1, 1));
  return r;
}

Float calcElipseAValGivenRect(const Rect& rect, Float andBVal) {
  double h = (rect.height() / 2) / andBVal;
  return static_cast<Float>((rect.width() / 2) / std::sqrt(1 - h * h));
}

Float calcElipseYValGivenX(Float x, Float andA, Float andB) {
  Float q = x / andA;
  return andB * std::sqrt(1 - q * q);
}

Size scaleSize(Size size, Size toBounds) {
  if (size.width > toBounds.width) {
    Float f = toBounds.width / size.width;
    size.width *= f;
    size.height *= f;
  }
  if (size.height > toBounds.height) {
    Float f = toBounds.height / size.height;
    size.width *= f;
    size.height *= f;
  }
  return size;
}

bool doesIntersectLineFrom(Point from1, Point to1, Point andLineFrom, Point to2, Point* returning) {
  float x = 0, y = 0;
  if (LinesIntersect(from1.x, from1.y, to1.x, to1.y, andLineFrom.x, andLineFrom.y, to2.x, to2.y, &x, &y) != 1)
    return false;
  if (returning) *returning = Point(x, y);
  return true;
}

bool doesIntersectRect(const Rect& rect, Point withLineFrom, Point to, Point* returning) {
  const Float x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
  const Point edges[4][2] = {{{x0, y0}, {x1, y0}}, {{x0, y1}, {x1, y1}}, {{x0, y0}, {x0, y1}}, {{x1, y0}, {x1, y1}}};
  for (const auto& e : edges) {
    if (doesIntersectLineFrom(e[0], e[1], withLineFrom, to, returning)) return true;
  }
  return false;
}

Float getAngleInDegreesOf(Point point, Point fromCentre) {
  double a = std::atan(std::fabs(static_cast<double>(fromCentre.y) - point.y) /
                       (std::fabs(static_cast<double>(fromCentre.x) - point.x) + 1)) *
             180.0 / std::numbers::pi;
  double r;
  if (point.x > fromCentre.x) {
    r = point.y <= fromCentre.y ? 90 - a : 90 + a;
  } else {
    r = point.y > fromCentre.y ? 270 - a : 270 + a;
  }
  return static_cast<Float>(r);
}

void setShadow(bool on, kit::GraphicsContext& forContext, int ofType) {
  if (on) forContext.setShadow(Size(3, ofType == 1 ? -3 : 3), 2);
  else forContext.setShadow(Size(0, 0), 0, std::nullopt);
}

}  // namespace GlobalHelpers
