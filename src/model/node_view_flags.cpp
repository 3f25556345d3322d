// Kind flags, child counts, folding and the visibility rule built on them.
#include "model/node_view.h"

void NodeView::setIsCallout(bool callout, bool withUndo) {
  if (callout == isCallout_) return;
  if (withUndo) {
    kit::Dictionary d{{"uuid", uuid_}, {"callout", isCallout_ ? 1 : 0}};
    pushUndo("topic-callout", kit::Value(std::move(d)));
  }
  isCallout_ = callout;
  nodeModTally_ |= NodeModTally::Callout;
}

void NodeView::setIsFloating(bool floating, bool withUndo) {
  if (floating == isFloating_) return;
  if (withUndo) {
    kit::Dictionary d{{"uuid", uuid_}, {"floating", isFloating_ ? 1 : 0}};
    pushUndo("topic-float", kit::Value(std::move(d)));
  }
  isFloating_ = floating;
}

int NodeView::getChildTopicCount() const {
  int n = 0;
  for (const auto& c : childNodes_)
    if (!c->isFloating_ && !c->isCallout_) ++n;
  return n;
}

int NodeView::getCalloutTopicCount() const {
  int n = 0;
  for (const auto& c : childNodes_)
    if (c->isCallout_) ++n;
  return n;
}

bool NodeView::hasSiblingTopics() const {
  if (isRoot() || isFloating_ || isCallout_) return false;
  return parentNode_->getChildTopicCount() > 1;
}

bool NodeView::hasVisibleSiblingTopics() const { return hasSiblingTopics(); }

void NodeView::fold() {
  if (getChildTopicCount() == 0) return;
  folded_ = true;
  recursivelyUpdateVisiblity();
}

void NodeView::unfold() {
  if (!folded_) return;
  folded_ = false;
  recursivelyUpdateVisiblity();
}

void NodeView::recursivelyUpdateVisiblity() { _recursivelyUpdateVisiblity(isOnFoldedBranch() != nullptr); }

void NodeView::_recursivelyUpdateVisiblity(bool hidden) {
  std::vector<std::pair<NodeView*, bool>> stack{{this, hidden}};
  while (!stack.empty()) {
    auto [n, h] = stack.back();
    stack.pop_back();
    n->setAlpha(n->isInPlaceEdit() ? 1.0f : (h ? 0.0f : n->brightness_));
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) {
      NodeView* c = it->get();
      bool ch = c->isFloating_ ? false : (c->isCallout_ ? h : (h || n->folded_));
      stack.emplace_back(c, ch);
    }
  }
}
