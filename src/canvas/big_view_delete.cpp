// Removing topics, merging a topic's children into its parent, and folding.
#include <cstdlib>
#include <utility>
#include <vector>

#include "kit/ui/view_animation.h"

#include "canvas/big_view.h"
#include "model/app_services.h"

void BigView::recursivelyRemoveChildNodesFromViewChain(NodeView* topic) {
  if (!topic) return;
  std::vector<NodeView*> all = topic->getListOfDescendents();
  // Reverse pre-order: every child leaves before its parent.
  for (auto it = all.rbegin(); it != all.rend(); ++it) (*it)->removeFromSuperview();
}

void BigView::endEditingWithin(NodeView* topic) {
  // A keystroke command of a topic in the branch would act on the branch as it goes.
  NodeView::cancelKeyboardCommands(topic);
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
  endEditingWithin(topic);
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
  // The relayout below moves topics inside the fold's animation.
  kit::ViewAnimation::beginAnimations(this);
  kit::ViewAnimation::setAnimationDuration(AppServices::sharedAnimationDuration());
  if (parentController_)
    parentController_->pushUndoRedoOperation(
        "toggle-fold",
        kit::Value(kit::Dictionary{{"uuid", topic->uuid()}, {"positions", snapshotPositions(rootNode_.get())}}));
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
  kit::ViewAnimation::commitAnimations();
  updateRelationshipControlPoints();
  requestRedraw();
}

namespace {

// Levels below the topic to its deepest descendant through normal children (folded ones too),
// walked without recursion: a branch may be a million levels deep.
int furthestDescendantDepth(const NodeView* topic) {
  int deepest = 0;
  std::vector<std::pair<const NodeView*, int>> stack{{topic, 0}};
  while (!stack.empty()) {
    const auto [n, depth] = stack.back();
    stack.pop_back();
    deepest = std::max(deepest, depth);
    for (const auto& c : n->childNodes())
      if (!c->isFloating() && !c->isCallout()) stack.emplace_back(c.get(), depth + 1);
  }
  return deepest;
}

constexpr double kGrowDuration = 0.15;

}  // namespace

void BigView::showFoldMenu() {
  menuOptions_ = 0;
  NodeView* s = selectedNode_;
  if (!s) return;
  const int depth = furthestDescendantDepth(s);
  std::uint32_t options = (s->isFolded() ? MenuOption::Show : MenuOption::Hide) | MenuOption::Level1;
  if (depth != 1) options |= MenuOption::Level2;
  if (depth != 1 && depth != 2) options |= MenuOption::LevelAll;
  menuOptions_ = options;
  showPopupMenuForRect(s->convertRectToView(s->getDisclosureTarget(), this));
}

void BigView::growNode(NodeView* topic, float byScale) {
  if (!topic) return;
  kit::ViewAnimation::animate(kGrowDuration, [&] { topic->setTransform(kit::AffineTransform::scale(byScale, byScale)); },
                              {}, this);
  onSelectedNodeGeometryChange();
}

void BigView::growNode(NodeView* topic) {
  if (!topic) return;
  const kit::View* screen = superview() ? superview()->superview() : nullptr;
  const float w = convertRectToView(topic->frame(), screen).width();
  if (!(w > 0)) return;
  growNode(topic, w < 120 ? 120 / w : (w + 20) / w);
}

void BigView::shrinkNode(NodeView* topic) {
  if (!topic || topic->transform().isIdentity()) return;
  kit::ViewAnimation::animate(kGrowDuration, [&] { topic->setTransform(kit::AffineTransform()); },
                              [this](bool finished) { onNodeShrunk(finished); }, this);
  onSelectedNodeGeometryChange();
}

void BigView::onNodeShrunk(bool) { requestRedraw(); }
