// The canvas object: creation and teardown, selection and drop target, look-ups, and the
// stand-ins for drawing, layout and relationships.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "canvas/big_view.h"
#include "canvas/topic_resize_tool.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image.h"
#include "kit/ui/menu_controller.h"
#include "model/app_services.h"

namespace {
constexpr const char* kTopicEditTextChanged = "NM_TOPIC_EDIT_TEXT_CHANGED";
constexpr const char* kSelectionChanged = "NM_SELECTION_CHANGED";
}  // namespace

BigView::BigView(const kit::Rect& frame) : kit::View(frame) {
  crosshairButton_ = std::make_unique<kit::Button>();
  // Read when first shown: a map rendered without a window never needs them.
  crosshairButton_->setImageNamed("crosshair.png", kit::ControlStateNormal);
  crosshairButton_->setBounds(kit::Rect(0, 0, 60, 60));
  crosshairButton_->addTarget(this, [this](kit::Control&, kit::ControlEvents) { onCrosshairPressed(); },
                              kit::ControlEventTouchDown);
  crosshairButton_->setAlpha(0);
  addSubview(crosshairButton_.get());

  topicDisclosureButton_ = std::make_unique<kit::Button>();
  topicDisclosureButton_->setImageNamed("topicEditButton", kit::ControlStateNormal);
  topicDisclosureButton_->setBounds(kit::Rect(0, 0, 44, 44));
  topicDisclosureButton_->addTarget(this, [this](kit::Control&, kit::ControlEvents) { onTopicDisclosurePressed(); },
                                    kit::ControlEventTouchDown);
  topicDisclosureButton_->setAlpha(0);
  addSubview(topicDisclosureButton_.get());

  topicResizeTool_ = std::make_unique<TopicResizeTool>(kit::Rect(0, 0, 48, 48), this);
  addSubview(topicResizeTool_.get());
  topicResizeIndicator_ = std::make_unique<TopicResizeIndicator>(kit::Rect(0, 0, 100, 30));
  addSubview(topicResizeIndicator_.get());

  bAutoScrollEnabled_ = kit::UserDefaults::standard().boolForKey("ui_auto_scroll");
  kit::NotificationCenter::defaultCenter().addObserver(this, kTopicEditTextChanged, nullptr,
                                                       [this](const kit::Notification&) { onTopicTextChanged(); });
  // Closing an editor realigns the topic's neighbours, which moves them without marking them.
  kit::NotificationCenter::defaultCenter().addObserver(this, NodeView::kEditEnded, nullptr,
                                                       [this](const kit::Notification& n) {
                                                         auto* t = static_cast<const NodeView*>(n.object);
                                                         if (t && t->superview() == this) requestRedraw();
                                                       });
  observeMenuController();
}

BigView::~BigView() {
  kit::RunLoop::main().cancelAll(this);
  kit::NotificationCenter::defaultCenter().removeObserver(this);
  if (!deallocPrepared_) teardown(false);
}

void BigView::preDealloc() {
  if (deallocPrepared_) return;
  kit::RunLoop::main().cancelAll(this);
  kit::NotificationCenter::defaultCenter().removeObserver(this);
  detachLayer();
  teardown(true);
}

void BigView::teardown(bool notify) {
  deallocPrepared_ = true;
  kit::MenuController::shared().forgetView(this);
  kit::LockGuard guard(AppServices::globalTreeLock());
  // An edit on this map ends first, and a keystroke command waiting on it never runs.
  if (rootNode_) endEditingWithin(rootNode_.get());
  if (notify) setSelectedNode(nullptr, true);
  else forgetTopic(selectedNode_, false);
  removeRelationshipsFrom(rootNode_.get(), true);
  relationships_.clear();  // relationships go before the topics they point at
  removeNode(rootNode_.get());
  relationshipsToBuildAfterLoad_ = kit::Value();
  relationshipToBuild_ = kit::Value();
  xmlDataStack_ = kit::Value();
  xmlElementContent_.clear();
  xmlMultiElementContent_.clear();
  xmlPath_.clear();
  exportManifest_ = kit::Value();
  strRootID_.reset();
  crosshairButton_.reset();
  topicDisclosureButton_.reset();
  topicResizeTool_.reset();
  topicResizeIndicator_.reset();
}

