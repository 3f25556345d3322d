// Dragging topics and relationship control points: the dragged lines live in shape layers over
// the tiles while the finger moves; the map scrolls when the finger nears an edge; a lifted topic
// is dropped on a new parent or on the background.
#include <algorithm>
#include <cmath>
#include <set>
#include <typeinfo>

#include "canvas/big_view.h"
#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_geometry.h"
#include "helpers/strings.h"
#include "kit/ui/view_animation.h"
#include "model/app_services.h"

namespace {

constexpr float kDragLineWidth = 2.0f;
constexpr float kBoundaryLineWidth = 0.5f;
// Just above the tiles: the tiles are the canvas's first layer, drawn before canvasLayer().
constexpr std::size_t kDragLayerIndex = 0;
constexpr float kAutoscrollZone = 30;
constexpr double kAutoscrollTick = 0.01;
constexpr double kDragLayerLinger = 0.3;
constexpr const char* kDragCleanup = "_postDragTopicCleanup:";

// A topic or relationship colour as a line on this canvas, 0..1.
RGB1 dragColour(RGB255 c) { return RGB255ToUnit(GlobalHelpers::adjustColour(c, AppServices::currentCanvasStyle(), false)); }

kit::Color withAlpha(RGB1 c, float a) { return kit::Color(c.r, c.g, c.b, a); }

std::shared_ptr<kit::ShapeLayer> lineLayer(const kit::Color& c, bool filled, float width) {
  auto l = std::make_shared<kit::ShapeLayer>();
  if (filled) l->setFillColor(c);
  else l->setStrokeColor(c);
  l->setLineWidth(filled ? 0 : width);
  return l;
}

}  // namespace

// ---- Frames ----------------------------------------------------------------------------------

void BigView::compositeFrame(kit::GraphicsContext& context, const kit::Rect& visible) {
  layer().drawTiles(context, visible);
  canvasLayer_->render(context);
}

bool BigView::drawFrameContent(kit::GraphicsContext& context, const kit::Rect& visible) {
  if (visible.isNull() || visible.isEmpty()) return true;
  displayLayer(visible);
  context.saveGState();
  context.setFillColor(parentController_ ? parentController_->canvasColour() : kit::Color::white());
  context.fillRect(visible);
  context.restoreGState();
  compositeFrame(context, visible);
  findLiveTopics();
  return layer().isVisibleCurrent(visible);
}

bool BigView::tilesHoldSubview(const kit::View& subview) const {
  // Asked for every topic of every frame: an exact type test (the class has no subclasses)
  // costs less than a cast. A relationship's control handle is not in the tiles.
  return typeid(subview) == typeid(NodeView) &&
         (liveTopics_.empty() || !std::binary_search(liveTopics_.begin(), liveTopics_.end(), &subview));
}

// ---- Per move --------------------------------------------------------------------------------

void BigView::dragTouchMoved() {
  if (auto* relationship = dynamic_cast<RelationshipView*>(touchView_)) {
    if (!draggingRelationship_) {
      draggingRelationship_ = relationship;
      // An open editor's box has carried control points along, and closing it carries them back:
      // the map's places with the edited topic's frame put the handle back as that closing does.
      if (NodeView::currentEditingTopic() && rootNode_) pushPlacesUndo(rootNode_.get());
      else if (parentController_)
        parentController_->pushUndoRedoOperation(
            "relationship-move",
            kit::Value(kit::Dictionary{{"uuid", relationship->uuid()}, {"centre", relationship->center()}}));
    }
    relationship->setCenter(ptCurrentTouch_);
    if (!linkLayer_) {
      preDragRelationshipInitFor(relationship);
      requestRedraw();
    }
    linkLayer_->setPath(relationshipCurve(relationship));
    maybeAutoscroll();
    return;
  }
  auto* topic = dynamic_cast<NodeView*>(touchView_);
  if (!topic) return;
  if (!draggingTopic_) {
    draggingTopic_ = topic;
    dragStartPositions_ = topic->snapshotNodePositions();
    preDragTopicInitFor(topic);
    requestRedraw();
    // A touch beside the topic's shape drags it without selecting it: the record is the topic's.
    logMoveStartForUndoIfNotAlreadyLogged(topic);
  }
  const kit::Point to(ptCurrentTouch_.x + touchCentreOffset_.width, ptCurrentTouch_.y + touchCentreOffset_.height);
  if (topic->moveTo(to, true, true)) buildDragTopicBranchLayersFor(topic);
  if (topic->parentNode() && linkLayer_) {
    kit::Path link;
    // A floating topic has no link; a lifted one shows none while it looks for a parent.
    if (!topic->isFloating() && topic != dragDropNode_) addLinkToPath(link, topic, topic->parentNode());
    linkLayer_->setPath(std::move(link));
  }
  if (interBranchRelationshipLayer_) {
    kit::Path p;
    _addNonContainedRelationshipsToPath(p, topic);
    interBranchRelationshipLayer_->setPath(std::move(p));
  }
  if (branchLayer_)
    branchLayer_->setTransform(kit::AffineTransform::translation(topic->center().x - ptBranchLayerRef_.x,
                                                                 topic->center().y - ptBranchLayerRef_.y));
  if (topic == dragDropNode_) checkForFosterParent();
  maybeAutoscroll();
}

