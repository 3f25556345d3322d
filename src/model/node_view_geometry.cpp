// Frames in canvas coordinates, branch extents, sibling push, movement and the layout and
// boundary stand-ins.
#include <cmath>

#include "model/app_services.h"
#include "model/node_view.h"

namespace {
bool isNormalChild(const NodeView* n) { return !n->isFloating() && !n->isCallout(); }

kit::Rect boundingRect(const std::vector<kit::Point>& pts) {
  float x0 = pts[0].x, x1 = pts[0].x, y0 = pts[0].y, y1 = pts[0].y;
  for (const kit::Point& p : pts) {
    x0 = std::fmin(x0, p.x); x1 = std::fmax(x1, p.x);
    y0 = std::fmin(y0, p.y); y1 = std::fmax(y1, p.y);
  }
  return kit::Rect(x0, y0, x1 - x0, y1 - y0);
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
  kit::Rect rect;
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    bool outline = !n->boundaryPoints_.empty();
    kit::Rect part = outline ? boundingRect(n->boundaryPoints_) : n->getAdjustedNodeFrame();
    rect = rect.isEmpty() ? part : rect.unionWith(part);
    if (n->folded_ || outline) continue;  // an outline stands for its whole branch
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it)
      if (isNormalChild(it->get())) stack.push_back(it->get());
  }
  return rect;
}

void NodeView::pushSiblingsUpBy(float up, float down) {
  for (NodeView* t = this; t; t = t->parentNode_) {
    if (t->isFloating_ || t->isCallout_) return;
    if (t->hasSiblingTopics()) {
      bool right = t->isToRightOfParent();
      float y = t->center().y;
      auto sameSide = [&](const NodeView* s) {
        return s != t && isNormalChild(s) && s->isToRightOfParent() == right;
      };
      if (up < 0 || down < 0) {
        NodeView* above = nullptr;
        NodeView* below = nullptr;
        for (auto& c : t->parentNode_->childNodes_) {
          NodeView* s = c.get();
          if (!sameSide(s)) continue;
          float sy = s->center().y;
          if (sy < y) {
            if (!above || sy >= above->center().y) above = s;
          } else if (!below || sy <= below->center().y) {
            below = s;
          }
        }
        kit::Rect f = t->getAdjustedNodeFrame();
        if (above && up < 0) {
          float gap = f.minY() - above->getAdjustedNodeFrame().maxY();
          if (gap + up < 10.0f) up = 10.0f - gap;
        }
        if (below && down < 0) {
          float gap = below->getAdjustedNodeFrame().minY() - f.maxY();
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

void NodeView::moveByX(float dx, float dy, bool includingChildren) {
  if (static_cast<int>(dx) == 0 && static_cast<int>(dy) == 0) return;
  kit::Point c = center();
  setCenter(kit::Point(kit::roundHalfEven(c.x + dx), kit::roundHalfEven(c.y + dy)));
  // The control points of relationships starting here follow once relationships exist.
  if (includingChildren) {
    for (auto& ch : childNodes_)
      if (!ch->isFloating_) ch->moveByX(dx, dy, true);
  }
  if (AppServices::rainbowFlag() && parentNode_ && parentNode_->isRoot() && !isInPlaceEdit() && !beingResized_ &&
      !beingMoved_) {
    evaluateDisplayColourForBranch();
    setNeedsDisplayIfModified(true);
  }
}

bool NodeView::moveByX(float dx, float dy, bool includingChildren, bool flipAsNecessary) {
  if (!flipAsNecessary) {
    moveByX(dx, dy, includingChildren);
    return false;
  }
  bool before = isLogicallyToRightOfRoot();
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

void NodeView::flipAboutYandRedraw(bool redraw) {
  _flipAboutY(this);
  if (redraw) recalcLayoutRecursively(true, true, false, false, false);
}

void NodeView::_flipAboutY(const NodeView* pivot) {
  for (auto& c : childNodes_) c->_flipAboutY(pivot);
  moveByX(2 * (pivot->center().x - center().x), 0, false);
  // Relationship control points are mirrored here once relationships exist.
}

void NodeView::alignWith(const NodeView* other) {
  if (!other) return;
  kit::Rect o = other->frame(), f = frame();
  float dx = isToRightOfParent() ? o.minX() - f.minX() : o.maxX() - f.maxX();
  moveByX(dx, 0, true);
}

void NodeView::spaceOutFromParent() {
  if (!parentNode_) return;
  kit::Rect f = getAdjustedNodeFrame(), p = parentNode_->getAdjustedNodeFrame();
  float dx = isToRightOfParent() ? p.maxX() - f.minX() + 70.0f : p.minX() - f.maxX() - 70.0f;
  moveByX(dx, 0, true);
}

NodeView* NodeView::getSiblingBelow() const {
  if (isRoot()) return nullptr;
  bool right = isToRightOfParent();
  float y = center().y;
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
  bool right = isToRightOfParent();
  float y = center().y;
  NodeView* best = nullptr;
  for (auto& c : parentNode_->childNodes_) {
    NodeView* s = c.get();
    if (!isNormalChild(s) || s->isToRightOfParent() != right || !(s->center().y < y)) continue;
    if (!best || s->center().y > best->center().y) best = s;
  }
  return best;
}

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
  kit::Rect b = getBranchBoundingRect();
  float h = b.height() / 2;
  pushSiblingsUpBy(h, h);
  if (NodeView* a = getSiblingAbove()) {
    alignWith(a);
    float dy = a->getBranchBoundingRect().maxY() - b.minY() + 10.0f;
    moveTo(kit::Point(center().x, center().y + dy), true);
  } else {
    spaceOutFromParent();
  }
}

// Stand-in layout: a fixed 100 x 40 box with the text inside the padding, until text
// measurement and the real layout exist. Only the bounds change, so the centre stays.
void NodeView::_calcLayout() {
  constexpr float w = 100, h = 40;
  nodeRect_ = kit::Rect(0, 0, w, h);
  textBoxRect_ = nodeRect_.insetBy(10, 8);
  imageBoxRect_ = kit::Rect();
  rcTaskBadge_ = kit::Rect();
  setBounds(kit::Rect(0, 0, w, h));
}

void NodeView::recalcLayoutRecursively(bool recursive, bool redraw, bool, bool, bool) {
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    n->_calcLayout();
    if (redraw) n->kit::View::setNeedsDisplay();
    if (!recursive) break;
    for (auto& c : n->childNodes_) stack.push_back(c.get());
  }
}

void NodeView::recalcLayoutOfImmediateChildrenWithRedraw(bool redraw, bool realign, bool siblings, bool offspring) {
  for (auto& c : childNodes_) c->recalcLayoutRecursively(false, redraw, realign, siblings, offspring);
}

// Stand-in: boundary outlines are not computed yet; the flag and the stored outline stay.
void NodeView::recalcBoundaries() {}
void NodeView::_recalcBoundaries() {}