kit::View* BigView::hitTest(kit::Point p) {
  if (kit::View* hit = kit::View::hitTest(p)) return hit;
  // Outside the bounds (inside, the canvas itself answers): only a topic or its parts.
  if (isHidden() || alpha() < 0.01f || !isUserInteractionEnabled()) return nullptr;
  for (kit::View* v = lastSubview(); v; v = v->previousSibling())
    if (kit::View* hit = v->hitTest(v->convertPointFromSuperview(p))) return hit;
  return nullptr;
}

bool BigView::isCrosshairShown() const { return crosshairButton_ && crosshairButton_->alpha() != 0; }

void BigView::endEditing() {
  if (selectedNode_ && selectedNode_->isInPlaceEdit()) selectedNode_->inPlaceEdit(false);
}

void BigView::hideCrosshair() {
  if (crosshairButton_) crosshairButton_->setAlpha(0);
}

void BigView::forgetTopic(NodeView* topic, bool branch) {
  if (!topic) return;
  auto gone = [&](const NodeView* n) { return n && (n == topic || (branch && n->isaChildOf(topic))); };
  // Pending gestures act on the selection or the touched topic: none may fire for a topic that left.
  if (gone(selectedNode_) || gone(dynamic_cast<NodeView*>(touchView_))) clearGestureTimers();
  if (gone(selectedNode_)) setSelectedNode(nullptr, false);
  if (gone(dragDropNode_)) {
    dragDropNode_ = nullptr;
    dragDropNodesOriginalPosition_ = kit::Point();
  }
  if (gone(fosterNode_)) fosterNode_ = nullptr;
  if (gone(lastLoadedRootNode_)) lastLoadedRootNode_ = nullptr;
  if (gone(draggingTopic_)) {
    clearAutoScrollTimerIfEnabled();
    postDragTopicCleanup(false);
    draggingTopic_ = nullptr;
  }
  if (gone(dynamic_cast<NodeView*>(touchView_))) touchView_ = nullptr;
  std::erase_if(arrayOfNodesToFoldAfterLoad_, gone);
}

// ---- Selection and drop target -------------------------------------------------------------

void BigView::setSelectedNode(NodeView* topic, bool notify) {
  // Keystroke commands act on the selection: an edit never outlives its topic's selection.
  if (NodeView* editing = NodeView::currentEditingTopic(); editing && editing != topic) NodeView::finishEditing();
  if (!topic || topic != selectedNode_) {
    if (selectedNode_) {
      selectedNode_->setIsSelected(false);
      selectedNode_->removeObserver(this, "center");
      selectedNode_->removeObserver(this, "bounds");
    }
    if (topic) {
      if (!topic->isRoot()) preferredSideForNextNewTopic_ = topic->isLogicallyToRightOfRoot() ? Side::Right : Side::Left;
      selectedNode_ = topic;
      topic->setIsSelected(true);
      auto onGeometry = [this](kit::View&, std::string_view) { onSelectedNodeGeometryChange(); };
      topic->addObserver(this, "center", onGeometry);
      topic->addObserver(this, "bounds", onGeometry);
    } else {
      selectedNode_ = nullptr;
      if (topicResizeTool_) topicResizeTool_->setAlpha(0);
      if (topicDisclosureButton_) topicDisclosureButton_->setAlpha(0);
    }
  }
  if (!notify) return;
  if (selectedNode_) {
    if (topicResizeTool_) topicResizeTool_->setAlpha(1.0f);
    if (topicDisclosureButton_ && topicEditorPresenter_) topicDisclosureButton_->setAlpha(1.0f);
    onSelectedNodeGeometryChange();
  }
  if (!parentController_ || !parentController_->isInitForExport())
    kit::NotificationCenter::defaultCenter().post(kSelectionChanged, selectedNode_);
  bringBranchTopicsToFront(selectedNode_);
  if (topicResizeTool_) bringSubviewToFront(topicResizeTool_.get());
  if (parentController_) parentController_->refreshBrightness(nullptr);
  updateRelationshipControlPoints();
  bFloatingGuidesOn_ = false;
}