kit::Path BigView::relationshipCurve(RelationshipView* r) const {
  kit::Path p;
  kit::Point start, end;
  if (r->end1() && r->end2() && calcBestRelationshipConnectionPointsFrom(r->end1(), r->end2(), r->center(), start, end)) {
    p.moveTo(start);
    p.quadCurveTo(r->center(), end);
  }
  return p;
}

// ---- Layers ----------------------------------------------------------------------------------

void BigView::preDragRelationshipInitFor(RelationshipView* r) {
  const float a = std::max(r->end1() ? r->end1()->alpha() : 0.0f, r->end2() ? r->end2()->alpha() : 0.0f);
  linkLayer_ = lineLayer(withAlpha(dragColour(r->rgb255()), a), false, kDragLineWidth);
  canvasLayer_->addSublayer(linkLayer_);
}

void BigView::postDragRelationshipCleanup() {
  if (linkLayer_) linkLayer_->removeFromSuperlayer();
  linkLayer_.reset();
}

void BigView::preDragTopicInitFor(NodeView* t) {
  NodeView* parent = t->parentNode();
  const float b = std::min(t->getBrightness(), parent ? parent->getBrightness() : 1.0f);
  const RGB1 rgb = b < 1.0f ? t->getCachedFillColour() : dragColour(t->getDisplayColour());
  const bool filled = (parent && parent->isRoot() && AppServices::taperLinksFlag()) || t->isCallout();
  if (linkLayer_) linkLayer_->removeFromSuperlayer();  // never two link layers drawn
  linkLayer_ = lineLayer(withAlpha(rgb, b), filled, kDragLineWidth);
  canvasLayer_->insertSublayer(linkLayer_, kDragLayerIndex);
  buildDragTopicBranchLayersFor(t);
  if (isAnyBranchAffinityWith(t, 1, false)) {
    interBranchRelationshipLayer_ = lineLayer(kit::Color(0.5f, 0.5f, 0.5f), false, kDragLineWidth);
    canvasLayer_->addSublayer(interBranchRelationshipLayer_);
  }
}

void BigView::buildDragTopicBranchLayersFor(NodeView* t) {
  if (branchLayer_) branchLayer_->removeFromSuperlayer();
  branchLayer_ = std::make_shared<kit::Layer>();
  canvasLayer_->insertSublayer(branchLayer_, kDragLayerIndex);
  ptBranchLayerRef_ = t->center();

  t->recalcBoundaries();
  for (NodeView* n : t->getListOfDescendents()) {
    if (!n->hasBoundary() || n->alpha() == 0) continue;
    if (t == rootNode_.get() && n->isOnFloatingBranch()) continue;
    kit::Path path = GlobalHelpers::newRoundedPolygonPathFromPoints(n->boundaryPoints());
    if (path.isEmpty()) continue;
    RGB1 stroke, fill;
    n->getBoundaryDisplayStroke(stroke, fill);
    auto l = lineLayer(withAlpha(stroke, n->alpha()), false, kBoundaryLineWidth);
    l->setFillColor(withAlpha(fill, n->alpha()));
    l->setPath(std::move(path));
    branchLayer_->addSublayer(std::move(l));
  }

  std::set<std::string> colours = t->buildDisplayColourSet(true);
  std::vector<RelationshipView*> inner;
  for (const RelationshipPtr& r : relationships_)
    if (r->getBranchAffinityWith(t) == 2 && r->areBothEndsFullyVisible()) {
      inner.push_back(r.get());
      colours.insert(r->getColourAsString());
    }
  for (const std::string& c : colours) {
    const kit::Color rgb = withAlpha(dragColour(strings::extractColourComponents(c)), 1.0f);
    kit::Path stroked;
    _addLinkToPath(stroked, t, &c, false);
    for (RelationshipView* r : inner)
      if (r->getColourAsString() == c) stroked.addPath(relationshipCurve(r));
    if (!stroked.isEmpty()) {
      auto l = lineLayer(rgb, false, kDragLineWidth);
      l->setPath(std::move(stroked));
      branchLayer_->addSublayer(std::move(l));
    }
    kit::Path filled;
    _addLinkToPath(filled, t, &c, true);
    if (!filled.isEmpty()) {
      auto l = lineLayer(rgb, true, 0);
      l->setPath(std::move(filled));
      branchLayer_->addSublayer(std::move(l));
    }
  }
}

