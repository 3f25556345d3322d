#include "model/convex_hull.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 57.29578;
constexpr double kEpsilon = 1e-12;

// Polar angle of (dx, dy) in degrees on 0..360, quadrant by quadrant.
float polarAngle(double dx, double dy) {
  if (dx > 0 && dy > 0) return static_cast<float>(std::atan(dy / dx) * kDegreesPerRadian);
  if (dx < 0 && dy > 0) return static_cast<float>(std::atan(-dx / dy) * kDegreesPerRadian + 90.0);
  if (dx < 0 && dy < 0) return static_cast<float>(std::atan(dy / dx) * kDegreesPerRadian + 180.0);
  if (dx > 0 && dy < 0) return static_cast<float>(std::atan(-dx / dy) * kDegreesPerRadian + 270.0);
  if (dx == 0 && dy > 0) return 90.0f;
  if (dx < 0 && dy == 0) return 180.0f;
  if (dx == 0 && dy < 0) return 270.0f;
  return 0.0f;
}

double squaredDistance(const GrahamScanConvexHull::HullPoint& a, const GrahamScanConvexHull::HullPoint& b) {
  double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y;
  return dx * dx + dy * dy;
}

}  // namespace

bool GrahamScanConvexHull::computeHull(const std::vector<kit::Point>& input, std::vector<kit::Point>& output) {
  output.clear();
  if (input.size() < 4) {
    output = input;
    return true;
  }

  points_.clear();
  points_.reserve(input.size());
  for (const kit::Point& p : input) points_.push_back({p.x, p.y, 0.0f});

  std::size_t pivotIndex = 0;
  for (std::size_t i = 1; i < points_.size(); ++i) {
    const HullPoint& p = points_[i];
    const HullPoint& best = points_[pivotIndex];
    if (p.y < best.y || (p.y == best.y && p.x < best.x)) pivotIndex = i;
  }
  std::swap(points_[0], points_[pivotIndex]);
  pivot_ = points_[0];

  for (std::size_t i = 1; i < points_.size(); ++i) {
    HullPoint& p = points_[i];
    p.angle = polarAngle(static_cast<double>(p.x) - pivot_.x, static_cast<double>(p.y) - pivot_.y);
  }

  // By angle, then nearer to the pivot first. Points within 1e-12 of each other on both axes may
  // come in either order; ordering them by distance as well keeps the comparison a strict weak
  // order, and the stable sort keeps exact duplicates in input order.
  std::stable_sort(points_.begin() + 1, points_.end(), [this](const HullPoint& a, const HullPoint& b) {
    if (a.angle != b.angle) return a.angle < b.angle;
    if (std::fabs(static_cast<double>(a.x) - b.x) <= kEpsilon && std::fabs(static_cast<double>(a.y) - b.y) <= kEpsilon)
      return false;
    return squaredDistance(a, pivot_) < squaredDistance(b, pivot_);
  });

  std::vector<HullPoint> stack;
  stack.reserve(points_.size());
  stack.push_back(points_[0]);
  stack.push_back(points_[1]);
  for (std::size_t i = 2; i < points_.size(); ++i) {
    const HullPoint& p = points_[i];
    while (stack.size() >= 2) {
      const HullPoint& t = stack[stack.size() - 1];
      const HullPoint& b = stack[stack.size() - 2];
      double cross = (static_cast<double>(t.x) - b.x) * (static_cast<double>(p.y) - b.y) -
                     (static_cast<double>(p.x) - b.x) * (static_cast<double>(t.y) - b.y);
      if (cross > kEpsilon) break;
      stack.pop_back();
    }
    stack.push_back(p);
  }

  output.reserve(stack.size());
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) output.emplace_back(it->x, it->y);
  points_.clear();
  return true;
}

namespace FastGEOWrapper {

std::vector<kit::Point> doGrahamScan(const std::vector<kit::Point>& points, kit::Point relativeTo,
                                     float andScaleByAbsolute) {
  std::vector<kit::Point> hull;
  {
    GrahamScanConvexHull scan;
    scan.computeHull(points, hull);
  }

  double k = 1.0;
  double mx = 0, my = 0;
  if (andScaleByAbsolute != 0 && !hull.empty()) {
    for (const kit::Point& q : hull) {
      mx += q.x;
      my += q.y;
    }
    mx /= static_cast<double>(hull.size());
    my /= static_cast<double>(hull.size());
    auto distance = [&](const kit::Point& q) { return std::hypot(q.x - mx, q.y - my); };
    double d = distance(hull.front());
    // The first point can sit on the centroid (coincident points, or three collinear points
    // given middle first): measure the growth on the farthest point so nothing divides by 0.
    if (!(d > 0))
      for (const kit::Point& q : hull) d = std::max(d, distance(q));
    if (d > 0) k = (d + andScaleByAbsolute) / d;
    if (!std::isfinite(k)) k = 1.0;
  }

  std::vector<kit::Point> out;
  out.reserve(hull.size());
  for (const kit::Point& q : hull) {
    kit::Point grown = q;
    if (k != 1.0)
      grown = kit::Point(static_cast<float>(mx + (q.x - mx) * k), static_cast<float>(my + (q.y - my) * k));
    out.emplace_back(grown.x - relativeTo.x, grown.y - relativeTo.y);
  }
  return out;
}

}  // namespace FastGEOWrapper