void BigView::setDragDropNode(NodeView* topic) {
  if (dragDropNode_) dragDropNode_->setBeingDragged(false);
  dragDropNode_ = topic;
  if (topic) topic->setBeingDragged(true);
  dragDropNodesOriginalPosition_ = topic ? topic->center() : kit::Point();
}

void BigView::setFosterNode(NodeView* topic) {
  if (fosterNode_) fosterNode_->setHighlighted(false);
  fosterNode_ = topic;
  if (topic) topic->setHighlighted(true);
}

void BigView::bringBranchTopicsToFront(NodeView* topic) {
  if (topic) bringSubviewToFront(topic);
  if (topicDisclosureButton_) bringSubviewToFront(topicDisclosureButton_.get());
}

void BigView::evaluateDisplayAttributesForSelectedBranchAndRedraw() {
  if (!selectedNode_) return;
  selectedNode_->evaluateDisplayAttributes(true);
  selectedNode_->recalcLayoutRecursively(true, false, true, true, true);
  selectedNode_->setNeedsDisplayIfModified(true);
}

void BigView::setBrightnessForCriteria(int criteria, NodeView* topic) {
  NodeView* start = topic ? topic : rootNode_.get();
  if (!start) return;
  struct Step {
    NodeView* node;
    bool focus, complete, callout;
  };
  std::vector<Step> stack;
  if (topic)
    stack.push_back({topic, topic->isOnSelectedBranch() || topic->isOnDraggedBranch(),
                     topic->isOnTaskCompleteBranch() != nullptr, topic->isOnCalloutBranch() != nullptr});
  else
    stack.push_back({start, false, false, false});
  while (!stack.empty()) {
    Step s = stack.back();
    stack.pop_back();
    NodeView* x = s.node;
    bool focus = s.focus || x == selectedNode_ || x == dragDropNode_;
    bool complete = s.complete || x->percentComplete() == 100;
    bool callout = s.callout || x->isCallout();
    bool dim = ((criteria & 8) && callout) || ((criteria & 2) && !focus) || ((criteria & 4) && complete);
    x->setBrightness(dim ? 0.1f : 1.0f);
    for (const auto& c : x->childNodes()) {
      if (c->isFloating()) stack.push_back({c.get(), false, false, false});
      else stack.push_back({c.get(), focus, complete, callout});
    }
  }
  start->recursivelyUpdateVisiblity();
}

NodeView* BigView::getClosestVisibleNodeTo(NodeView* topic) {
  if (!topic || !rootNode_) return nullptr;
  NodeView* best = nullptr;
  float bestDistance = -1;
  const kit::Point c = topic->center();
  // Depth first in child order; a hidden topic hides its whole branch.
  std::vector<NodeView*> stack{rootNode_.get()};
  while (!stack.empty()) {
    NodeView* x = stack.back();
    stack.pop_back();
    if (x->alpha() == 0) continue;
    if (x != topic) {
      const float d = std::hypot(x->center().x - c.x, x->center().y - c.y);
      if (bestDistance == -1 || d < bestDistance) {
        best = x;
        bestDistance = d;
      }
    }
    const auto& children = x->childNodes();
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->get());
  }
  return best;
}

void BigView::ensureCurrentSelectionIsOnVisibleTopic() {
  if (!selectedNode_ || selectedNode_->alpha() != 0) return;
  NodeView* closest = getClosestVisibleNodeTo(selectedNode_);
  setSelectedNode(closest ? closest : rootNode_.get(), true);
}

