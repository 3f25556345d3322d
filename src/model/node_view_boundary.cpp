// Boundary outlines: the flag with its undo record, the corner walks, the bottom-up recomputation
// and the outline colours.
#include "helpers/global_helpers_colour.h"
#include "model/app_services.h"
#include "model/convex_hull.h"
#include "model/node_view.h"

namespace {

constexpr float kBoundaryGrowth = 10.0f;

bool leftOutsideOutline(const NodeView* n) { return n->beingDragged() || n->isFloating() || n->isCallout(); }

// The corners of an outline in the recomputation. Every inner boundary has just been rebuilt and
// encloses the walk of its own branch (the hull grown about its centroid contains the hull), so
// its topics' corners can never be corners of the outer hull: the walk stops at an inner outline
// instead of descending. The hull comes out the same as from getNodeCorners, and each topic is
// visited by one outline only, so recomputing a whole map stays linear however boundaries nest.
std::vector<kit::Point> outlineCorners(NodeView* topic) {
  std::vector<kit::Point> corners;
  topic->_getNodeCorners(corners);
  if (topic->isFolded()) return corners;
  std::vector<NodeView*> stack;
  const NodeView::ChildList& top = topic->childNodes();
  for (auto it = top.rbegin(); it != top.rend(); ++it) stack.push_back(it->get());
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    if (leftOutsideOutline(n)) continue;
    n->_getNodeCorners(corners);
    if (!n->boundaryPoints().empty() || n->isFolded()) continue;
    const NodeView::ChildList& children = n->childNodes();
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->get());
  }
  return corners;
}

}  // namespace

void NodeView::setHasBoundary(bool flag, bool withUndo) {
  if (flag == hasBoundary_) return;
  kit::LockGuard guard(AppServices::globalTreeLock());
  if (rare_) rare_->boundaryPoints.clear();
  if (withUndo)
    pushUndo("topic-boundary", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"boundary", hasBoundary_ ? 1 : 0}}));
  hasBoundary_ = flag;
}

void NodeView::recalcBoundaries() {
  kit::LockGuard guard(AppServices::globalTreeLock());
  _recalcBoundaries();
}

void NodeView::_recalcBoundaries() {
  // Children first (callouts and floating topics included), without recursion: outlines can be
  // thousands of levels deep.
  struct Step {
    NodeView* node;
    std::size_t next;
  };
  std::vector<Step> stack{{this, 0}};
  while (!stack.empty()) {
    Step& s = stack.back();
    if (s.next < s.node->childNodes_.size()) {
      NodeView* child = s.node->childNodes_[s.next++].get();
      stack.push_back({child, 0});
      continue;
    }
    NodeView* n = s.node;
    stack.pop_back();
    if (n->rare_) n->rare_->boundaryPoints.clear();
    if (n->hasBoundary_)
      n->setBoundaryPoints(FastGEOWrapper::doGrahamScan(outlineCorners(n), kit::Point(0, 0), kBoundaryGrowth));
  }
}

std::vector<kit::Point> NodeView::getNodeCorners() {
  std::vector<kit::Point> corners;
  _getNodeCorners(corners);
  if (!folded_)
    for (auto& c : childNodes_) c->_getNodeCornersRecursively(corners);
  return corners;
}

void NodeView::_getNodeCorners(std::vector<kit::Point>& into) const {
  if (const std::vector<kit::Point>& outline = boundaryPoints(); !outline.empty()) {
    into.insert(into.end(), outline.begin(), outline.end());
    return;
  }
  kit::Rect f = frame();
  into.emplace_back(f.minX(), f.minY());
  into.emplace_back(f.minX(), f.maxY());
  into.emplace_back(f.maxX(), f.maxY());
  into.emplace_back(f.maxX(), f.minY());
}

void NodeView::_getNodeCornersRecursively(std::vector<kit::Point>& into) {
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    if (leftOutsideOutline(n)) continue;
    n->_getNodeCorners(into);
    if (n->folded_) continue;
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
  }
}

void NodeView::getBoundaryDisplayStroke(RGB1& stroke, RGB1& fill) const {
  HSV h = RGBToHSV(RGB255ToUnit(getDisplayColour()));
  if (HSVIsDark(h)) h.v = 0.6f;
  HSV f = HSVReduceSaturation(h, 80.0f);
  fill = HSVToRGB1(f);
  stroke = HSVToRGB1(HSVReduceBrightness(f, AppServices::dropShadowFlag() ? 20.0f : 50.0f));
}
