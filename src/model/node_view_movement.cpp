// Moving topics and branches, mirroring a branch that crosses the central topic, aligning and
// spacing against a parent or sibling, and which part of a topic a touch hits.
#include <cmath>
#include <cstddef>
#include <vector>

#include "model/app_services.h"
#include "model/node_view.h"
#include "model/relationship_view.h"

namespace {

// A non-finite delta would poison the centre for good; it counts as no move.
float finiteOrZero(float v) { return std::isfinite(v) ? v : 0.0f; }

// "Truncates to 0 as an integer" without the undefined cast of a huge float.
bool truncatesToZero(float v) { return std::fabs(v) < 1.0f; }

// Relationships starting at a topic keep their control point in step with it.
void moveRelationshipControlPointsBy(NodeView* topic, float dx, float dy) {
  if (!topic->hasRelationships()) return;
  for (RelationshipView* r : topic->getRelationships()) r->moveByX(dx, dy);
}

void flipRelationshipControlPoints(NodeView* topic) {
  for (RelationshipView* r : topic->getRelationships()) r->flipAboutY(topic);
}

// The topic alone: centre on whole points, its relationships along.
void shiftCentre(NodeView* n, float dx, float dy) {
  const kit::Point c = n->center();
  n->setCenter(kit::Point(kit::roundHalfEven(c.x + dx), kit::roundHalfEven(c.y + dy)));
  moveRelationshipControlPointsBy(n, dx, dy);
}

// Rainbow colours follow the angle around the central topic, so a main branch that moved
// evaluates its colours again, unless the user is still editing, resizing or moving it.
void refreshRainbowAfterMove(NodeView* n) {
  if (!AppServices::rainbowFlag()) return;
  if (!n->parentNode() || !n->parentNode()->isRoot()) return;
  if (n->isInPlaceEdit() || n->beingResized() || n->beingMoved()) return;
  n->evaluateDisplayColourForBranch();
  n->setNeedsDisplayIfModified(true);
}

}  // namespace

void NodeView::moveByX(float dx, float dy, bool includingChildren) {
  dx = finiteOrZero(dx);
  dy = finiteOrZero(dy);
  if (truncatesToZero(dx) && truncatesToZero(dy)) return;
  if (!includingChildren) {
    shiftCentre(this, dx, dy);
    refreshRainbowAfterMove(this);
    return;
  }
  // The branch in pre-order without floating children and their branches (callouts move
  // along). Held in a list rather than recursion: outlines can be very deep. Layout moves
  // branches tens of thousands of times, so the lists are per-thread buffers reused from call
  // to call; a move started from within this one stacks its entries above ours and drops
  // them before returning, so ours are addressed by index, never by iterator.
  thread_local std::vector<NodeView*> branch;
  thread_local std::vector<NodeView*> stack;
  const std::size_t branchBase = branch.size();
  const std::size_t stackBase = stack.size();
  stack.push_back(this);
  while (stack.size() > stackBase) {
    NodeView* n = stack.back();
    stack.pop_back();
    branch.push_back(n);
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it)
      if (!(*it)->isFloating_) stack.push_back(it->get());
  }
  const std::size_t branchEnd = branch.size();
  for (std::size_t i = branchBase; i < branchEnd; ++i) shiftCentre(branch[i], dx, dy);
  // Each topic once its whole branch has moved.
  for (std::size_t i = branchEnd; i > branchBase; --i) refreshRainbowAfterMove(branch[i - 1]);
  branch.resize(branchBase);
}

bool NodeView::moveByX(float dx, float dy, bool includingChildren, bool flipAsNecessary) {
  if (!flipAsNecessary) {
    moveByX(dx, dy, includingChildren);
    return false;
  }
  const bool before = isLogicallyToRightOfRoot();
  moveByX(dx, dy, includingChildren);
  if (isLogicallyToRightOfRoot() == before) return false;
  flipAboutYandRedraw(true);
  return true;
}

void NodeView::moveChildrenByX(float dx, float dy) {
  for (auto& c : childNodes_) c->moveByX(dx, dy, true);
}

void NodeView::moveTo(kit::Point p, bool includingChildren) {
  moveByX(p.x - center().x, p.y - center().y, includingChildren);
}

bool NodeView::moveTo(kit::Point p, bool includingChildren, bool flipAsNecessary) {
  return moveByX(p.x - center().x, p.y - center().y, includingChildren, flipAsNecessary);
}

// The topic is its own pivot, so it stays and its branch mirrors about its centre line.
void NodeView::flipAboutYandRedraw(bool redraw) {
  _flipAboutY(this);
  if (redraw) recalcLayoutRecursively(true, true, false, false, false);
}

// Children before their parent, in child order, as a recursive walk would: the reverse of a
// pre-order that visits the children last to first.
void NodeView::_flipAboutY(const NodeView* pivot) {
  std::vector<NodeView*> order;
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    order.push_back(n);
    for (auto& c : n->childNodes_) stack.push_back(c.get());
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    NodeView* n = *it;
    n->moveByX(2 * (pivot->center().x - n->center().x), 0, false);
    flipRelationshipControlPoints(n);
  }
}

void NodeView::alignWith(const NodeView* other) {
  if (!other) return;
  const kit::Rect o = other->frame(), f = frame();
  const float dx = isToRightOfParent() ? o.minX() - f.minX() : o.maxX() - f.maxX();
  moveByX(dx, 0, true);
}

void NodeView::spaceOutFromParent() {
  if (!parentNode_) return;
  const kit::Rect f = getAdjustedNodeFrame(), p = parentNode_->getAdjustedNodeFrame();
  const float dx = isToRightOfParent() ? p.maxX() - f.minX() + 70.0f : p.minX() - f.maxX() - 70.0f;
  moveByX(dx, 0, true);
}

// ---- Hit testing ---------------------------------------------------------------------------

kit::Rect NodeView::getDisclosureTarget() const {
  return kit::Rect(ptDisclosureIcon_.x - 13.5f, ptDisclosureIcon_.y - 13.5f, 44, 44);
}

kit::Rect NodeView::getProgressBadgeTarget() const { return kit::Rect(ptProgress_.x - 4, ptProgress_.y - 4, 24, 24); }

kit::Rect NodeView::getStartDueBadgeTarget() const { return kit::Rect(ptStartDue_.x - 4, ptStartDue_.y - 4, 24, 24); }

kit::Rect NodeView::getLinkBadgeTarget() const { return kit::Rect(ptLink_.x - 4, ptLink_.y - 4, 24, 24); }

kit::Rect NodeView::getNoteBadgeTarget() const { return kit::Rect(ptNote_.x - 4, ptNote_.y - 4, 24, 24); }

int NodeView::getHitTestResult(kit::Point p) const {
  if (getDisclosureTarget().contains(p) && getChildTopicCount() != 0) return 1;
  if (rcTaskBadge_.contains(p)) return 3;
  if (nodeRect_.contains(p)) return 2;
  return 0;
}

bool NodeView::pointInside(kit::Point p) const { return kit::View::pointInside(p) || getHitTestResult(p) != 0; }

kit::Size NodeView::getTextBoxSize() const { return textBoxRect_.size; }
