// A path as plain data: sub-paths of lines and curves, drawn later by a graphics context.
#pragma once

#include <vector>

#include "kit/core/geometry.h"

namespace kit {

class Path {
 public:
  enum class Op { Move, Line, Quad, Cubic, Arc, Close };
  struct Element {
    Op op;
    Point p[3];  // Move/Line: p[0]; Quad: control p[0], end p[1]; Cubic: p[0], p[1], end p[2];
                 // Arc: centre p[0], first point p[1], last point p[2]. An arc joins the current
                 // point with a line to its first point, or starts a sub-path there when there is
                 // no current point (as cairo_arc does).
    Float radius = 0, startAngle = 0, endAngle = 0;
    // Angles grow from +x towards +y (clockwise on a y-down screen). clockwise == false draws in
    // the direction of growing angles, as the platform's path call does with its flag off.
    bool clockwise = false;
  };

  void moveTo(Point p) { els_.push_back({Op::Move, {p, {}, {}}}); current_ = start_ = p; has_ = true; }
  void lineTo(Point p) { els_.push_back({Op::Line, {p, {}, {}}}); current_ = p; has_ = true; }
  void quadCurveTo(Point control, Point end) {
    els_.push_back({Op::Quad, {control, end, {}}});
    current_ = end;
    has_ = true;
  }
  void curveTo(Point c1, Point c2, Point end) {
    els_.push_back({Op::Cubic, {c1, c2, end}});
    current_ = end;
    has_ = true;
  }
  // Adds a line from the current point to the arc's start (when there is a current point), then
  // the arc.
  void addArc(Point centre, Float radius, Float startAngle, Float endAngle, bool clockwise);
  void closePath() {
    if (!has_) return;
    els_.push_back({Op::Close, {}});
    current_ = start_;
  }
  void addRect(const Rect& r);
  void addEllipseInRect(const Rect& r);
  void addPath(const Path& other);

  bool isEmpty() const { return els_.empty(); }
  bool hasCurrentPoint() const { return has_; }
  Point currentPoint() const { return current_; }
  const std::vector<Element>& elements() const { return els_; }
  // The smallest rectangle holding every point of the path, control points included; null when
  // empty.
  Rect boundingBox() const;
  // Even-odd or non-zero containment of a point by the flattened path.
  bool contains(Point p, bool evenOdd = false) const;
  Path transformed(const AffineTransform& t) const;
  // One polyline per sub-path, curves and arcs split into segments that stray at most
  // `tolerance` from the curve; a closed sub-path ends with its first point again.
  std::vector<std::vector<Point>> flatten(Float tolerance = 0.5f) const;

 private:
  std::vector<Element> els_;
  Point current_, start_;
  bool has_ = false;
};

}  // namespace kit