void BigView::_addLinkToPath(kit::Path& path, NodeView* n, const std::string* coloured, bool fill) {
  const bool tapered = n->isRoot() && AppServices::taperLinksFlag();
  for (const auto& child : n->childNodes()) {
    NodeView* k = child.get();
    if (k->alpha() < 1.0f || k->isFloating()) continue;
    if (!coloured || k->getDisplayColourAsString() == *coloured) {
      const bool filledLink = tapered || k->isCallout();
      if (filledLink == fill) addLinkToPath(path, k, n);
    }
    _addLinkToPath(path, k, coloured, fill);
  }
}

void BigView::_addNonContainedRelationshipsToPath(kit::Path& path, NodeView* t) {
  for (const RelationshipPtr& r : relationships_)
    if (r->getBranchAffinityWith(t) == 1 && r->areBothEndsFullyVisible()) path.addPath(relationshipCurve(r.get()));
}

void BigView::postDragTopicCleanup(bool linger) {
  std::vector<std::shared_ptr<kit::Layer>> layers;
  if (linkLayer_) layers.push_back(std::move(linkLayer_));
  if (branchLayer_) layers.push_back(std::move(branchLayer_));
  if (interBranchRelationshipLayer_) layers.push_back(std::move(interBranchRelationshipLayer_));
  linkLayer_.reset();
  branchLayer_.reset();
  interBranchRelationshipLayer_.reset();
  if (layers.empty()) return;
  // The preview stays while the tiles redraw the branch in its new place.
  kit::RunLoop::main().performAfterDelay(this, kDragCleanup, kit::Value(), linger ? kDragLayerLinger : 0.0,
                                         [layers = std::move(layers)] {
                                           for (const auto& l : layers) l->removeFromSuperlayer();
                                         });
}

// ---- End of a drag ---------------------------------------------------------------------------

void BigView::dragTouchEnded() {
  clearAutoScrollTimerIfEnabled();
  if (draggingRelationship_) {
    postDragRelationshipCleanup();
    return;
  }
  NodeView* d = draggingTopic_;
  if (!d && !dragDropNode_) return;
  bool linger = true;
  if (dragDropNode_) {
    NodeView* lifted = dragDropNode_;
    menuOptions_ = fosterNode_ ? MenuOption::Copy | MenuOption::Move | MenuOption::Merge
                               : MenuOption::Delete | (lifted->isRoot() ? 0u : MenuOption::Float) | MenuOption::FloatACopy;
    showPopupMenuForRect(lifted->getAdjustedNodeShapeFrame());
  } else if (d) {
    if (!d->isRoot()) preferredSideForNextNewTopic_ = d->isLogicallyToRightOfRoot() ? Side::Right : Side::Left;
    if (isKeepOrganised()) {
      if (!d->isRoot() && !d->isCallout() && !d->isOnCalloutBranch()) {
        rearrangeChildren(d->parentNode(), true);
        linger = false;
      }
    } else if (AppServices::rainbowFlag() && d->parentNode() && d->parentNode()->isRoot() && !d->isRoot() &&
               !d->isCallout()) {
      d->evaluateDisplayColourForBranch();
      d->setNeedsDisplayIfModified(true);
      linger = false;
    }
  }
  requestRedraw();
  postDragTopicCleanup(linger);
  dragStartPositions_ = kit::Value();
}

void BigView::dragTouchCancelled() {
  clearAutoScrollTimerIfEnabled();
  // The branch goes back exactly where it was, mirrored sides and all.
  if (draggingTopic_ && dragStartPositions_.isArray()) restoreNodePositions(dragStartPositions_);
  dragStartPositions_ = kit::Value();
  postDragTopicCleanup(false);
  postDragRelationshipCleanup();
}

void BigView::putBackLiftedTopic(bool animate) {
  NodeView* d = dragDropNode_;
  if (!d) return;
  if (animate) kit::ViewAnimation::beginAnimations(this);
  if (animate) kit::ViewAnimation::setAnimationDuration(AppServices::sharedAnimationDuration());
  d->moveTo(dragDropNodesOriginalPosition_, true, true);
  if (animate) kit::ViewAnimation::commitAnimations();
  // A touch on another topic that closed the drop menu has selected that topic: it keeps it.
  if (!selectedNode_) setSelectedNode(d, true);
  setDragDropNode(nullptr);
  setFosterNode(nullptr);
  requestRedraw();
}

