// Frames in canvas coordinates, branch extents, the sibling push that keeps branches apart,
// sibling navigation and making room for a new topic.
#include <vector>

#include "helpers/global_helpers_geometry.h"
#include "model/node_view.h"

namespace {
bool isNormalChild(const NodeView* n) { return !n->isFloating() && !n->isCallout(); }

// A topic's share of a branch rectangle: its outline stands for the branch when it has one.
kit::Rect branchContribution(const NodeView* n) {
  if (!n->boundaryPoints().empty()) return GlobalHelpers::calcBoundingRect(n->boundaryPoints());
  return n->getAdjustedNodeFrame();
}

void accumulate(kit::Rect& into, const kit::Rect& part) { into = into.isEmpty() ? part : into.unionWith(part); }

// The union of the contributions of top and the topics below it that the walk reaches: it goes
// below a topic when descend says so, into the children that keep accepts. An explicit stack:
// outlines can be far deeper than the call stack allows.
template <typename Descend, typename Keep>
kit::Rect branchRect(const NodeView* top, Descend descend, Keep keep, const kit::Rect* topContribution = nullptr) {
  kit::Rect rect;
  std::vector<const NodeView*> stack{top};
  while (!stack.empty()) {
    const NodeView* n = stack.back();
    stack.pop_back();
    accumulate(rect, n == top && topContribution ? *topContribution : branchContribution(n));
    if (!descend(n)) continue;
    const auto& kids = n->childNodes();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it)
      if (keep(it->get())) stack.push_back(it->get());
  }
  return rect;
}
}  // namespace

kit::Rect NodeView::getAdjustedNodeFrame() const {
  kit::Rect r = nodeRect_;
  if (!rcTaskBadge_.isEmpty()) r = r.unionWith(rcTaskBadge_);
  return convertRectToSuperview(r);
}

kit::Rect NodeView::getAdjustedNodeShapeFrame() const { return convertRectToSuperview(nodeRect_); }

kit::Point NodeView::getAdjustedNodeCenter() const { return convertPointToSuperview(nodeRect_.mid()); }

kit::Point NodeView::getPositionRelativeToParent() const {
  if (!parentNode_) return kit::Point();
  return kit::Point(center().x - parentNode_->center().x, center().y - parentNode_->center().y);
}

kit::Rect NodeView::getBranchBoundingRect() {
  recalcBoundaries();
  // A folded topic or a finished boundary outline stands for everything below it.
  return branchRect(
      this, [](const NodeView* n) { return !n->isFolded() && n->boundaryPoints().empty(); }, isNormalChild);
}

kit::Rect NodeView::getBranchBoundingRectWithOwnFrame(const kit::Rect& frame) const {
  return branchRect(
      this, [](const NodeView* n) { return !n->isFolded() && n->boundaryPoints().empty(); }, isNormalChild, &frame);
}

kit::Rect NodeView::getBranchBoundingRectForAll() {
  recalcBoundaries();
  return branchRect(
      this, [](const NodeView*) { return true; }, [](const NodeView* c) { return c->alpha() != 0.0f; });
}

// Climbs from the topic to the central topic; at each level the siblings on the topic's side
// move apart (or together, never closer than 10 points). Linear in the topics moved.
void NodeView::pushSiblingsUpBy(float up, float down) {
  for (NodeView* t = this; t; t = t->parentNode_) {
    if (t->isFloating_ || t->isCallout_) return;
    if (t->hasSiblingTopics()) {
      const bool right = t->isToRightOfParent();
      const float y = t->center().y;
      auto sameSide = [&](const NodeView* s) {
        return s != t && isNormalChild(s) && s->isToRightOfParent() == right;
      };
      if (up < 0 || down < 0) {
        NodeView* above = nullptr;
        NodeView* below = nullptr;
        for (auto& c : t->parentNode_->childNodes_) {
          NodeView* s = c.get();
          if (!sameSide(s)) continue;
          const float sy = s->center().y;
          if (sy < y) {
            if (!above || sy >= above->center().y) above = s;  // the later one on equal y
          } else if (!below || sy <= below->center().y) {
            below = s;
          }
        }
        const kit::Rect f = t->getAdjustedNodeFrame();
        if (above && up < 0) {
          const float gap = f.minY() - above->getAdjustedNodeFrame().maxY();
          if (gap + up < 10.0f) up = 10.0f - gap;
        }
        if (below && down < 0) {
          const float gap = below->getAdjustedNodeFrame().minY() - f.maxY();
          if (gap + down < 10.0f) down = 10.0f - gap;
        }
      }
      for (auto& c : t->parentNode_->childNodes_) {
        NodeView* s = c.get();
        if (!sameSide(s)) continue;
        if (s->center().y < y) s->moveByX(0, -up, true);
        else s->moveByX(0, down, true);
      }
    }
    if (!t->parentNode_ || t->parentNode_->folded_) return;
  }
}

// The nearest normal sibling on the same side strictly below; the earlier child on equal y.
NodeView* NodeView::getSiblingBelow() const {
  if (isRoot()) return nullptr;
  const bool right = isToRightOfParent();
  const float y = center().y;
  NodeView* best = nullptr;
  for (auto& c : parentNode_->childNodes_) {
    NodeView* s = c.get();
    if (!isNormalChild(s) || s->isToRightOfParent() != right || !(s->center().y > y)) continue;
    if (!best || s->center().y < best->center().y) best = s;
  }
  return best;
}

NodeView* NodeView::getSiblingAbove() const {
  if (isRoot()) return nullptr;
  const bool right = isToRightOfParent();
  const float y = center().y;
  NodeView* best = nullptr;
  for (auto& c : parentNode_->childNodes_) {
    NodeView* s = c.get();
    if (!isNormalChild(s) || s->isToRightOfParent() != right || !(s->center().y < y)) continue;
    if (!best || s->center().y > best->center().y) best = s;
  }
  return best;
}

// Side 1 left, 2 right; the earlier child on equal y.
NodeView* NodeView::getLowestChildOnSide(int side) const {
  if (side != 1 && side != 2) return nullptr;
  NodeView* best = nullptr;
  for (auto& c : childNodes_) {
    NodeView* s = c.get();
    if (!isNormalChild(s) || s->isToRightOfParent() != (side == 2)) continue;
    if (!best || s->center().y > best->center().y) best = s;
  }
  return best;
}

void NodeView::makeSpace() {
  const kit::Rect b = getBranchBoundingRect();
  const float h = b.height() / 2;
  pushSiblingsUpBy(h, h);
  if (NodeView* a = getSiblingAbove()) {
    alignWith(a);
    // The branch's top goes 10 points below the bottom of the branch above.
    const float dy = a->getBranchBoundingRect().maxY() - b.minY() + 10.0f;
    moveTo(kit::Point(center().x, center().y + dy), true);
  } else {
    spaceOutFromParent();
  }
}
