// Creating topics: the one constructor path and the commands built on it.
#include "canvas/big_view.h"
#include "model/app_services.h"

NodeView* BigView::createChildNodeOf(NodeView* parent, kit::Point position) {
  auto topic = std::make_unique<NodeView>(parent, parentController_);
  NodeView* n = topic.get();
  addSubview(n);
  kit::Point p = (parent && !(position == kit::Point())) ? position : bounds().mid();
  n->setCenter(kit::Point(kit::roundHalfEven(p.x), kit::roundHalfEven(p.y)));
  // The constructor has resolved the display values already; of them only the colour-wheel
  // colour of a child of a root depends on the centre just set, so only then is it redone.
  if (parent && parent->isRoot()) n->evaluateDisplayColourForBranch();
  if (parent) {
    kit::LockGuard guard(AppServices::globalTreeLock());
    parent->appendChild(std::move(topic));
  } else {
    // A second central topic replaces the first properly: no orphaned views, no dangling
    // selection.
    if (rootNode_) removeNode(rootNode_.get());
    kit::LockGuard guard(AppServices::globalTreeLock());
    rootNode_ = std::move(topic);
  }
  setSelectedNode(n, false);
  return n;
}

NodeView* BigView::createLoadedChildOf(NodeView* parent, kit::Point position, std::string uuid, std::size_t children) {
  auto topic = std::make_unique<NodeView>(parent, parentController_, std::move(uuid));
  NodeView* n = topic.get();
  n->childNodes_.reserve(children);
  addSubview(n);
  const kit::Point p = position == kit::Point() ? bounds().mid() : position;
  n->setCenter(kit::Point(kit::roundHalfEven(p.x), kit::roundHalfEven(p.y)));
  kit::LockGuard guard(AppServices::globalTreeLock());
  parent->appendChild(std::move(topic));
  return n;
}

NodeView* BigView::createSiblingOf(NodeView* topic, bool above) {
  if (!topic || topic->isRoot() || topic->isFloating() || topic->isCallout()) return nullptr;
  topic->pushSiblingsUpBy(10, 10);
  topic->moveByX(0, above ? 10.0f : -10.0f, true);
  kit::Rect f = topic->getAdjustedNodeFrame();
  float x = topic->isToRightOfParent() ? f.minX() + 5 : f.maxX() - 5;
  kit::Rect b = topic->getBranchBoundingRect();
  float y = above ? b.minY() - 15 : b.maxY() + 15;
  return createChildNodeOf(topic->parentNode(), kit::Point(x, y));
}

NodeView* BigView::createChildNodeOf(NodeView* parent, int onSide) {
  if (!parent) return createChildNodeOf(nullptr, kit::Point());
  int side;
  if (parent->isRoot()) {
    side = onSide;
    if (side == Side::Automatic) side = preferredSideForNextNewTopic_;
    if (side == Side::Automatic) side = Side::Right;
  } else {
    side = parent->isLogicallyToRightOfRoot() ? Side::Right : Side::Left;
  }
  if (NodeView* lowest = parent->getLowestChildOnSide(side)) return createSiblingOf(lowest, false);
  kit::Rect f = parent->getAdjustedNodeFrame();
  float x = side == Side::Right ? f.maxX() + 70 + 5 : f.minX() - 70 - 5;
  float y = parent->center().y - 10;
  return createChildNodeOf(parent, kit::Point(x, y));
}

NodeView* BigView::createAndEditNewChildOf(NodeView* parent, const std::string& text) {
  endEditing();
  if (!parent) return nullptr;
  NodeView* n;
  if (isCrosshairShown()) {
    hideCrosshair();
    n = createChildNodeOf(parent, crosshairButton_->center());
    keepOrganisedAsNecessary(n);
  } else {
    n = createChildNodeOf(parent, Side::Automatic);
  }
  n->setStrName(text);
  setSelectedNode(n, true);
  parent->recalcLayoutRecursively(false, true, true, false, false);
  n->inPlaceEdit(true);
  parent->getRoot()->recalcBoundaries();
  requestRedraw();
  return n;
}

NodeView* BigView::createAndEditNewSiblingOf(NodeView* topic, bool above, const std::string& text) {
  endEditing();
  hideCrosshair();
  if (!topic) return nullptr;
  NodeView* n = createSiblingOf(topic, above);
  if (!n) {
    setSelectedNode(selectedNode_, true);
    requestRedraw();
    return nullptr;
  }
  n->setStrName(text);
  n->cloneAttributes(0x1CC, topic, 0, false);
  setSelectedNode(n, true);
  n->inPlaceEdit(true);
  topic->getRoot()->recalcBoundaries();
  requestRedraw();
  return n;
}