void BigView::endTappedDrag() {
  postDragTopicCleanup(false);
  dragStartPositions_ = kit::Value();
}

// ---- Autoscroll ------------------------------------------------------------------------------

float BigView::autoscrollDistanceForProximityToEdge(float d) { return std::ceil((kAutoscrollZone - d) / 5); }

void BigView::maybeAutoscroll() {
  if (!bAutoScrollEnabled_) return;
  autoscrollDistanceX_ = autoscrollDistanceY_ = 0;
  kit::View* scroll = superview();
  if (!scroll) return;
  const kit::Rect v = scroll->bounds();
  const kit::Point p = convertPointToView(ptCurrentTouch_, scroll);
  if (p.x - v.minX() < kAutoscrollZone) autoscrollDistanceX_ = -autoscrollDistanceForProximityToEdge(p.x - v.minX());
  else if (v.maxX() - p.x < kAutoscrollZone) autoscrollDistanceX_ = autoscrollDistanceForProximityToEdge(v.maxX() - p.x);
  if (p.y - v.minY() < kAutoscrollZone) autoscrollDistanceY_ = -autoscrollDistanceForProximityToEdge(p.y - v.minY());
  else if (v.maxY() - p.y < kAutoscrollZone) autoscrollDistanceY_ = autoscrollDistanceForProximityToEdge(v.maxY() - p.y);
  if (autoscrollDistanceX_ == 0 && autoscrollDistanceY_ == 0) {
    clearAutoScrollTimerIfEnabled();
    return;
  }
  if (autoscrollTimer_) return;
  // The timer follows the object it started with, by identity: it may leave meanwhile.
  kit::Value info = draggingRelationship_ ? kit::Value(kit::Dictionary{{"relationship", draggingRelationship_->uuid()}})
                    : draggingTopic_      ? kit::Value(kit::Dictionary{{"topic", draggingTopic_->uuid()}})
                                          : kit::Value();
  if (info.isNull()) return;
  autoscrollTimer_ = kit::RunLoop::main().scheduleTimer(
      kAutoscrollTick, true, [this](kit::Timer& t) { autoscrollTimerFired(t.userInfo()); }, std::move(info), this);
}

void BigView::legalizeAutoscrollDistance() {
  auto* scroll = dynamic_cast<kit::ScrollView*>(superview());
  if (!scroll) return;
  const kit::Point o = scroll->contentOffset();
  const kit::Size c = scroll->contentSize();
  const kit::Size f = scroll->frame().size;
  autoscrollDistanceX_ = std::min(std::max(autoscrollDistanceX_, -o.x), c.width - (o.x + f.width));
  autoscrollDistanceY_ = std::min(std::max(autoscrollDistanceY_, -o.y), c.height - (o.y + f.height));
}

void BigView::autoscrollTimerFired(const kit::Value& info) {
  auto* scroll = dynamic_cast<kit::ScrollView*>(superview());
  if (!scroll || !scroll->superview()) return;
  legalizeAutoscrollDistance();
  NodeView* topic = info["topic"].isString() ? getNodeByUUID(info["topic"].string()) : nullptr;
  RelationshipView* relationship =
      info["relationship"].isString() ? getRelationshipByUUID(info["relationship"].string()) : nullptr;
  if (!topic && !relationship) return;
  kit::View* screen = scroll->superview();
  const kit::Point q = convertPointToView(topic ? topic->center() : relationship->center(), screen);
  const kit::Point o = scroll->contentOffset();
  scroll->setContentOffset(kit::Point(o.x + autoscrollDistanceX_, o.y + autoscrollDistanceY_));
  const kit::Point back = screen->convertPointToView(q, this);
  if (topic) {
    if (topic->moveTo(back, true, true) && draggingTopic_) buildDragTopicBranchLayersFor(draggingTopic_);
    if (branchLayer_ && draggingTopic_)
      branchLayer_->setTransform(kit::AffineTransform::translation(draggingTopic_->center().x - ptBranchLayerRef_.x,
                                                                   draggingTopic_->center().y - ptBranchLayerRef_.y));
  } else {
    relationship->setCenter(back);
    if (linkLayer_) linkLayer_->setPath(relationshipCurve(relationship));
  }
}

void BigView::clearAutoScrollTimerIfEnabled() {
  if (!autoscrollTimer_) return;
  autoscrollTimer_->invalidate();
  autoscrollTimer_.reset();
}
