// Link geometry: where a child-to-parent link leaves and meets its topics, the curve or wedge
// of each link type and the wedge of callouts and floating guides. Pure geometry over topic
// frames; safe on drawing threads.
#include <algorithm>
#include <cmath>

#include "canvas/big_view.h"
#include "helpers/global_helpers_geometry.h"
#include "model/app_services.h"

using kit::Point;
using kit::Rect;

namespace {

constexpr float kClearance = 20;  // horizontal gap for a side-to-side link
constexpr float kHalfBase = 7;    // half the width of a tapered link at the parent

bool isLineShape(const NodeView* n) { return n->getDisplayShape() == TopicShape::Line; }

// atan(a * slope / b) for the ellipse of half-axes a and b; 0 for a degenerate ellipse.
double ellipseAngle(double a, double b, double slope) {
  double angle = std::atan(a * slope / b);
  return std::isfinite(angle) ? angle : 0.0;
}

// The underline of a line-shaped child below its link's start.
void addUnderline(kit::Path& path, const Rect& r, Point start, Point end, int linkType, bool tapered) {
  const float w = r.width();
  if (linkType == 4) {
    float y = r.maxY() - 2;
    if (tapered) path.addRect(Rect(r.minX(), y - 1, w, 2));
    else {
      path.moveTo(Point(r.minX(), y));
      path.lineTo(Point(r.maxX(), y));
    }
    return;
  }
  float x = start.x <= end.x ? start.x - w : start.x;
  float y = start.y;
  if (tapered) path.addRect(Rect(x, y - 1, w, 2));
  else {
    path.moveTo(Point(x, y));
    path.lineTo(Point(x + w, y));
  }
}

}  // namespace

void BigView::addLinkToPath(kit::Path& path, NodeView* from, NodeView* to) {
  if (!from || !to) return;
  if (from->isCallout()) {
    Point tip, base1, base2;
    createReverseTaperedLinkPathFrom(to, from, tip, base1, base2);
    if (!(tip == Point())) {
      path.moveTo(base1);
      path.lineTo(tip);
      path.lineTo(base2);
    }
    if (isLineShape(from)) {
      Rect r = from->getAdjustedNodeShapeFrame();
      if (base1.y == base2.y) path.addRect(Rect(r.minX(), base1.y - 2, r.width(), 2));
      else path.addRect(Rect(base1.x, r.minY(), 2, r.height()));
    }
    return;
  }
  Point start, end;
  int linkType = 3;
  if (!calculateInterTopicLinkGeometryFrom(from, to, start, end, linkType)) return;
  bool tapered = to->isRoot() && AppServices::taperLinksFlag();
  addLinkToPath(path, start, end, linkType, tapered);
  if (isLineShape(from)) addUnderline(path, from->getAdjustedNodeShapeFrame(), start, end, linkType, tapered);
}

bool BigView::calculateInterTopicLinkGeometryFrom(NodeView* from, NodeView* to, Point& start, Point& end,
                                                  int& linkType) {
  if (!from || !to) return false;
  const Rect f = from->getAdjustedNodeShapeFrame().insetBy(2, 2);
  const Rect t = to->isRoot() ? to->getAdjustedNodeShapeFrame().insetBy(8, 2)
                              : to->getAdjustedNodeShapeFrame().insetBy(2, 2);
  const bool childLine = isLineShape(from);
  const bool parentLine = isLineShape(to) && !to->isRoot();
  const float fSideY = childLine ? f.maxY() : f.midY();
  const float tSideY = parentLine ? t.maxY() : t.midY();
  const bool above = to->isAbove(from);
  const float fNearY = above ? f.minY() : f.maxY();  // the child's edge facing the parent
  const float tNearY = above ? t.maxY() : t.minY();  // the parent's edge facing the child

  if (to->isToRightOf(from)) {
    if (f.maxX() <= t.minX() - kClearance) {
      linkType = 3;
      start = Point(f.maxX(), fSideY);
      end = Point(t.minX(), tSideY);
    } else if (f.maxX() >= t.midX() - kClearance) {
      linkType = 4;
      start = Point(f.midX(), fNearY);
      end = Point(t.midX(), tNearY);
    } else {
      linkType = 1;
      start = Point(f.maxX(), fSideY);
      end = Point(t.midX(), tNearY);
    }
  } else {
    if (f.minX() >= t.maxX() + kClearance) {
      linkType = 3;
      start = Point(f.minX(), fSideY);
      end = Point(t.maxX(), tSideY);
    } else if (f.minX() <= t.midX() + kClearance) {
      linkType = 4;
      start = Point(f.midX(), fNearY);
      end = Point(t.midX(), tNearY);
    } else {
      linkType = 1;
      start = Point(f.minX(), fSideY);
      end = Point(t.midX(), tNearY);
    }
  }
  if (linkType == 1 || linkType == 4) {
    // The start lies level with the parent's body: the link would run back through it.
    if ((start.y > end.y && start.y < t.maxY()) || (start.y < end.y && start.y > t.minY())) return false;
  }
  return !f.contains(end) && !t.contains(start);
}

