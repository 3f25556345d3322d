// Kind flags, child counts, link and note, folding and the visibility rule built on them.
#include "helpers/strings.h"
#include "model/node_view.h"

void NodeView::setIsCallout(bool callout, bool withUndo) {
  if (callout == isCallout_) return;
  // A fold over callouts alone folds nothing, and a map file cannot keep it: the last topic
  // under a folded parent that becomes a callout unfolds the parent (undo folds it again).
  NodeView* unfolding = callout && parentNode_ && parentNode_->folded_ && parentNode_->getChildTopicCount() == 1 ? parentNode_ : nullptr;
  if (withUndo) {
    kit::Dictionary d{{"uuid", uuid_}, {"callout", isCallout_ ? 1 : 0}};
    if (unfolding) d.emplace("refoldParent", 1);
    pushUndo("topic-callout", kit::Value(std::move(d)));
  }
  isCallout_ = callout;
  nodeModTally_ |= NodeModTally::Callout;
  if (unfolding) unfolding->unfold();
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
  if (setFoldedWithoutVisibility(true)) recursivelyUpdateVisiblity();
}

void NodeView::unfold() {
  if (setFoldedWithoutVisibility(false)) recursivelyUpdateVisiblity();
}

bool NodeView::setFoldedWithoutVisibility(bool folded) {
  if (folded ? getChildTopicCount() == 0 : !folded_) return false;
  folded_ = folded;
  return true;
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

void NodeView::setIsRollupTask(bool rollup, bool withUndo) {
  if (withUndo && rollup != rollupTask_)
    pushUndo("topic-task-rollup", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"rollup", rollupTask_}}));
  rollupTask_ = rollup;
}

bool NodeView::siblingTopicsHaveChildren() const {
  if (isRoot() || isFloating_ || isCallout_) return false;
  for (const auto& c : parentNode_->childNodes_)
    if (c.get() != this && c->getChildTopicCount() > 0) return true;
  return false;
}

bool NodeView::isBranchAnywhereInParentRect(const kit::Rect& rect) const {
  std::vector<const NodeView*> stack{this};
  while (!stack.empty()) {
    const NodeView* n = stack.back();
    stack.pop_back();
    if (n->getAdjustedNodeFrame().intersects(rect)) return true;
    if (n->folded_) continue;
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
  }
  return false;
}

NodeView* NodeView::isOnRollupTaskBranch() {
  if (isRoot()) return nullptr;
  for (NodeView* a = parentNode_; a; a = a->parentNode_) {
    if (a->rollupTask_) return a;
    if (a->isRoot() || a->isCallout_) return nullptr;
  }
  return nullptr;
}

namespace {
// A nil text differs from every stored one (the stored text is never nil).
bool textDiffers(const std::string& current, const std::optional<std::string>& text) {
  return !text || !strings::isEqualToStringWithCase(current, *text);
}
}  // namespace

void NodeView::setLink(const std::optional<std::string>& link, bool withUndo) {
  if (withUndo && textDiffers(strLink_, link))
    pushUndo("topic-link", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"link", strLink_}}));
  setStrLink(link.value_or(std::string()));
}

void NodeView::setNote(const std::optional<std::string>& note, bool withUndo) {
  if (withUndo && textDiffers(strNote_, note))
    pushUndo("topic-note", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"note", strNote_}}));
  setStrNote(note.value_or(std::string()));
}