void BigView::checkForFosterParent() {
  if (!dragDropNode_) return;
  const kit::Rect d = dragDropNode_->getAdjustedNodeFrame();
  NodeView* best = nullptr;
  float bestArea = 0;
  for (kit::View* v = firstSubview(); v; v = v->nextSibling()) {
    auto* x = dynamic_cast<NodeView*>(v);
    if (!x || x == dragDropNode_ || x->alpha() == 0) continue;
    const kit::Rect f = x->getAdjustedNodeFrame();
    // The topic under the finger wins at once, even one below the dragged topic.
    if (f.contains(ptCurrentTouch_)) {
      if (fosterNode_ != x) setFosterNode(x);
      return;
    }
    if (x->isaChildOf(dragDropNode_)) continue;
    const kit::Rect overlap = f.intersection(d);
    if (overlap.isNull() || overlap.isEmpty()) continue;
    const float area = overlap.width() * overlap.height();
    if (area > bestArea) {
      best = x;
      bestArea = area;
    }
  }
  if (fosterNode_ != best) setFosterNode(best);
}

// ---- Look-ups and other commands -------------------------------------------------------------

int BigView::getTopicCount(NodeView* topic) {
  if (!topic) topic = rootNode_.get();
  if (!topic) return 0;
  return static_cast<int>(topic->getListOfDescendents().size());
}

NodeView* BigView::getNodeByUUID(const std::string& uuid) {
  if (!rootNode_) return nullptr;
  for (NodeView* n : rootNode_->getListOfDescendents())
    if (n->uuid() == uuid) return n;
  return nullptr;
}

NodeView* BigView::getNodeByReferenceID(const std::string& id, NodeView* searchingUnder) {
  if (!searchingUnder) return nullptr;
  for (NodeView* n : searchingUnder->getListOfDescendents())
    if (n->strReferenceID() && *n->strReferenceID() == id) return n;
  return nullptr;
}

void BigView::restoreChildOrder(const std::string& parent, const kit::Array& order) {
  NodeView* p = getNodeByUUID(parent);
  if (!p || p->childNodes().size() != order.size()) return;
  std::vector<NodeView*> children;
  for (const kit::Value& uuid : order) {
    auto it = std::find_if(p->childNodes().begin(), p->childNodes().end(),
                           [&](const std::unique_ptr<NodeView>& c) { return c->uuid() == uuid.string(); });
    if (it == p->childNodes().end()) return;  // another set of children: leave it
    children.push_back(it->get());
  }
  kit::LockGuard guard(AppServices::globalTreeLock());
  for (NodeView* c : children) p->appendChild(p->detachChild(c));
}

kit::Value BigView::snapshotPositions(NodeView* topic) {
  kit::Value positions = topic->snapshotNodePositions();
  // The order of each child list too: a drop, a relayout or a sort may change it.
  topic->appendChildOrders(positions.mutableArray());
  // Moving topics carries the control points of relationships along, rounding as it goes; there
  // are few of them, so all are kept.
  for (const RelationshipPtr& r : relationships_)
    positions.mutableArray().push_back(r->centreEntry());
  // A topic in the branch being edited sits where its grown box put it; its frame lets a restore
  // with the editor closed place it as closing the editor there would.
  if (NodeView* e = NodeView::currentEditingTopic(); e && (e == topic || e->isaChildOf(topic)))
    positions.mutableArray().push_back(kit::Value(kit::Dictionary{{"edited", e->uuid()}, {"frame", e->getAdjustedNodeFrame()}}));
  return positions;
}

void BigView::restoreNodePositions(const kit::Value& positions) {
  if (!rootNode_ || !positions.isArray()) return;
  // One index of the tree, so restoring a whole map stays linear; the first topic in
  // pre-order wins, as a search would find it.
  std::unordered_map<std::string_view, NodeView*> byUUID;
  for (NodeView* n : rootNode_->getListOfDescendents()) byUUID.emplace(n->uuid(), n);
  for (const kit::Value& entry : positions.array()) {
    const kit::Value& uuid = entry["uuid"];
    if (!uuid.isString()) continue;
    auto it = byUUID.find(uuid.string());
    if (it != byUUID.end()) it->second->setNodePositionFromDict(entry, false);
  }
  // Places put back across the central topic come without a flip: those topics mirror now.
  rootNode_->relayoutTopicsOnTheirSides();
  for (const kit::Value& entry : positions.array())
    if (entry["of"].isString() && entry["children"].isArray()) restoreChildOrder(entry["of"].string(), entry["children"].array());
  for (const kit::Value& entry : positions.array())
    if (entry["relationship"].isString())
      if (RelationshipView* r = getRelationshipByUUID(entry["relationship"].string())) r->setCenter(entry["centre"].point());
  // Placing an edited topic as closing its editor would then carries the control points along
  // as that closing does: they were recorded with the editor open too.
  for (const kit::Value& entry : positions.array())
    if (entry["edited"].isString() && entry["frame"].isRect())
      if (NodeView* n = getNodeByUUID(entry["edited"].string()); n && !n->isInPlaceEdit())
        n->realignBasedOnSavedNodeFrame(entry["frame"].rect(), kit::Rect(), false, false);
}

