// Where a topic sits in its map: roots, branches, ancestors with a property, sides, paths.
#include "helpers/strings.h"
#include "model/node_view.h"

NodeView* NodeView::getRoot() {
  NodeView* n = this;
  while (!n->isRoot()) n = n->parentNode_;
  return n;
}

NodeView* NodeView::getBranchRoot() {
  NodeView* n = this;
  while (n->parentNode_) {
    if (n->parentNode_->isRoot()) return n;
    n = n->parentNode_;
  }
  return nullptr;
}

int NodeView::getNumberOfAncestors() const {
  int count = 0;
  for (const NodeView* n = this; !n->isRoot(); n = n->parentNode_) ++count;
  return count;
}

bool NodeView::isaChildOf(const NodeView* topic) const {
  if (!topic) return false;
  for (const NodeView* n = parentNode_; n; n = n->parentNode_)
    if (n == topic) return true;
  return false;
}

namespace {
// Nearest proper ancestor with the property, up to and including the first root.
template <typename Pred>
NodeView* walkUpToFirstRoot(NodeView* topic, Pred has) {
  if (topic->isRoot()) return nullptr;
  for (NodeView* n = topic->parentNode(); n; n = n->parentNode()) {
    if (has(n)) return n;
    if (n->isRoot()) return nullptr;
  }
  return nullptr;
}
}  // namespace

NodeView* NodeView::isOnCalloutBranch() {
  return walkUpToFirstRoot(this, [](NodeView* n) { return n->isCallout(); });
}

NodeView* NodeView::isOnDraggedBranch() {
  return walkUpToFirstRoot(this, [](NodeView* n) { return n->beingDragged(); });
}

NodeView* NodeView::isOnTaskCompleteBranch() {
  return walkUpToFirstRoot(this, [](NodeView* n) { return n->percentComplete() == 100; });
}

NodeView* NodeView::isOnSelectedBranch() {
  return walkUpToFirstRoot(this, [](NodeView* n) { return n->isSelected(); });
}

NodeView* NodeView::isOnBoundaryBranch() {
  for (NodeView* n = this; n; n = n->parentNode_) {
    if (n->hasBoundary_) return n;
    if (n->isRoot() || n->isCallout_) return nullptr;
  }
  return nullptr;
}

NodeView* NodeView::isOnFloatingBranch() {
  for (NodeView* n = this; n; n = n->parentNode_)
    if (n->isFloating_) return n;
  return nullptr;
}

NodeView* NodeView::isOnFoldedBranch() {
  if (isRoot()) return nullptr;
  NodeView* child = this;
  for (NodeView* p = parentNode_; p; child = p, p = p->parentNode_) {
    // A callout directly under a folded topic stays visible.
    if (p->folded_ && !child->isCallout_) return p;
    if (p->isRoot()) return nullptr;
  }
  return nullptr;
}

bool NodeView::isToRightOfPoint(kit::Point p) const { return center().x > p.x; }

bool NodeView::isToRightOf(const NodeView* topic) const { return topic && center().x > topic->center().x; }

bool NodeView::isAbove(const NodeView* topic) const { return topic && center().y < topic->center().y; }

bool NodeView::isAboveParent() const { return parentNode_ && isAbove(parentNode_); }

bool NodeView::isToRightOfParent() const { return getPositionRelativeToParent().x > 0; }

bool NodeView::isLogicallyToRightOfRoot() {
  NodeView* root = getRoot();
  NodeView* moving = beingDragged_ ? this : isOnDraggedBranch();
  if (moving) return moving->isToRightOf(root);
  if (isFloating_) return isToRightOf(parentNode_);
  NodeView* branchRoot = getBranchRoot();
  if (!branchRoot) return false;
  return branchRoot->isToRightOf(root);
}

bool NodeView::isLogicallyToRightOfRootUnder(bool parentAnswer) {
  // Below a topic that is no root, an undragged topic that is no root itself shares its side.
  if (!isRoot() && !beingDragged_ && !parentNode_->isRoot()) return parentAnswer;
  // Otherwise the walks above stop within a step or two, but for a dragged topic.
  return isLogicallyToRightOfRoot();
}

