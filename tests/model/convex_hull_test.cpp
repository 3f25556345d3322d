#include "model/convex_hull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>

using kit::Point;

namespace {

std::vector<Point> scan(const std::vector<Point>& in) {
  GrahamScanConvexHull hull;
  std::vector<Point> out{Point(99, 99)};  // must be cleared
  EXPECT_TRUE(hull.computeHull(in, out));
  return out;
}

double distance(Point a, double mx, double my) { return std::hypot(a.x - mx, a.y - my); }

void expectNear(Point actual, double x, double y, double tolerance = 0.01) {
  EXPECT_NEAR(actual.x, x, tolerance);
  EXPECT_NEAR(actual.y, y, tolerance);
}

bool allFinite(const std::vector<Point>& points) {
  return std::all_of(points.begin(), points.end(),
                     [](Point p) { return std::isfinite(p.x) && std::isfinite(p.y); });
}

}  // namespace

// ---- The scan ------------------------------------------------------------------------------------

TEST(GrahamScan, SquareComesBackFromTheLastCornerFoundToThePivot) {
  std::vector<Point> out = scan({{0, 0}, {0, 10}, {10, 10}, {10, 0}});
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0], Point(0, 10));
  EXPECT_EQ(out[1], Point(10, 10));
  EXPECT_EQ(out[2], Point(10, 0));
  EXPECT_EQ(out[3], Point(0, 0));
}

TEST(GrahamScan, InputOrderDoesNotChangeTheHull) {
  std::vector<Point> square{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
  std::vector<Point> expected = scan(square);
  std::sort(square.begin(), square.end(), [](Point a, Point b) { return std::pair(a.x, a.y) < std::pair(b.x, b.y); });
  do {
    EXPECT_EQ(scan(square), expected);
  } while (std::next_permutation(square.begin(), square.end(),
                                 [](Point a, Point b) { return std::pair(a.x, a.y) < std::pair(b.x, b.y); }));
}

TEST(GrahamScan, PivotIsLowestYThenLowestX) {
  // Two points share the lowest y; the one further left is the pivot and comes out last.
  std::vector<Point> out = scan({{10, 0}, {5, 8}, {0, 0}, {3, 20}});
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back(), Point(0, 0));
}

TEST(GrahamScan, FewerThanFourPointsComeBackUnchanged) {
  std::vector<Point> three{{5, 5}, {0, 0}, {5, 5}};  // duplicates and order kept
  EXPECT_EQ(scan(three), three);
  std::vector<Point> collinear{{5, 0}, {0, 0}, {10, 0}};
  EXPECT_EQ(scan(collinear), collinear);
  EXPECT_TRUE(scan({}).empty());
  EXPECT_EQ(scan({{1, 2}}), std::vector<Point>{Point(1, 2)});
}

TEST(GrahamScan, PointsOnAnEdgeAreDropped) {
  std::vector<Point> out = scan({{0, 0}, {5, 0}, {10, 0}, {10, 5}, {10, 10}, {0, 10}, {0, 5}, {5, 10}});
  EXPECT_EQ(out, (std::vector<Point>{{0, 10}, {10, 10}, {10, 0}, {0, 0}}));
}

TEST(GrahamScan, InteriorPointsAreDropped) {
  std::vector<Point> out = scan({{0, 0}, {0, 10}, {5, 5}, {10, 10}, {10, 0}, {2, 3}});
  EXPECT_EQ(out.size(), 4u);
  EXPECT_EQ(std::count(out.begin(), out.end(), Point(5, 5)), 0);
}

TEST(GrahamScan, PointsOnOneLineLeaveOnlyTheEnds) {
  EXPECT_EQ(scan({{3, 0}, {0, 0}, {1, 0}, {2, 0}}), (std::vector<Point>{{3, 0}, {0, 0}}));
  // A diagonal: every point at 45 degrees from the pivot, nearer ones first.
  EXPECT_EQ(scan({{4, 4}, {1, 1}, {0, 0}, {2, 2}, {3, 3}}), (std::vector<Point>{{4, 4}, {0, 0}}));
}

