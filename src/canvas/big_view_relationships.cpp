// Relationships on the canvas: creation and placement of the control point, removal with their
// topics, look-ups, handle visibility, and the drawing of the curves and their arrow heads.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "canvas/big_view.h"
#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_geometry.h"
#include "kit/graphics/context.h"
#include "model/app_services.h"

namespace {
constexpr float kControlPointOffset = 50.0f;
constexpr int kNearLevelThreshold = 20;
constexpr float kNearLevelLift = 20.0f;
constexpr float kCanvasMargin = 40.0f;
// Half the gap between the two ends of a topic's loop to itself.
constexpr float kSelfLoopSpread = 8.0f;
}  // namespace

// ---- Creation and placement ------------------------------------------------------------------

RelationshipView* BigView::createRelationshipBetweenNode(NodeView* a, int andStyle, NodeView* andNode, int andStyle2,
                                                         kit::Point atLocation, RGB255 withColour) {
  if (!a || !andNode) return nullptr;
  auto relationship = std::make_unique<RelationshipView>(kit::Rect(), parentController_);
  RelationshipView* r = relationship.get();
  kit::Point control = atLocation == kit::Point()
                           ? calcBestRelationshipControlPointBetween(a, andNode)
                           : kit::Point(a->center().x + atLocation.x, a->center().y + atLocation.y);
  {
    // Complete before a drawing thread can see it in the list.
    kit::LockGuard guard(AppServices::globalTreeLock());
    r->setEnd1(a);
    r->setArrowTypeEnd1(andStyle);
    r->setEnd2(andNode);
    r->setArrowTypeEnd2(andStyle2);
    r->setRgb255(withColour);
    r->setCenter(adjustRelationshipControlPointForBounds(control));
    relationships_.push_back(std::move(relationship));
  }
  addSubview(r);
  requestRedraw();
  return r;
}

RelationshipView* BigView::createRelationshipBetweenNodeByReferenceID(const std::string& a, int andStyle,
                                                                      const std::string& andID, int andStyle2,
                                                                      kit::Point atLocation, RGB255 withColour) {
  NodeView* first = getNodeByReferenceID(a, lastLoadedRootNode_);
  NodeView* second = getNodeByReferenceID(andID, lastLoadedRootNode_);
  if (!first || !second) return nullptr;
  return createRelationshipBetweenNode(first, andStyle, second, andStyle2, atLocation, withColour);
}

kit::Point BigView::calcBestRelationshipControlPointBetween(NodeView* a, NodeView* b) {
  if (!a || !b) return kit::Point();
  NodeView* root = rootNode_.get();
  kit::Rect fa = a->frame(), fb = b->frame();
  kit::Point ca = a->center(), cb = b->center();
  float x, y;
  if (a->isToRightOf(root) != b->isToRightOf(root)) {
    // Ends on both sides: arch over or under the central topic.
    x = (ca.x + cb.x) / 2;
    if (a->isAbove(root)) y = std::min(fa.minY(), fb.minY()) - kControlPointOffset;
    else y = std::max(fa.maxY(), fb.maxY()) + kControlPointOffset;
  } else {
    if (a->isToRightOf(root)) x = std::max(fa.maxX(), fb.maxX()) + kControlPointOffset;
    else x = std::min(fa.minX(), fb.minX()) - kControlPointOffset;
    y = (ca.y + cb.y) / 2;
    if (std::abs(static_cast<int>(ca.y - cb.y)) < kNearLevelThreshold) y -= kNearLevelLift;
  }
  return kit::Point(x, y);
}

kit::Point BigView::adjustRelationshipControlPointForBounds(kit::Point p) {
  kit::Rect b = bounds();
  float x = std::max(p.x, kCanvasMargin);
  if (x > b.width() - kCanvasMargin) x = b.width() - kCanvasMargin;
  float y = std::max(p.y, kCanvasMargin);
  if (y > b.height() - kCanvasMargin) y = b.height() - kCanvasMargin;
  return kit::Point(x, y);
}

// ---- Queries -----------------------------------------------------------------------------------

kit::Rect BigView::calcRelationshipBounds() {
  kit::Rect rect = rootNode_ ? rootNode_->frame() : kit::Rect::null();
  for (const RelationshipPtr& r : relationships_) {
    if (!r->areBothEndsVisible()) continue;
    kit::Point c = r->center();
    rect = rect.unionWith(kit::Rect(c.x, c.y, 1, 1));
  }
  return rect;
}

bool BigView::isAnyBranchAffinityWith(NodeView* topic, int ofType, bool includingHidden) {
  for (const RelationshipPtr& r : relationships_) {
    if (!includingHidden && !r->areBothEndsVisible()) continue;
    if (r->getBranchAffinityWith(topic) == ofType) return true;
  }
  return false;
}

