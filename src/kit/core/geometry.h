// Points, sizes, rectangles and affine transforms with the platform's float semantics.
#pragma once

#include <cmath>
#include <limits>

namespace kit {

using Float = float;

// Nearest whole number, ties to even (the default rounding mode); never std::round.
inline Float roundHalfEven(Float x) { return std::nearbyint(x); }
inline double roundHalfEven(double x) { return std::nearbyint(x); }
// Rounded, then one more when odd: sizes that stay even so that centres fall on whole points.
inline Float roundToEvenWhole(Float x) {
  Float r = std::nearbyint(x);
  if (std::fmod(r, 2.0f) != 0.0f) r += 1.0f;
  return r;
}

struct Point {
  Float x = 0, y = 0;
  constexpr Point() = default;
  constexpr Point(Float x_, Float y_) : x(x_), y(y_) {}
  friend constexpr bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }
};

struct Size {
  Float width = 0, height = 0;
  constexpr Size() = default;
  constexpr Size(Float w, Float h) : width(w), height(h) {}
  friend constexpr bool operator==(const Size& a, const Size& b) {
    return a.width == b.width && a.height == b.height;
  }
};

struct Rect {
  Point origin;
  Size size;
  constexpr Rect() = default;
  constexpr Rect(Point o, Size s) : origin(o), size(s) {}
  constexpr Rect(Float x, Float y, Float w, Float h) : origin(x, y), size(w, h) {}

  // The null rectangle: the result of intersecting disjoint rectangles; ignored by union.
  static constexpr Rect null() {
    return Rect(std::numeric_limits<Float>::infinity(), std::numeric_limits<Float>::infinity(), 0, 0);
  }
  static constexpr Rect zero() { return Rect(); }

  bool isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
  // Null, or no area.
  bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }

  // Negative widths and heights flipped, as every accessor below sees the rectangle.
  Rect standardized() const {
    if (isNull()) return *this;
    Rect r = *this;
    if (r.size.width < 0) { r.origin.x += r.size.width; r.size.width = -r.size.width; }
    if (r.size.height < 0) { r.origin.y += r.size.height; r.size.height = -r.size.height; }
    return r;
  }
  Float minX() const { Rect s = standardized(); return s.origin.x; }
  Float minY() const { Rect s = standardized(); return s.origin.y; }
  Float maxX() const { Rect s = standardized(); return s.origin.x + s.size.width; }
  Float maxY() const { Rect s = standardized(); return s.origin.y + s.size.height; }
  Float midX() const { Rect s = standardized(); return s.origin.x + s.size.width / 2; }
  Float midY() const { Rect s = standardized(); return s.origin.y + s.size.height / 2; }
  Float width() const { return std::fabs(size.width); }
  Float height() const { return std::fabs(size.height); }
  Point mid() const { return Point(midX(), midY()); }

  // Minimum edges inside, maximum edges outside.
  bool contains(Point p) const {
    if (isNull()) return false;
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
  bool contains(const Rect& r) const {
    if (isNull() || r.isNull()) return false;
    return r.minX() >= minX() && r.minY() >= minY() && r.maxX() <= maxX() && r.maxY() <= maxY();
  }
  Rect unionWith(const Rect& r) const {
    if (isNull()) return r.standardized();
    if (r.isNull()) return standardized();
    Float x0 = std::fmin(minX(), r.minX()), y0 = std::fmin(minY(), r.minY());
    Float x1 = std::fmax(maxX(), r.maxX()), y1 = std::fmax(maxY(), r.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
  }
  // Null when the two do not overlap; rectangles that only touch give a zero-area result.
  Rect intersection(const Rect& r) const {
    if (isNull() || r.isNull()) return null();
    Float x0 = std::fmax(minX(), r.minX()), y0 = std::fmax(minY(), r.minY());
    Float x1 = std::fmin(maxX(), r.maxX()), y1 = std::fmin(maxY(), r.maxY());
    if (x1 < x0 || y1 < y0) return null();
    return Rect(x0, y0, x1 - x0, y1 - y0);
  }
  // True when the intersection is not null: rectangles that only touch, and an empty rectangle
  // inside another, intersect.
  bool intersects(const Rect& r) const { return !intersection(r).isNull(); }
  Rect insetBy(Float dx, Float dy) const {
    if (isNull()) return *this;
    Rect s = standardized();
    s.origin.x += dx; s.origin.y += dy;
    s.size.width -= 2 * dx; s.size.height -= 2 * dy;
    if (s.size.width < 0 || s.size.height < 0) return null();
    return s;
  }
  Rect offsetBy(Float dx, Float dy) const {
    if (isNull()) return *this;
    Rect s = standardized();
    s.origin.x += dx; s.origin.y += dy;
    return s;
  }
  friend bool operator==(const Rect& a, const Rect& b) {
    if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
    Rect sa = a.standardized(), sb = b.standardized();
    return sa.origin == sb.origin && sa.size == sb.size;
  }
};

// [a b 0; c d 0; tx ty 1], applied as x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
  Float a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  constexpr AffineTransform() = default;
  constexpr AffineTransform(Float a_, Float b_, Float c_, Float d_, Float tx_, Float ty_)
      : a(a_), b(b_), c(c_), d(d_), tx(tx_), ty(ty_) {}
  static constexpr AffineTransform identity() { return AffineTransform(); }
  static constexpr AffineTransform scale(Float sx, Float sy) { return AffineTransform(sx, 0, 0, sy, 0, 0); }
  static constexpr AffineTransform translation(Float x, Float y) { return AffineTransform(1, 0, 0, 1, x, y); }
  static AffineTransform rotation(Float angle) {
    Float cs = std::cos(angle), sn = std::sin(angle);
    return AffineTransform(cs, sn, -sn, cs, 0, 0);
  }
  bool isIdentity() const { return *this == identity(); }
  // This transform followed by t.
  AffineTransform concat(const AffineTransform& t) const {
    return AffineTransform(a * t.a + b * t.c, a * t.b + b * t.d, c * t.a + d * t.c, c * t.b + d * t.d,
                           tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty);
  }
  AffineTransform translated(Float x, Float y) const { return translation(x, y).concat(*this); }
  AffineTransform scaled(Float sx, Float sy) const { return scale(sx, sy).concat(*this); }
  AffineTransform rotated(Float angle) const { return rotation(angle).concat(*this); }
  // A singular transform is returned unchanged, as the platform does.
  AffineTransform inverted() const {
    Float det = a * d - b * c;
    if (det == 0) return *this;
    return AffineTransform(d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det,
                           (b * tx - a * ty) / det);
  }
  Point apply(Point p) const { return Point(a * p.x + c * p.y + tx, b * p.x + d * p.y + ty); }
  Size apply(Size s) const { return Size(a * s.width + c * s.height, b * s.width + d * s.height); }
  // The bounding box of the transformed corners.
  Rect apply(const Rect& r) const {
    if (r.isNull()) return r;
    Point p[4] = {apply(Point(r.minX(), r.minY())), apply(Point(r.maxX(), r.minY())),
                  apply(Point(r.minX(), r.maxY())), apply(Point(r.maxX(), r.maxY()))};
    Float x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const Point& q : p) {
      x0 = std::fmin(x0, q.x); x1 = std::fmax(x1, q.x);
      y0 = std::fmin(y0, q.y); y1 = std::fmax(y1, q.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
  }
  friend constexpr bool operator==(const AffineTransform& l, const AffineTransform& r) {
    return l.a == r.a && l.b == r.b && l.c == r.c && l.d == r.d && l.tx == r.tx && l.ty == r.ty;
  }
};

}  // namespace kit