void BigView::recursivelyExpandNodesFrom(NodeView* topic, int depthCount) {
  if (!topic) return;
  // Pre-order without recursion. The flags are set first and each outermost changed branch is
  // shown or hidden once afterwards, its place in a folded branch carried down: folding topic
  // by topic would walk up to the root and down through each branch again.
  struct Entry {
    NodeView* topic;
    int count;
    bool hidden;   // under a folded topic, the flags above being final
    bool covered;  // inside a changed branch that is updated whole
  };
  std::vector<std::pair<NodeView*, bool>> outermost;
  std::vector<Entry> stack{{topic, depthCount, topic->isOnFoldedBranch() != nullptr, false}};
  while (!stack.empty()) {
    const Entry e = stack.back();
    stack.pop_back();
    NodeView* n = e.topic;
    const bool changed = n->setFoldedWithoutVisibility(e.count == 0);
    if (changed && !e.covered) outermost.emplace_back(n, e.hidden);
    n->setNeedsDisplay(false);
    if (e.count == 0) continue;
    const auto& kids = n->childNodes();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
      NodeView* c = it->get();
      if (!c->isFloating() && !c->isCallout())
        stack.push_back({c, e.count - 1, e.hidden || n->isFolded(), e.covered || changed});
    }
  }
  for (const auto& [n, hidden] : outermost) n->_recursivelyUpdateVisiblity(hidden);
}

void BigView::logMoveStartForUndoIfNotAlreadyLogged(NodeView* moved) {
  NodeView* t = moved ? moved : selectedNode_;
  if (bLoggedUndoForCurrentMove_ || !t) return;
  if (isKeepOrganised() && t->parentNode()) t = t->parentNode();
  // An open editor's grown box has pushed places and control points outside this branch too,
  // and closing it pulls them back: only the whole map's places, with the edited topic's frame,
  // put them back as they were.
  if (NodeView::currentEditingTopic() && rootNode_) t = rootNode_.get();
  pushPlacesUndo(t);
  bLoggedUndoForCurrentMove_ = true;
}

void BigView::pushPlacesUndo(NodeView* topic) {
  if (parentController_)
    parentController_->pushUndoRedoOperation(
        "move", kit::Value(kit::Dictionary{{"uuid", topic->uuid()}, {"snapshot", snapshotPositions(topic)}}));
}

void BigView::onCrosshairPressed() {
  if (!selectedNode_ || selectedNode_ == rootNode_.get()) return;
  logMoveStartForUndoIfNotAlreadyLogged();
  hideCrosshair();
  selectedNode_->moveTo(crosshairButton_->center(), true, true);
  NodeView* parent = selectedNode_->parentNode();
  keepOrganisedAsNecessary(parent && parent->isRoot() ? nullptr : selectedNode_);
  requestRedraw();
}

void BigView::setTopicEditorPresenter(TopicEditorPresenter p) {
  topicEditorPresenter_ = std::move(p);
  if (topicDisclosureButton_ && !topicEditorPresenter_) topicDisclosureButton_->setAlpha(0);
}

void BigView::onTopicDisclosurePressed() {
  if (selectedNode_ && topicEditorPresenter_) topicEditorPresenter_(selectedNode_);
}

void BigView::onTopicTextChanged() {
  if (parentController_) parentController_->ensureVisible(selectedNode_, false);
}
