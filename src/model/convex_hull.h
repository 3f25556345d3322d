// Convex hulls for boundary outlines: a small hull interface, the Graham scan behind it, and the
// wrapper that grows a hull about its centroid. The order of the hull's points matters: the
// growth is measured on the first point, and outlines are drawn in this order.
#pragma once

#include <vector>

#include "kit/core/geometry.h"

class ConvexHull {
 public:
  virtual ~ConvexHull() = default;
  // Fills output (cleared first) with the hull of input; answers true when it succeeded.
  virtual bool computeHull(const std::vector<kit::Point>& input, std::vector<kit::Point>& output) = 0;
};

class GrahamScanConvexHull : public ConvexHull {
 public:
  // One working record: the point and its polar angle in degrees from the pivot.
  struct HullPoint {
    float x = 0, y = 0, angle = 0;
  };

  // Fewer than four points come back as given (duplicates and order kept). Otherwise the
  // strictly convex corners, counter-clockwise in y-up terms starting after the pivot (the
  // lowest y, then lowest x), read back from the last one found, the pivot last. Collinear
  // points are dropped. Always answers true.
  bool computeHull(const std::vector<kit::Point>& input, std::vector<kit::Point>& output) override;

 private:
  std::vector<HullPoint> points_;
  HullPoint pivot_;
};

namespace FastGEOWrapper {

// The hull of points, grown about its centroid so that its first point moves `andScaleByAbsolute`
// outward and the others in proportion, then shifted by minus `relativeTo`.
// A hull whose first point lies on the centroid is grown by its farthest point instead; a hull
// whose points all coincide (or an empty one) is returned ungrown. The result never holds a NaN
// or an infinite coordinate for finite input.
std::vector<kit::Point> doGrahamScan(const std::vector<kit::Point>& points, kit::Point relativeTo,
                                     float andScaleByAbsolute);

}  // namespace FastGEOWrapper