TEST(GrahamScan, DuplicatesCollapse) {
  std::vector<Point> out = scan({{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 10}, {0, 0}});
  EXPECT_EQ(out, (std::vector<Point>{{0, 10}, {10, 10}, {10, 0}, {0, 0}}));
}

TEST(GrahamScan, CoincidentPointsGiveOneDistinctPoint) {
  std::vector<Point> out = scan({{7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7}});
  ASSERT_FALSE(out.empty());
  for (Point p : out) EXPECT_EQ(p, Point(7, 7));
}

TEST(GrahamScan, RandomSetsGiveTheStrictlyConvexCornersAndEncloseEveryPoint) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(-50, 50);  // small range: many ties and collinear points
  for (int round = 0; round < 300; ++round) {
    std::vector<Point> in;
    int n = 4 + round % 40;
    for (int i = 0; i < n; ++i) in.emplace_back(static_cast<float>(coord(rng)), static_cast<float>(coord(rng)));
    std::vector<Point> out = scan(in);
    ASSERT_GE(out.size(), 1u);

    // Brute force: a point is a strict corner when some line through it has every other distinct
    // point strictly on one side; equivalently it is not inside or on the hull of the others.
    // Here: walking the output in reverse (the scan's order) every turn is strictly left and
    // every input point lies left of or on every edge.
    std::vector<Point> ccw(out.rbegin(), out.rend());
    std::size_t m = ccw.size();
    if (m >= 3) {
      for (std::size_t i = 0; i < m; ++i) {
        Point a = ccw[i], b = ccw[(i + 1) % m], c = ccw[(i + 2) % m];
        double turn = double(b.x - a.x) * (c.y - a.y) - double(c.x - a.x) * (b.y - a.y);
        EXPECT_GT(turn, 0) << "round " << round;
        for (Point p : in) {
          double side = double(b.x - a.x) * (p.y - a.y) - double(p.x - a.x) * (b.y - a.y);
          EXPECT_GE(side, 0) << "round " << round;
        }
      }
    }
    // No output point twice.
    std::set<std::pair<float, float>> distinct;
    for (Point p : out) distinct.insert({p.x, p.y});
    EXPECT_EQ(distinct.size(), out.size()) << "round " << round;
  }
}

// ---- Growth --------------------------------------------------------------------------------------

TEST(HullGrowth, SquareGrowsByTenAboutItsCentroid) {
  std::vector<Point> out = FastGEOWrapper::doGrahamScan({{0, 0}, {0, 10}, {10, 10}, {10, 0}}, Point(), 10);
  ASSERT_EQ(out.size(), 4u);
  expectNear(out[0], -7.0711, 17.0711);
  expectNear(out[1], 17.0711, 17.0711);
  expectNear(out[2], 17.0711, -7.0711);
  expectNear(out[3], -7.0711, -7.0711);
}

TEST(HullGrowth, FirstPointMovesExactlyTheGrowthAndOthersInProportion) {
  std::vector<Point> in{{0, 0}, {40, 0}, {50, 30}, {10, 20}, {0, 5}};
  std::vector<Point> hull = scan(in);
  std::vector<Point> out = FastGEOWrapper::doGrahamScan(in, Point(), 10);
  ASSERT_EQ(out.size(), hull.size());
  double mx = 0, my = 0;
  for (Point p : hull) {
    mx += p.x;
    my += p.y;
  }
  mx /= hull.size();
  my /= hull.size();
  double d0 = distance(hull[0], mx, my);
  EXPECT_NEAR(distance(out[0], mx, my) - d0, 10.0, 1e-3);
  double k = (d0 + 10) / d0;
  for (std::size_t i = 0; i < hull.size(); ++i) EXPECT_NEAR(distance(out[i], mx, my), distance(hull[i], mx, my) * k, 1e-3);
}

