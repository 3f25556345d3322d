// The orders in which a topic's children are sorted: clockwise round the central topic, leaf
// topics first, top to bottom, and the task-report order.
//
// The comparisons are three-way and need not be strict weak orders (they mix sides, flags and
// positions), so the child lists go through kit's merge sort, which stays in bounds whatever
// the comparison answers.
#include <string>
#include <vector>

#include "kit/core/lock.h"
#include "kit/core/sort.h"
#include "model/app_services.h"
#include "model/node_view.h"

namespace {

int compareFloats(float a, float b) { return a < b ? -1 : (b < a ? 1 : 0); }

using Comparison = int (NodeView::*)(const NodeView*) const;

// Sorts the child list of the topic and, when recursive, of every topic below it. Each list
// is sorted by its own topics' positions, so the order of the walk does not matter.
template <typename ChildrenOf>
void sortBranch(NodeView* top, ChildrenOf children, Comparison cmp, bool recursive) {
  kit::LockGuard guard(AppServices::globalTreeLock());
  std::vector<NodeView*> stack{top};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    auto& list = children(n);
    kit::stableSortWith3Way(list, [cmp](const std::unique_ptr<NodeView>& a, const std::unique_ptr<NodeView>& b) {
      return (a.get()->*cmp)(b.get());
    });
    if (recursive)
      for (auto& c : list) stack.push_back(c.get());
  }
}

}  // namespace

int NodeView::stdClockwiseSort(const NodeView* other) const {
  if (parentNode_ && !parentNode_->parentNode_) {
    const bool right = isToRightOf(parentNode_);
    const bool otherRight = other->isToRightOf(other->parentNode_);
    if (right != otherRight) return right ? -1 : 1;
    // Down the right side, then up the left side.
    const int byY = compareFloats(center().y, other->center().y);
    return right ? byY : -byY;
  }
  return compareFloats(center().y, other->center().y);
}

int NodeView::_sortChildNodesClockwise(const NodeView* other) const {
  const bool mine = isFloating_ || isCallout_, theirs = other->isFloating_ || other->isCallout_;
  if (!mine && !theirs) return stdClockwiseSort(other);
  if (isFloating_ != other->isFloating_) return isFloating_ ? 1 : -1;
  if (isCallout_ != other->isCallout_) return isCallout_ ? 1 : -1;
  return stdClockwiseSort(other);
}

int NodeView::_sortChildNodesClockwiseAndGroupLeafNodes(const NodeView* other) const {
  const bool leaf = childNodes_.empty(), otherLeaf = other->childNodes_.empty();
  if (leaf != otherLeaf) return leaf ? -1 : 1;
  return stdClockwiseSort(other);
}

int NodeView::_sortChildNodesVertically(const NodeView* other) const {
  return compareFloats(center().y, other->center().y);
}

int NodeView::_sortGroupByParentNameThenProgress(const NodeView* other) const {
  if (parentNode_ != other->parentNode_) {
    // A topic without a parent (the central topic) files under an empty name.
    static const std::string none;
    const std::string& mine = parentNode_ ? parentNode_->strName_ : none;
    const std::string& theirs = other->parentNode_ ? other->parentNode_->strName_ : none;
    const int c = mine.compare(theirs);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return percentComplete_ < other->percentComplete_ ? -1 : (percentComplete_ > other->percentComplete_ ? 1 : 0);
}

// The lambdas give the file's helper access to the child lists.
void NodeView::sortChildNodesClockwise(bool recursive) {
  auto children = [](NodeView* n) -> ChildList& { return n->childNodes_; };
  sortBranch(this, children, &NodeView::_sortChildNodesClockwise, recursive);
}

void NodeView::sortChildNodesClockwiseAndGroupLeafNodes(bool recursive) {
  auto children = [](NodeView* n) -> ChildList& { return n->childNodes_; };
  sortBranch(this, children, &NodeView::_sortChildNodesClockwiseAndGroupLeafNodes, recursive);
}

void NodeView::sortChildNodesVertically(bool recursive) {
  auto children = [](NodeView* n) -> ChildList& { return n->childNodes_; };
  sortBranch(this, children, &NodeView::_sortChildNodesVertically, recursive);
}
