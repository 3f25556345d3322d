#include "model/node_view.h"

#include <algorithm>

#include "helpers/global_helpers_identifiers.h"
#include "model/relationship_view.h"

constinit const NodeView::Rare NodeView::kNoRare{};

NodeView::NodeView(NodeView* parent, DocumentServices* controller) : NodeView(parent, controller, std::string()) {
  evaluateDisplayAttributes(false);
}

NodeView::NodeView(NodeView* parent, DocumentServices* controller, std::string uuid)
    : kit::View(kit::Rect(0, 0, 10, 10)),
      parentController_(controller),
      parentNode_(parent),
      iID_(controller ? controller->getNextNumericID() : 0),
      uuid_(uuid.empty() ? GlobalHelpers::GetUUID() : std::move(uuid)) {
  // A view has no background colour to begin with: none is set here.
  setClipsToBounds(true);
  setClearsContextBeforeDrawing(false);
  setOpaque(false);
}

NodeView::~NodeView() {
  discardEditing();
  // Take the branch apart leaves-first with an explicit stack: each topic then dies with no
  // children left, so the destructor never recurses.
  std::vector<std::unique_ptr<NodeView>> pending;
  for (auto& c : childNodes_) pending.push_back(std::move(c));
  childNodes_.clear();
  while (!pending.empty()) {
    std::unique_ptr<NodeView> n = std::move(pending.back());
    pending.pop_back();
    if (n->childNodes_.empty()) continue;  // destroyed here
    for (auto& c : n->childNodes_) pending.push_back(std::move(c));
    n->childNodes_.clear();
  }
}

void NodeView::setIsSelected(bool selected) {
  isSelected_ = selected;
  setNeedsDisplay(false);
}

void NodeView::setHighlighted(bool highlighted) {
  bHighlighted_ = highlighted;
  setNeedsDisplay(false);
}

void NodeView::setNeedsDisplay(bool recursive) {
  if (!recursive) {
    kit::View::setNeedsDisplay();
    return;
  }
  for (NodeView* n : getListOfDescendents()) n->kit::View::setNeedsDisplay();
}

void NodeView::setNeedsDisplayIfModified(bool recursive) {
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    if (n->nodeModTally_ != 0) n->kit::View::setNeedsDisplay();
    if (!recursive) break;
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) {
      NodeView* c = it->get();
      if (n->folded_ && !c->isCallout_ && !c->isFloating_) continue;
      stack.push_back(c);
    }
  }
}

void NodeView::appendChild(std::unique_ptr<NodeView> child) {
  child->parentNode_ = this;
  childNodes_.push_back(std::move(child));
}

std::unique_ptr<NodeView> NodeView::detachChild(NodeView* child) {
  auto it = std::find_if(childNodes_.begin(), childNodes_.end(),
                         [&](const std::unique_ptr<NodeView>& c) { return c.get() == child; });
  if (it == childNodes_.end()) return nullptr;
  std::unique_ptr<NodeView> out = std::move(*it);
  childNodes_.erase(it);
  return out;
}

void NodeView::pushUndo(const char* action, kit::Value details) {
  if (parentController_) parentController_->pushUndoRedoOperation(action, details);
}

void NodeView::addRelationship(RelationshipView* r) {
  if (!r) return;
  std::vector<RelationshipView*>& list = rareForWriting().relationships;
  r->end1Slot_ = list.size();
  list.push_back(r);
}

// The last one takes the leaving one's place: a topic may start hundreds of thousands of
// relationships, all released one by one when the map closes.
void NodeView::removeRelationship(RelationshipView* r) {
  if (!rare_ || !r) return;
  std::vector<RelationshipView*>& list = rare_->relationships;
  const std::size_t slot = r->end1Slot_;
  if (slot >= list.size() || list[slot] != r) return;
  list[slot] = list.back();
  list[slot]->end1Slot_ = slot;
  list.pop_back();
}