std::string NodeView::getPath() const {
  std::vector<const NodeView*> chain;
  for (const NodeView* n = this; n; n = n->parentNode_) chain.push_back(n);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += '/';
    path += (*it)->strName_;
  }
  return path;
}

NodeView* NodeView::findNodeNamed(const std::optional<std::string>& name) {
  if (!name) return nullptr;
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    if (strings::isEqualToStringWithCase(n->strName_, *name)) return n;
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
  }
  return nullptr;
}

std::vector<NodeView*> NodeView::getListOfDescendents() {
  std::vector<NodeView*> out;
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    out.push_back(n);
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
  }
  return out;
}

// ---- Tree lists ----------------------------------------------------------------------------------

std::vector<NodeView*> NodeView::getListOfNodesWhere(const std::function<bool(const NodeView&)>& test) {
  std::vector<NodeView*> out;
  walkPreOrder([&](NodeView* n) {
    if (test(*n)) out.push_back(n);
    return true;
  });
  return out;
}

std::vector<NodeView*> NodeView::getListOfNodesWithTaskAttributes(bool includeCompleted) {
  std::vector<NodeView*> out;
  walkPreOrder([&](NodeView* n) {
    // A completed task hides its whole branch unless completed ones are wanted.
    if (!includeCompleted && n->percentComplete_ == 100) return false;
    if (n->percentComplete_ >= 0) out.push_back(n);
    return true;
  });
  return out;
}

std::vector<NodeView*> NodeView::getListOfNodesWithResource(std::string_view name, bool includeCompleted) {
  return getListOfNodesWhere([&](const NodeView& n) {
    return n.getResourceByName(name) && (includeCompleted || n.percentComplete_ != 100);
  });
}

std::vector<NodeView*> NodeView::getListOfNodesWithNotes() {
  return getListOfNodesWhere([](const NodeView& n) { return !n.strNote_.empty(); });
}

std::vector<NodeView*> NodeView::getListOfCallouts() {
  return getListOfNodesWhere([](const NodeView& n) { return n.isCallout_; });
}

std::vector<NodeView*> NodeView::getListOfFloatingNodes() {
  return getListOfNodesWhere([](const NodeView& n) { return n.isFloating_; });
}

std::vector<NodeView*> NodeView::getListOfNodesWithBoundaries() {
  return getListOfNodesWhere([](const NodeView& n) { return n.hasBoundary_; });
}

std::vector<std::string> NodeView::getListOfAssetIDs() {
  std::vector<std::string> out;
  for (NodeView* n : getListOfNodesWhere([](const NodeView& t) { return t.getImage() && !t.getImage()->empty(); }))
    out.push_back(*n->getImage());
  return out;
}

kit::Array NodeView::getListOfAssetIDsMappedToNodeIDs() {
  kit::Array out;
  for (NodeView* n : getListOfNodesWhere([](const NodeView& t) { return t.getImage() && !t.getImage()->empty(); }))
    out.push_back(kit::Value(kit::Dictionary{
        {"iidNode", kit::Value(static_cast<std::int64_t>(n->iID_))}, {"uuidNode", n->uuid_}, {"uuidImage", *n->getImage()}}));
  return out;
}

int NodeView::getFurthestDescendentCount() {
  // The deepest leaf's ancestor count, through normal children only; folded topics count too.
  int deepest = 0;
  const int own = getNumberOfAncestors();
  std::vector<std::pair<NodeView*, int>> stack{{this, own}};
  while (!stack.empty()) {
    auto [n, depth] = stack.back();
    stack.pop_back();
    if (n->getChildTopicCount() == 0) {
      deepest = std::max(deepest, depth);
      continue;
    }
    for (auto& c : n->childNodes_)
      if (!c->isCallout_ && !c->isFloating_) stack.emplace_back(c.get(), depth + 1);
  }
  return deepest - own;
}
