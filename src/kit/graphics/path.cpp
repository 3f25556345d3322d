#include "kit/graphics/path.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kit {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Enough segments for any curve a map draws; bounds the work for absurd input.
constexpr int kMaxSegments = 4096;
// Control-point distance of a cubic quarter circle of radius 1.
constexpr double kKappa = 0.5522847498307936;

// A negative radius draws as its magnitude, as the renderer does.
Point arcPoint(Point centre, double radius, double angle) {
  radius = std::fabs(radius);
  return Point(static_cast<Float>(centre.x + radius * std::cos(angle)),
               static_cast<Float>(centre.y + radius * std::sin(angle)));
}

// Signed sweep of an arc: positive when drawn towards growing angles. Like cairo, the end angle
// moves by whole turns until it lies on the drawing side of the start; more than one turn is
// drawn as exactly one.
double arcSweep(double start, double end, bool clockwise) {
  double d = end - start;
  if (!std::isfinite(d)) return 0;
  if (!clockwise) {
    if (d < 0) {
      double m = std::fmod(d, kTwoPi);
      d = m == 0 ? 0 : m + kTwoPi;
    }
    return std::min(d, kTwoPi);
  }
  if (d > 0) {
    double m = std::fmod(d, kTwoPi);
    d = m == 0 ? 0 : m - kTwoPi;
  }
  return std::max(d, -kTwoPi);
}

int segmentCount(double n) {
  if (!std::isfinite(n) || n < 1) return 1;
  return static_cast<int>(std::min<double>(std::ceil(n), kMaxSegments));
}

// Second differences bound how far a chord strays from a Bezier curve.
double secondDiff(Point a, Point b, Point c) {
  return std::hypot(double(a.x) - 2.0 * b.x + c.x, double(a.y) - 2.0 * b.y + c.y);
}

Point quadAt(Point p0, Point c, Point p1, double t) {
  double u = 1 - t;
  return Point(static_cast<Float>(u * u * p0.x + 2 * u * t * c.x + t * t * p1.x),
               static_cast<Float>(u * u * p0.y + 2 * u * t * c.y + t * t * p1.y));
}

Point cubicAt(Point p0, Point c1, Point c2, Point p1, double t) {
  double u = 1 - t;
  double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
  return Point(static_cast<Float>(a * p0.x + b * c1.x + c * c2.x + d * p1.x),
               static_cast<Float>(a * p0.y + b * c1.y + c * c2.y + d * p1.y));
}

// Cubic pieces of at most a quarter turn each, as (c1, c2, end) triples.
void arcToCubics(const Path::Element& e, std::vector<Path::Element>& out) {
  double sweep = arcSweep(e.startAngle, e.endAngle, e.clockwise);
  int n = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (std::numbers::pi / 2) - 1e-9)));
  double step = sweep / n;
  double k = 4.0 / 3.0 * std::tan(step / 4);
  double r = std::fabs(double(e.radius));
  for (int i = 0; i < n; ++i) {
    double a0 = e.startAngle + step * i, a1 = a0 + step;
    Point p0 = arcPoint(e.p[0], r, a0), p1 = arcPoint(e.p[0], r, a1);
    Path::Element c{Path::Op::Cubic, {}};
    c.p[0] = Point(static_cast<Float>(p0.x - k * r * std::sin(a0)), static_cast<Float>(p0.y + k * r * std::cos(a0)));
    c.p[1] = Point(static_cast<Float>(p1.x + k * r * std::sin(a1)), static_cast<Float>(p1.y - k * r * std::cos(a1)));
    c.p[2] = i == n - 1 ? e.p[2] : p1;
    out.push_back(c);
  }
}

// Crossing number contribution of edge a-b for a ray from p towards +x.
int windingOf(Point a, Point b, Point p) {
  if (a.y <= p.y) {
    if (b.y > p.y) {
      double cross = (double(b.x) - a.x) * (double(p.y) - a.y) - (double(p.x) - a.x) * (double(b.y) - a.y);
      if (cross > 0) return 1;
    }
  } else if (b.y <= p.y) {
    double cross = (double(b.x) - a.x) * (double(p.y) - a.y) - (double(p.x) - a.x) * (double(b.y) - a.y);
    if (cross < 0) return -1;
  }
  return 0;
}

}  // namespace

