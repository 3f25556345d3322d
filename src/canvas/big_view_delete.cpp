// Removing topics, merging a topic's children into its parent, and folding.
#include <cstdlib>

#include "canvas/big_view.h"
#include "model/app_services.h"

void BigView::recursivelyRemoveChildNodesFromViewChain(NodeView* topic) {
  if (!topic) return;
  std::vector<NodeView*> all = topic->getListOfDescendents();
  // Reverse pre-order: every child leaves before its parent.
  for (auto it = all.rbegin(); it != all.rend(); ++it) (*it)->removeFromSuperview();
}

void BigView::endEditingWithin(NodeView* topic) {
  NodeView* editing = NodeView::currentEditingTopic();
  if (editing && (editing == topic || editing->isaChildOf(topic))) editing->inPlaceEdit(false);
}

void BigView::removeNode(NodeView* topic) {
  if (!topic) return;
  // Editing ends before its topic leaves the tree, while its end can still realign it.
  endEditingWithin(topic);
  removeRelationshipsFrom(topic, true);
  forgetTopic(topic, true);
  recursivelyRemoveChildNodesFromViewChain(topic);
  std::unique_ptr<NodeView> gone;
  {
    kit::LockGuard guard(AppServices::globalTreeLock());
    if (NodeView* parent = topic->parentNode()) gone = parent->detachChild(topic);
    else if (topic == rootNode_.get()) gone = std::move(rootNode_);
  }
  // Released outside the lock: nothing drawing can reach the branch any more.
}

NodeView* BigView::findNearestVisibleSibling(NodeView* topic) {
  if (!topic || !topic->hasVisibleSiblingTopics()) return nullptr;
  bool right = topic->isToRightOfParent();
  float y = topic->center().y;
  NodeView* best = nullptr;
  long bestDistance = 0;
  for (const auto& c : topic->parentNode()->childNodes()) {
    NodeView* s = c.get();
    if (s == topic || s->isFloating() || s->isCallout() || s->isToRightOfParent() != right) continue;
    long d = std::labs(static_cast<long>(s->center().y - y));
    if (!best || d < bestDistance) {
      best = s;
      bestDistance = d;
    }
  }
  return best;
}

void BigView::deleteBranch(NodeView* topic) {
  if (!topic || !topic->parentNode()) return;
  NodeView* parent = topic->parentNode();
  NodeView* next = findNearestVisibleSibling(topic);
  setSelectedNode(next ? next : parent, true);
  removeNode(topic);
  if (parent->childNodes().empty()) parent->recalcLayoutRecursively(false, true, true, false, false);
  requestRedraw();
  if (parentController_) parentController_->ensureVisible(selectedNode_, true);
}

void BigView::mergeNodeChildren(NodeView* topic) {
  if (!topic || !topic->parentNode()) return;
  if (topic->isInPlaceEdit()) topic->inPlaceEdit(false);
  NodeView* p = topic->parentNode();
  if (topic->isFolded()) {
    topic->unfold();
    topic->makeSpace();
  }
  topic->moveByX(p->center().x - topic->center().x, 0, true);
  std::unique_ptr<NodeView> gone;
  {
    kit::LockGuard guard(AppServices::globalTreeLock());
    NodeView::ChildList moving = std::move(topic->childNodes_);
    topic->childNodes_.clear();
    for (auto& c : moving) {
      NodeView* child = c.get();
      p->appendChild(std::move(c));
      // Its side relative to the central topic may have changed.
      if (p == rootNode_.get()) child->recalcLayoutRecursively(true, true, false, false, false);
    }
    gone = p->detachChild(topic);
  }
  removeRelationshipsFrom(topic, false);
  forgetTopic(topic, false);
  topic->removeFromSuperview();
}

void BigView::deleteTopic(NodeView* topic) {
  if (!topic || !topic->parentNode()) return;
  NodeView* parent = topic->parentNode();
  mergeNodeChildren(topic);
  setSelectedNode(parent, true);
  evaluateDisplayAttributesForSelectedBranchAndRedraw();
}

void BigView::deleteTopicThenEditParent() {
  endEditing();
  if (!selectedNode_) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  deleteTopic(selectedNode_);
  keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
  if (selectedNode_) selectedNode_->inPlaceEdit(true);
}

void BigView::toggleFoldState(NodeView* topic) {
  if (!topic) return;
  if (parentController_)
    parentController_->pushUndoRedoOperation("toggle-fold", kit::Value(kit::Dictionary{{"uuid", topic->uuid()}}));
  if (topic->isFolded()) {
    topic->unfold();
    topic->setNeedsDisplayIfModified(true);
  } else {
    topic->fold();
  }
  topic->setNeedsDisplay(false);
  NodeView* s = selectedNode_;
  if (isKeepOrganised() && s && !s->isCallout() && !s->isOnCalloutBranch()) {
    NodeView* root = s->getRoot();
    if (NodeView* branch = s->getBranchRoot()) {
      rearrangeChildren(branch, false);
      rearrangeImmediateChildren(root, branch->isToRightOfParent() ? Side::Right : Side::Left, false);
    }
  }
  updateRelationshipControlPoints();
  requestRedraw();
}