TEST(HullGrowth, TheHullsOrderDecidesWhichPointGrowsByExactlyTheGrowth) {
  // Same outline, the scan starts from the same corner whatever the input order: the growth is
  // the same, and it is measured on the scan's first point, not the input's.
  std::vector<Point> a{{0, 0}, {30, 0}, {30, 10}, {0, 10}, {15, -20}};
  std::vector<Point> b{{30, 10}, {15, -20}, {0, 0}, {0, 10}, {30, 0}};
  EXPECT_EQ(FastGEOWrapper::doGrahamScan(a, Point(), 10), FastGEOWrapper::doGrahamScan(b, Point(), 10));
}

TEST(HullGrowth, ThreePointsAreOnlyGrown) {
  std::vector<Point> in{{0, 0}, {30, 0}, {0, 30}};
  std::vector<Point> out = FastGEOWrapper::doGrahamScan(in, Point(), 10);
  ASSERT_EQ(out.size(), 3u);
  // Centroid (10, 10); each point moves away from it along its own ray.
  for (std::size_t i = 0; i < 3; ++i) {
    double before = distance(in[i], 10, 10), after = distance(out[i], 10, 10);
    EXPECT_GT(after, before);
    double cross = double(in[i].x - 10) * (out[i].y - 10) - double(in[i].y - 10) * (out[i].x - 10);
    EXPECT_NEAR(cross, 0, 1e-2);
  }
  EXPECT_NEAR(distance(out[0], 10, 10) - distance(in[0], 10, 10), 10, 1e-3);
}

TEST(HullGrowth, ZeroGrowthReturnsTheHullShiftedByTheOrigin) {
  std::vector<Point> in{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
  std::vector<Point> out = FastGEOWrapper::doGrahamScan(in, Point(100, 50), 0);
  EXPECT_EQ(out, (std::vector<Point>{{-100, -40}, {-90, -40}, {-90, -50}, {-100, -50}}));
  EXPECT_TRUE(FastGEOWrapper::doGrahamScan({}, Point(), 10).empty());
}

TEST(HullGrowth, CoincidentPointsStayFiniteAndUngrown) {
  for (std::size_t n : {1u, 2u, 3u, 4u, 9u}) {
    std::vector<Point> in(n, Point(12, 34));
    std::vector<Point> out = FastGEOWrapper::doGrahamScan(in, Point(2, 4), 10);
    ASSERT_FALSE(out.empty()) << n;
    EXPECT_TRUE(allFinite(out)) << n;
    for (Point p : out) EXPECT_EQ(p, Point(10, 30)) << n;
  }
}

TEST(HullGrowth, FirstPointOnTheCentroidGrowsByTheFarthestPoint) {
  // Three collinear points, middle first: the first point is the centroid itself.
  std::vector<Point> out = FastGEOWrapper::doGrahamScan({{5, 0}, {0, 0}, {10, 0}}, Point(), 10);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_TRUE(allFinite(out));
  expectNear(out[0], 5, 0);
  expectNear(out[1], -10, 0);
  expectNear(out[2], 20, 0);
}

TEST(HullGrowth, ZeroSizeFramesGiveFiniteOutlines) {
  // Four corners of an empty frame, twice: the scan leaves one distinct point.
  std::vector<Point> in{{3, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 3}};
  EXPECT_TRUE(allFinite(FastGEOWrapper::doGrahamScan(in, Point(), 10)));
  // A zero-height row: the hull is a segment and grows along it.
  std::vector<Point> row{{0, 5}, {0, 5}, {40, 5}, {40, 5}, {20, 5}};
  std::vector<Point> out = FastGEOWrapper::doGrahamScan(row, Point(), 10);
  EXPECT_TRUE(allFinite(out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_NEAR(std::fabs(out[0].x - out[1].x), 60, 1e-3);
}