RelationshipView* BigView::getRelationshipByUUID(const std::string& uuid) {
  for (const RelationshipPtr& r : relationships_)
    if (r->uuid() == uuid) return r.get();
  return nullptr;
}

// ---- Removal -----------------------------------------------------------------------------------

// Clears every reference to a relationship that is leaving: its start topic's list, the view
// chain, the drag and the touch.
void BigView::forgetRelationship(RelationshipView* r) {
  r->setEnd1(nullptr);
  r->removeFromSuperview();
  if (draggingRelationship_ == r) {
    draggingRelationship_ = nullptr;
    clearAutoScrollTimerIfEnabled();
    postDragRelationshipCleanup();
  }
  if (touchView_ == r) touchView_ = nullptr;
}

void BigView::removeRelationship(RelationshipView* relationship) {
  if (!relationship) return;
  RelationshipPtr gone;  // released after the lock
  {
    // Held throughout so that no tile draws a relationship whose start is already cleared.
    kit::LockGuard guard(AppServices::globalTreeLock());
    auto it = std::find_if(relationships_.begin(), relationships_.end(),
                           [&](const RelationshipPtr& r) { return r.get() == relationship; });
    if (it == relationships_.end()) return;
    forgetRelationship(relationship);
    gone = std::move(*it);
    relationships_.erase(it);
  }
}

void BigView::removeRelationshipsFrom(NodeView* topic, bool andItsChildren) {
  if (!topic) return;
  auto endGoes = [&](const NodeView* end) {
    return end && (end == topic || (andItsChildren && end->isaChildOf(topic)));
  };
  std::vector<RelationshipPtr> gone;  // released after the lock
  {
    kit::LockGuard guard(AppServices::globalTreeLock());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < relationships_.size(); ++i) {
      RelationshipPtr& r = relationships_[i];
      if (endGoes(r->end1()) || endGoes(r->end2())) {
        forgetRelationship(r.get());
        gone.push_back(std::move(r));
      } else {
        if (kept != i) relationships_[kept] = std::move(r);
        ++kept;
      }
    }
    relationships_.resize(kept);
  }
}

// ---- Handles -------------------------------------------------------------------------------------

void BigView::updateRelationshipControlPoints() {
  for (const RelationshipPtr& r : relationships_) {
    bool selectedEnd = selectedNode_ && (r->end1() == selectedNode_ || r->end2() == selectedNode_);
    if (selectedEnd && r->areBothEndsVisible()) {
      r->setAlpha(1.0f);
      bringSubviewToFront(r.get());
    } else {
      r->setAlpha(0);
    }
  }
  requestRedraw();
}

// ---- Drawing -------------------------------------------------------------------------------------

void BigView::drawRelationships(kit::GraphicsContext& context, int ofType, const kit::Rect& clippedTo) {
  kit::LockGuard guard(AppServices::globalTreeLock());
  for (const RelationshipPtr& r : relationships_) {
    if (!r->areBothEndsVisible()) continue;
    if (r.get() == draggingRelationship_) continue;
    // The drag rendering shows the ones reaching into the dragged branch.
    if (draggingTopic_ && r->getBranchAffinityWith(draggingTopic_) != 0) continue;
    kit::Rect area = r->frame().unionWith(r->end1()->frame()).unionWith(r->end2()->frame());
    if (area.intersects(clippedTo)) drawRelationship(r.get(), context, ofType, clippedTo);
  }
}