void BigView::addLinkToPath(kit::Path& path, Point from, Point to, int linkType, bool tapered) {
  const float sx = from.x, sy = from.y, ex = to.x, ey = to.y;
  if (!tapered) {
    switch (linkType) {
      case 1:
        path.moveTo(from);
        path.quadCurveTo(Point(ex, sy), to);
        break;
      case 2:
        path.moveTo(from);
        path.quadCurveTo(Point(sx, ey), to);
        break;
      case 3: {
        float m = sx + (ex - sx) * 0.5f;
        path.moveTo(from);
        path.curveTo(Point(m, sy), Point(m, ey), to);
        break;
      }
      case 4: {
        float n = sy + (ey - sy) * 0.5f;
        path.moveTo(from);
        path.curveTo(Point(sx, n), Point(ex, n), to);
        break;
      }
      default:
        break;
    }
    return;
  }
  // Closed wedges, 14 pt wide at the parent and 2 pt at the child.
  const bool x = (ex > sx && ey > sy) || (ex < sx && ey < sy);
  const float j = x ? 1.0f : -1.0f;
  switch (linkType) {
    case 1:
      path.moveTo(Point(ex - kHalfBase, ey));
      path.quadCurveTo(Point(ex, sy), Point(sx, sy + j));
      path.lineTo(Point(sx, sy - j));
      path.quadCurveTo(Point(ex, sy), Point(ex + kHalfBase, ey));
      path.closePath();
      break;
    case 2:
      path.moveTo(Point(ex, ey - kHalfBase));
      path.quadCurveTo(Point(sx, ey), Point(sx + j, sy));
      path.lineTo(Point(sx - j, sy));
      path.quadCurveTo(Point(sx, ey), Point(ex, ey + kHalfBase));
      path.closePath();
      break;
    case 3: {
      float m = sx + (ex - sx) * 0.5f;
      path.moveTo(Point(ex, ey - kHalfBase));
      path.curveTo(Point(m + 4 * j, ey - 4), Point(m + 2 * j, sy - 2), Point(sx, sy - 1));
      path.lineTo(Point(sx, sy + 1));
      path.curveTo(Point(m - 2 * j, sy + 2), Point(m - 4 * j, ey + 4), Point(ex, ey + kHalfBase));
      path.closePath();
      break;
    }
    case 4: {
      float n = sy + (ey - sy) * 0.5f;
      path.moveTo(Point(ex - kHalfBase, ey));
      path.curveTo(Point(ex - 4, n + 4 * j), Point(sx - 2, n + 2 * j), Point(sx - 1, sy));
      path.lineTo(Point(sx + 1, sy));
      path.curveTo(Point(sx + 2, n - 2 * j), Point(ex + 4, n - 4 * j), Point(ex + kHalfBase, ey));
      path.closePath();
      break;
    }
    default:
      break;
  }
}

void BigView::createReverseTaperedLinkPathFrom(NodeView* from, NodeView* to, Point& ptFrom, Point& ptTo1,
                                               Point& ptTo2) {
  ptFrom = ptTo1 = ptTo2 = Point();
  if (!from || !to) return;
  const Point cA = from->getAdjustedNodeCenter(), cB = to->getAdjustedNodeCenter();
  const Rect rA = from->getAdjustedNodeShapeFrame().insetBy(2, 2);
  const Rect rB = to->getAdjustedNodeShapeFrame().insetBy(2, 2);
  float dx = cB.x - cA.x;
  if (dx == 0) dx = 0.000001f;
  const float dy = cB.y - cA.y;
  const float slope = dy / std::fabs(dx);

  // Tip on A's outline, facing B.
  if (from->getDisplayShape() == TopicShape::Oval) {
    double a = rA.width() / 2, b = rA.height() / 2;
    double angle = ellipseAngle(a, b, slope);
    float px = static_cast<float>(a * std::cos(angle)), py = static_cast<float>(b * std::sin(angle));
    ptFrom = cB.x > cA.x ? Point(cA.x + px, cA.y + py) : Point(cA.x - px, cA.y + py);
  } else {
    GlobalHelpers::doesIntersectRect(rA, cA, cB, &ptFrom);
  }

  // Base on B's side facing A.
  if (to->getDisplayShape() == TopicShape::Oval) {
    double a = rB.width() / 2, b = rB.height() / 2;
    double angle = ellipseAngle(a, b, slope);
    double s = cB.x > cA.x ? -1.0 : 1.0;
    ptTo1 = Point(static_cast<float>(cB.x + s * a * std::cos(angle + 0.2)),
                  static_cast<float>(cB.y - b * std::sin(angle + 0.2)));
    ptTo2 = Point(static_cast<float>(cB.x + s * a * std::cos(angle - 0.2)),
                  static_cast<float>(cB.y - b * std::sin(angle - 0.2)));
  } else if (slope < -0.5f || slope > 0.5f) {
    float w = std::max(0.15f * rB.width(), 15.0f);
    float y = slope < -0.5f ? rB.maxY() : rB.minY();
    ptTo1 = Point(rB.midX() - w / 2, y);
    ptTo2 = Point(rB.midX() + w / 2, y);
  } else {
    float h = std::max(0.15f * rB.height(), 15.0f);
    float x = to->center().x > from->center().x ? rB.minX() : rB.maxX();
    ptTo1 = Point(x, rB.midY() - h / 2);
    ptTo2 = Point(x, rB.midY() + h / 2);
  }
}

float BigView::screenXDiffBetween(float x1, float x2) const {
  const kit::View* screen = superview() ? superview()->superview() : nullptr;
  return convertPointToView(Point(x1, 0), screen).x - convertPointToView(Point(x2, 0), screen).x;
}

float BigView::screenYDiffBetween(float y1, float y2) const {
  const kit::View* screen = superview() ? superview()->superview() : nullptr;
  return convertPointToView(Point(0, y1), screen).y - convertPointToView(Point(0, y2), screen).y;
}