void Path::addArc(Point centre, Float radius, Float startAngle, Float endAngle, bool clockwise) {
  Element e{Op::Arc, {centre, {}, {}}};
  e.radius = radius;
  e.startAngle = startAngle;
  e.endAngle = endAngle;
  e.clockwise = clockwise;
  double sweep = arcSweep(startAngle, endAngle, clockwise);
  e.p[1] = arcPoint(centre, radius, startAngle);
  e.p[2] = arcPoint(centre, radius, startAngle + sweep);
  if (!has_) start_ = e.p[1];
  els_.push_back(e);
  current_ = e.p[2];
  has_ = true;
}

void Path::addRect(const Rect& r) {
  if (r.isNull()) return;
  moveTo(Point(r.minX(), r.minY()));
  lineTo(Point(r.maxX(), r.minY()));
  lineTo(Point(r.maxX(), r.maxY()));
  lineTo(Point(r.minX(), r.maxY()));
  closePath();
}

void Path::addEllipseInRect(const Rect& r) {
  if (r.isNull()) return;
  // Four cubic quarters from the right-hand point, in the direction of growing angles.
  double cx = r.midX(), cy = r.midY(), rx = r.width() / 2.0, ry = r.height() / 2.0;
  double kx = rx * kKappa, ky = ry * kKappa;
  auto P = [](double x, double y) { return Point(static_cast<Float>(x), static_cast<Float>(y)); };
  moveTo(P(cx + rx, cy));
  curveTo(P(cx + rx, cy + ky), P(cx + kx, cy + ry), P(cx, cy + ry));
  curveTo(P(cx - kx, cy + ry), P(cx - rx, cy + ky), P(cx - rx, cy));
  curveTo(P(cx - rx, cy - ky), P(cx - kx, cy - ry), P(cx, cy - ry));
  curveTo(P(cx + kx, cy - ry), P(cx + rx, cy - ky), P(cx + rx, cy));
  closePath();
}

void Path::addPath(const Path& other) {
  if (other.els_.empty()) return;
  els_.insert(els_.end(), other.els_.begin(), other.els_.end());
  current_ = other.current_;
  start_ = other.start_;
  has_ = other.has_;
}

Rect Path::boundingBox() const {
  bool any = false;
  Float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  auto add = [&](Point p) {
    if (!any) {
      x0 = x1 = p.x;
      y0 = y1 = p.y;
      any = true;
      return;
    }
    x0 = std::fmin(x0, p.x); x1 = std::fmax(x1, p.x);
    y0 = std::fmin(y0, p.y); y1 = std::fmax(y1, p.y);
  };
  for (const Element& e : els_) {
    switch (e.op) {
      case Op::Move:
      case Op::Line: add(e.p[0]); break;
      case Op::Quad: add(e.p[0]); add(e.p[1]); break;
      case Op::Cubic: add(e.p[0]); add(e.p[1]); add(e.p[2]); break;
      case Op::Arc: {
        add(e.p[1]);
        add(e.p[2]);
        // The extreme points the arc passes: multiples of a quarter turn inside the sweep.
        double a0 = e.startAngle, sweep = arcSweep(e.startAngle, e.endAngle, e.clockwise);
        double lo = std::min(a0, a0 + sweep), hi = std::max(a0, a0 + sweep);
        double q = std::numbers::pi / 2;
        double k = std::ceil(lo / q);
        for (int i = 0; i < 5 && (k + i) * q <= hi; ++i) add(arcPoint(e.p[0], e.radius, (k + i) * q));
        break;
      }
      case Op::Close: break;
    }
  }
  if (!any) return Rect::null();
  return Rect(x0, y0, x1 - x0, y1 - y0);
}