NodeView* BigView::createAndEditNewParentOf(NodeView* topic, const std::string& text) {
  if (!topic || !topic->parentNode()) return nullptr;
  endEditing();
  hideCrosshair();
  kit::Rect f = topic->getAdjustedNodeFrame();
  float x = topic->isLogicallyToRightOfRoot() ? f.minX() + 5 : f.maxX() - 5;
  NodeView* oldParent = topic->parentNode();
  NodeView* n = createChildNodeOf(oldParent, kit::Point(x, topic->center().y));
  n->setStrName(text);
  {
    kit::LockGuard guard(AppServices::globalTreeLock());
    n->appendChild(oldParent->detachChild(topic));
  }
  topic->spaceOutFromParent();
  return finishNewParentTopic(n);
}

// After a new topic took over existing children: restyle the branch and edit the new topic.
NodeView* BigView::finishNewParentTopic(NodeView* n) {
  setSelectedNode(selectedNode_, true);
  evaluateDisplayAttributesForSelectedBranchAndRedraw();
  n->inPlaceEdit(true);
  n->getRoot()->recalcBoundaries();
  requestRedraw();
  return n;
}

NodeView* BigView::createAndEditNewChildLevelOf(NodeView* topic, const std::string& text) {
  if (!topic) return nullptr;
  endEditing();
  hideCrosshair();
  kit::Rect f = topic->getAdjustedNodeFrame();
  bool rightOrRoot = topic->isLogicallyToRightOfRoot() || topic->isRoot();
  float x = rightOrRoot ? f.maxX() + 5 : f.minX() - 5;
  NodeView* n = createChildNodeOf(topic, kit::Point(x, topic->center().y));
  n->setStrName(text);
  {
    kit::LockGuard guard(AppServices::globalTreeLock());
    NodeView::ChildList kept;
    for (auto& c : topic->childNodes_) {
      if (c.get() != n && !c->isFloating() && !c->isCallout()) n->appendChild(std::move(c));
      else kept.push_back(std::move(c));
    }
    topic->childNodes_ = std::move(kept);
  }
  n->spaceOutFromParent();
  return finishNewParentTopic(n);
}

NodeView* BigView::createAndEditNewCallout(NodeView* topic, const std::string& text) {
  endEditing();
  if (!topic) return nullptr;
  kit::Point spot;
  if (isCrosshairShown()) {
    hideCrosshair();
    spot = crosshairButton_->center();
  } else {
    kit::Rect f = topic->getAdjustedNodeFrame();
    bool root = topic->isRoot();
    float h = (topic->isLogicallyToRightOfRoot() || root) ? 1.0f : -1.0f;
    float x0 = h > 0 ? f.maxX() : f.minX();
    float v = (topic->isAbove(topic->getRoot()) || root) ? -1.0f : 1.0f;
    float y0 = v < 0 ? f.minY() : f.maxY();
    spot = kit::Point(x0 + 50 * h, y0 + 30 * v);
    // The spot is free when the canvas itself is hit 20 points either side of it.
    for (int tries = 0; tries < 20; ++tries) {
      if (hitTest(kit::Point(spot.x - 20, spot.y)) == this && hitTest(kit::Point(spot.x + 20, spot.y)) == this) break;
      spot = kit::Point(spot.x + 20 * h, spot.y + 50 * v);
    }
  }
  NodeView* n = createChildNodeOf(topic, spot);
  n->setStrName(text);
  n->setIsCallout(true, false);
  n->setShape(TopicShape::RoundedRectangle, false, false);
  n->setColourWithRGB255(RGB255{255, 127, 0}, false, false);
  n->inPlaceEdit(true);
  setSelectedNode(n, true);
  return n;
}

NodeView* BigView::createAndEditNewSiblingCallout(NodeView* topic, const std::string& text) {
  if (!topic) return nullptr;
  crosshairButton_->setCenter(kit::Point(topic->center().x, topic->frame().maxY() + 60));
  crosshairButton_->setAlpha(1);
  return createAndEditNewCallout(topic->parentNode(), text);
}

NodeView* BigView::createAndEditNewFloatingNode(const std::string& text) {
  endEditing();
  kit::Point at = crosshairButton_->center();
  hideCrosshair();
  // A floating topic needs a central topic to hang under.
  if (!rootNode_) return nullptr;
  NodeView* n = createChildNodeOf(rootNode_.get(), at);
  n->setStrName(text);
  n->setIsFloating(true, false);
  evaluateDisplayAttributesForSelectedBranchAndRedraw();
  setSelectedNode(n, true);
  n->inPlaceEdit(true);
  return n;
}

void BigView::selectAndEditNode(NodeView* topic) {
  endEditing();
  setSelectedNode(topic, true);
  if (topic) topic->inPlaceEdit(true);
}

NodeView* BigView::createWithUndo(const std::function<NodeView*()>& create) {
  // An open editor has pushed its neighbours aside; the new topic's editor takes over anyway, so
  // the edit ends first and the places recorded are those the map keeps.
  NodeView::finishEditing();
  kit::Value before = parentController_ && rootNode_ ? snapshotPositions(rootNode_.get()) : kit::Value();
  NodeView* n = create();
  if (n && parentController_)
    parentController_->pushUndoRedoOperation(
        "delete-topic", kit::Value(kit::Dictionary{{"uuid", n->uuid()}, {"positions", std::move(before)}}));
  return n;
}