void BigView::drawRelationship(RelationshipView* relationship, kit::GraphicsContext& inContext, int ofType,
                               const kit::Rect&) {
  if (!relationship || !relationship->end1() || !relationship->end2()) return;
  NodeView* end1 = relationship->end1();
  NodeView* end2 = relationship->end2();
  kit::Point q = relationship->center();
  kit::Point start, end;
  // Where the curve leaves each end: the heads point back along it.
  kit::Point leaving = q, arriving = q;
  kit::Path curve;
  if (end1 == end2) {
    // A topic related to itself: a loop out of the side that faces the control point, its two
    // ends a little apart on that side, reaching towards the control point.
    calcBestConnectionPointOn(end1, q, start);
    const kit::Rect r = end1->getAdjustedNodeShapeFrame();
    const bool onSide = start.y == r.midY() && (start.x == r.minX() || start.x == r.maxX());
    const kit::Point along = onSide ? kit::Point(0, kSelfLoopSpread) : kit::Point(kSelfLoopSpread, 0);
    end = kit::Point(start.x + along.x, start.y + along.y);
    start = kit::Point(start.x - along.x, start.y - along.y);
    const float reach = std::max(kSelfLoopSpread, std::hypot(q.x - start.x, q.y - start.y) * 0.5f);
    const kit::Point side = onSide ? kit::Point(0, reach) : kit::Point(reach, 0);
    leaving = kit::Point(q.x - side.x, q.y - side.y);
    arriving = kit::Point(q.x + side.x, q.y + side.y);
    curve.moveTo(start);
    curve.curveTo(leaving, arriving, end);
  } else {
    calcBestRelationshipConnectionPointsFrom(end1, end2, q, start, end);
    curve.moveTo(start);
    curve.quadCurveTo(q, end);
  }

  inContext.saveGState();
  if (ofType == 0 && relationship->alpha() != 0 && (end1 == selectedNode_ || end2 == selectedNode_)) {
    // Guide lines to the handle while one end is selected.
    GlobalHelpers::setShadow(false, inContext, ofType);
    inContext.setStrokeColor(kit::Color::gray(0.7f, 0.7f));
    inContext.setLineWidth(0.5f);
    inContext.beginPath();
    inContext.moveTo(start);
    inContext.addLineTo(q);
    inContext.addLineTo(end);
    inContext.strokePath();
  }

  float a = std::min(end1->alpha(), end2->alpha());
  GlobalHelpers::setShadow(a < 1.0f ? false : AppServices::dropShadowFlag(), inContext, ofType);
  RGB1 c = RGB255ToUnit(
      GlobalHelpers::adjustColour(relationship->rgb255(), AppServices::currentCanvasStyle(), AppServices::dropShadowFlag()));
  kit::Color colour(c.r, c.g, c.b, a);
  inContext.setStrokeColor(colour);
  inContext.setFillColor(colour);
  inContext.setLineWidth(2.0f);
  inContext.beginPath();
  inContext.addPath(curve);
  inContext.strokePath();

  if (a >= 1.0f) {
    // Local +y of a head points along the curve towards its control point. atan2 keeps the
    // angle finite when the control point sits on the connection point.
    auto headAngle = [](kit::Point at, kit::Point q) {
      double angle = std::atan2(std::fabs(at.x - q.x), std::fabs(at.y - q.y));
      if (q.y < at.y) angle = std::numbers::pi - angle;
      if (q.x > at.x) angle = -angle;
      return static_cast<float>(angle);
    };
    if (relationship->arrowTypeEnd1() != RelationshipEnd::None)
      drawArrowHead(relationship->arrowTypeEnd1(), inContext, start, headAngle(start, leaving));
    if (relationship->arrowTypeEnd2() != RelationshipEnd::None)
      drawArrowHead(relationship->arrowTypeEnd2(), inContext, end, headAngle(end, arriving));
  }
  inContext.restoreGState();
}

bool BigView::calcBestRelationshipConnectionPointsFrom(NodeView* from, NodeView* to, kit::Point control,
                                                       kit::Point& retvalStart, kit::Point& retvalEnd) {
  calcBestConnectionPointOn(from, control, retvalStart);
  calcBestConnectionPointOn(to, control, retvalEnd);
  return true;
}

void BigView::calcBestConnectionPointOn(NodeView* topic, kit::Point control, kit::Point& retvalPoint) {
  if (!topic) return;
  kit::Rect r = topic->getAdjustedNodeShapeFrame();
  kit::Point top(r.midX(), r.minY()), bottom(r.midX(), r.maxY());
  // The 45-degree lines from the corners part the sides from the top and bottom.
  auto beside = [&](float d, kit::Point side) {
    if (control.y < r.minY() - d) return top;
    if (control.y > r.maxY() + d) return bottom;
    return side;
  };
  if (control.x > r.maxX()) retvalPoint = beside(control.x - r.maxX(), kit::Point(r.maxX(), r.midY()));
  else if (control.x < r.minX()) retvalPoint = beside(r.minX() - control.x, kit::Point(r.minX(), r.midY()));
  else retvalPoint = control.y < r.midY() ? top : bottom;
}

void BigView::drawArrowHead(int style, kit::GraphicsContext& inContext, kit::Point atPoint, float andAngle) {
  inContext.saveGState();
  inContext.translateCTM(atPoint.x, atPoint.y);
  inContext.rotateCTM(andAngle);
  inContext.beginPath();
  if (style == RelationshipEnd::Arrow) {
    inContext.moveTo(kit::Point(0, -2));
    inContext.addLineTo(kit::Point(9, 10));
    inContext.addLineTo(kit::Point(-9, 10));
    inContext.closePath();
    inContext.fillPath();
  } else if (style == RelationshipEnd::Circle) {
    inContext.addEllipseInRect(kit::Rect(-7, 0, 14, 14));
    inContext.fillPath();
  }
  inContext.restoreGState();
}