std::vector<std::vector<Point>> Path::flatten(Float tolerance) const {
  double tol = (std::isfinite(tolerance) && tolerance > 0) ? tolerance : 0.5;
  std::vector<std::vector<Point>> out;
  std::vector<Point>* sub = nullptr;
  Point cur, start;
  bool has = false;
  auto begin = [&](Point p) {
    out.emplace_back();
    sub = &out.back();
    sub->push_back(p);
    cur = start = p;
    has = true;
  };
  // Drawing from the current point; after a close, a new sub-path starts at the closed one's
  // start. Without any current point the element's first point starts one.
  auto ensure = [&](Point fallback) {
    if (!has) begin(fallback);
    else if (!sub) begin(cur);
  };
  for (const Element& e : els_) {
    switch (e.op) {
      case Op::Move: begin(e.p[0]); break;
      case Op::Line:
        if (!has) {
          begin(e.p[0]);
          break;
        }
        ensure(e.p[0]);
        sub->push_back(e.p[0]);
        cur = e.p[0];
        break;
      case Op::Quad: {
        ensure(e.p[0]);
        int n = segmentCount(std::sqrt(secondDiff(cur, e.p[0], e.p[1]) / (4 * tol)));
        for (int i = 1; i < n; ++i) sub->push_back(quadAt(cur, e.p[0], e.p[1], double(i) / n));
        sub->push_back(e.p[1]);
        cur = e.p[1];
        break;
      }
      case Op::Cubic: {
        ensure(e.p[0]);
        double l = std::max(secondDiff(cur, e.p[0], e.p[1]), secondDiff(e.p[0], e.p[1], e.p[2]));
        int n = segmentCount(std::sqrt(3 * l / (4 * tol)));
        for (int i = 1; i < n; ++i) sub->push_back(cubicAt(cur, e.p[0], e.p[1], e.p[2], double(i) / n));
        sub->push_back(e.p[2]);
        cur = e.p[2];
        break;
      }
      case Op::Arc: {
        if (!has || !sub) begin(e.p[1]);
        else sub->push_back(e.p[1]);
        double sweep = arcSweep(e.startAngle, e.endAngle, e.clockwise);
        double r = std::fabs(double(e.radius));
        double n = 1;
        if (r > tol) n = std::fabs(sweep) / (2 * std::acos(1 - tol / r));
        int count = segmentCount(n);
        for (int i = 1; i < count; ++i)
          sub->push_back(arcPoint(e.p[0], e.radius, e.startAngle + sweep * i / count));
        sub->push_back(e.p[2]);
        cur = e.p[2];
        break;
      }
      case Op::Close:
        if (sub) {
          if (sub->size() > 1 || !(sub->front() == sub->back())) sub->push_back(start);
          sub = nullptr;
        }
        cur = start;
        break;
    }
  }
  return out;
}

bool Path::contains(Point p, bool evenOdd) const {
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
  int winding = 0;
  for (const auto& poly : flatten(0.1f)) {
    if (poly.size() < 2) continue;
    for (std::size_t i = 0; i < poly.size(); ++i) {
      // Every sub-path fills as if closed.
      winding += windingOf(poly[i], poly[(i + 1) % poly.size()], p);
    }
  }
  return evenOdd ? (winding % 2) != 0 : winding != 0;
}

Path Path::transformed(const AffineTransform& t) const {
  Path out;
  // Arcs stay arcs under a rotation with uniform scale (and one mirroring); otherwise they
  // become cubics.
  bool similar = t.a == t.d && t.b == -t.c;
  bool mirrored = t.a == -t.d && t.b == t.c;
  double scale = std::hypot(double(t.a), double(t.b));
  double rot = std::atan2(double(t.b), double(t.a));
  bool has = false;
  for (const Element& e : els_) {
    Element n = e;
    switch (e.op) {
      case Op::Move:
      case Op::Line: n.p[0] = t.apply(e.p[0]); break;
      case Op::Quad: n.p[0] = t.apply(e.p[0]); n.p[1] = t.apply(e.p[1]); break;
      case Op::Cubic:
        for (Point& q : n.p) q = t.apply(q);
        break;
      case Op::Close: break;
      case Op::Arc:
        if ((similar || mirrored) && scale > 0) {
          for (Point& q : n.p) q = t.apply(q);
          n.radius = static_cast<Float>(e.radius * scale);
          if (similar) {
            n.startAngle = static_cast<Float>(e.startAngle + rot);
            n.endAngle = static_cast<Float>(e.endAngle + rot);
          } else {
            n.startAngle = static_cast<Float>(rot - e.startAngle);
            n.endAngle = static_cast<Float>(rot - e.endAngle);
            n.clockwise = !e.clockwise;
          }
          out.els_.push_back(n);
        } else {
          std::vector<Element> cubics;
          arcToCubics(e, cubics);
          Element join{has ? Op::Line : Op::Move, {t.apply(e.p[1]), {}, {}}};
          out.els_.push_back(join);
          for (Element& c : cubics) {
            for (Point& q : c.p) q = t.apply(q);
            out.els_.push_back(c);
          }
        }
        has = true;
        continue;
    }
    if (e.op != Op::Close) has = true;
    out.els_.push_back(n);
  }
  out.current_ = t.apply(current_);
  out.start_ = t.apply(start_);
  out.has_ = has_;
  return out;
}

}  // namespace kit
