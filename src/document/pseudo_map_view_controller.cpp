#include "document/pseudo_map_view_controller.h"

#include "formats/map_formats.h"

#include "document/topic_record_replay.h"
#include "helpers/global_helpers_colour.h"
#include "helpers/float_over.h"
#include "helpers/global_helpers_identifiers.h"
#include "helpers/strings.h"
#include "kit/text/charset.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/window.h"
#include "model/app_services.h"

PseudoMapViewController::PseudoMapViewController() : PseudoMapViewController(false) {}

PseudoMapViewController::PseudoMapViewController(bool forExport) : forExport_(forExport) {
  canvas_ = std::make_unique<BigView>(kit::Rect(0, 0, kCanvasWidth, kCanvasHeight));
  canvas_->setParentController(this);
  canvas_->setFormatServices(&MapFormats::services());
}

std::unique_ptr<PseudoMapViewController> PseudoMapViewController::initForExport() {
  return std::unique_ptr<PseudoMapViewController>(new PseudoMapViewController(true));
}

PseudoMapViewController::~PseudoMapViewController() {
  canvas_->preDealloc();
  undoManager_.removeAllActions(this);
  removeUndoSnapshots();
}

void PseudoMapViewController::setMapSettings(kit::Value settings) {
  settings_ = settings.isDictionary() ? std::move(settings) : kit::Value(kit::Dictionary{});
}

void PseudoMapViewController::setMapSetting(std::string_view key, kit::Value value) {
  settings_.set(key, std::move(value));
}

bool PseudoMapViewController::settingOr(std::string_view key, bool absent) const {
  const kit::Value& v = settings_[key];
  return v.isNull() ? absent : v.boolValue();
}

bool PseudoMapViewController::getInheritColour() { return settingOr("InheritColour", true); }
bool PseudoMapViewController::getInheritShape() { return settingOr("InheritShape", true); }
bool PseudoMapViewController::getKeepOrganised() { return settingOr("KeepOrganised", true); }
bool PseudoMapViewController::getShowTaskBadge() { return settingOr("ShowTaskBadge", true); }

std::int32_t PseudoMapViewController::getNextNumericID() {
  nextNumericID_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(nextNumericID_) + 1u);
  return nextNumericID_;
}

// A plain colour or a paper pattern, which the canvas repeats over each tile and export.
kit::Color PseudoMapViewController::canvasColour() {
  const std::int64_t style = settings_["CanvasStyle"].integerValue();
  return GlobalHelpers::getCanvasColourFromStyle(style >= 1 && style <= 9 ? static_cast<int>(style) : 0);
}

void PseudoMapViewController::setRainbow(bool on) {
  settings_.set("Rainbow", on);
  AppServices::setRainbowFlag(on);
  if (NodeView* root = canvas_->rootNode()) {
    root->evaluateDisplayColourForBranch();
    root->setNeedsDisplayIfModified(true);
  }
}

void PseudoMapViewController::setDropShadow(bool on) {
  settings_.set("DropShadow", on);
  AppServices::setDropShadowFlag(on);
  canvas_->requestRedraw();
}

void PseudoMapViewController::setCanvasStyle(int style) {
  settings_.set("CanvasStyle", style);
  AppServices::setCurrentCanvasStyle(style);
}

// ---- Undo ------------------------------------------------------------------------------------

void PseudoMapViewController::pushUndoRedoOperation(const std::string& action, const kit::Value& details) {
  setModified();
  kit::Value record(kit::Dictionary{{"action", action}, {"details", details}});
  undoManager_.registerUndo(this, "onUndoRedo:", std::move(record),
                            [this](const kit::Value& r) { onUndoRedo(r); });
}

void PseudoMapViewController::pushUndoSnapshot() {
  kit::Value details(kit::Dictionary{{"uuid", createUndoSnapshot()}});
  if (NodeView* s = canvas_->selectedNode()) details.set("selected", s->uuid());
  pushUndoRedoOperation("snapshot", details);
}

// The relationship records, found by the relationship's uuid; false for any other action.
static bool replayRelationshipRecord(PseudoMapViewController& doc, BigView& canvas, const std::string& action,
                                     const kit::Value& details) {
  if (action != "relationship-end1" && action != "relationship-end2" && action != "relationship-colour" &&
      action != "relationship-move" && action != "delete-relationship")
    return false;
  RelationshipView* r = details["uuid"].isString() ? canvas.getRelationshipByUUID(details["uuid"].string()) : nullptr;
  if (!r) return true;  // gone with its topics: nothing to replay on
  if (action == "relationship-end1") {
    r->setEnd1ArrowType(details["type"].intValue());
  } else if (action == "relationship-end2") {
    r->setEnd2ArrowType(details["type"].intValue());
  } else if (action == "relationship-colour") {
    r->setColourWithRGB255(strings::extractColourComponents(details["colour"].string()), true);
  } else if (action == "relationship-move") {
    if (!details["centre"].isPoint()) return true;
    doc.pushUndoRedoOperation("relationship-move", kit::Value(kit::Dictionary{{"uuid", r->uuid()}, {"centre", r->center()}}));
    r->setCenter(details["centre"].point());
  } else {
    doc.pushUndoSnapshot();
    canvas.removeRelationship(r);  // r is gone from here on
  }
  canvas.requestRedraw();
  return true;
}

void PseudoMapViewController::onUndoRedo(const kit::Value& record) {
  const std::string& action = record["action"].string();
  const kit::Value& details = record["details"];
  NodeView* t = details["uuid"].isString() ? canvas_->getNodeByUUID(details["uuid"].string()) : nullptr;
  // A fold or flag put back may hide the selected topic: the selection moves to one that shows.
  struct KeepSelectionShown {
    BigView* canvas;
    ~KeepSelectionShown() { canvas->ensureCurrentSelectionIsOnVisibleTopic(); }
  } keepSelectionShown{canvas_.get()};

  if (action == "move") {
    if (t) pushUndoRedoOperation("move", kit::Value(kit::Dictionary{{"uuid", t->uuid()}, {"snapshot", canvas_->snapshotPositions(t)}}));
    // The snapshot holds the places exactly: a rearrangement would move them again.
    canvas_->restoreNodePositions(details["snapshot"]);
    canvas_->requestRedraw();
    return;
  }
  if (action == "snapshot") {
    replayUndoSnapshot(details);
    return;
  }
  if (replayRelationshipRecord(*this, *canvas_, action, details)) return;
  if (!t) return;  // the topic is gone: nothing to replay on

  if (action == "delete-topic") {
    pushUndoSnapshot();
    canvas_->deleteTopic(t);  // t is gone from here on
    canvas_->restoreNodePositions(details["positions"]);
    canvas_->requestRedraw();
    return;
  }
  if (action == "toggle-fold") {
    // The relayout follows the selection, which may have moved since: the places go back as
    // they were.
    canvas_->toggleFoldState(t);
    canvas_->restoreNodePositions(details["positions"]);
    return;
  }
  if (action == "topic-text") {
    NodeView* root = canvas_->rootNode();
    pushUndoRedoOperation("topic-text", kit::Value(kit::Dictionary{
                                            {"uuid", t->uuid()}, {"strName", t->strName()}, {"positions", canvas_->snapshotPositions(root)}}));
    t->setStrName(details["strName"].string());
    // The branch and the siblings move back as the edit's end realigned them; the places recorded
    // with the text put them back exactly.
    t->recalcLayoutRecursively(false, true, true, true, true);
    canvas_->restoreNodePositions(details["positions"]);
    canvas_->requestRedraw();
    return;
  } else if (action == "topic-colour") {
    t->setColourWithRGB255(strings::extractColourComponents(details["colour"].string()), false, true);
  } else if (action == "topic-shape") {
    t->setShape(details["shape"].intValue(), false, true);
  } else if (action == "topic-font") {
    t->setFontSize(details["size"].floatValue(), false, true);
  } else if (action == "topic-width") {
    t->setWidth(details["size"].floatValue(), false, true);
  } else if (action == "topic-text-style") {
    t->setTextStyle(static_cast<std::uint32_t>(details["style"].integerValue()), false, true);
  } else if (action == "topic-callout") {
    t->setIsCallout(details["callout"].boolValue(), true);
    if (details.contains("refoldParent") && t->parentNode()) t->parentNode()->fold();
  } else if (action == "topic-float") {
    t->setIsFloating(details["floating"].boolValue(), true);
  } else if (action == "topic-boundary") {
    t->setHasBoundary(details["boundary"].boolValue(), true);
    t->getRoot()->recalcBoundaries();
  } else if (action == "topic-image") {
    const kit::Value& image = details["uuidImage"];
    t->setImage(image.isString() ? std::optional<std::string>(image.string()) : std::nullopt, true);
    // The image box changes the topic's size: its siblings and branch move with it.
    t->recalcLayoutRecursively(false, true, true, true, true);
    t->setNeedsDisplay(false);
    canvas_->requestRedraw();
    return;
  } else if (replayTaskOrIconRecord(t, action, details)) {
  } else {
    return;
  }
  t->recalcLayoutRecursively(false, true, false, false, false);
  t->setNeedsDisplayIfModified(true);
  canvas_->requestRedraw();
}

// ---- Commands ----------------------------------------------------------------------------------

// Scrolling belongs to the map screen, which is not built yet.
namespace {
// The scroll view that shows the canvas, when it is shown.
kit::ScrollView* mapScrollView(BigView* canvas) {
  return canvas ? dynamic_cast<kit::ScrollView*>(canvas->superview()) : nullptr;
}
// The least move of [lo, hi] that brings [from, to] inside it with a margin; a span larger than
// the room keeps its start in view.
float scrolledStart(float lo, float hi, float from, float to, float margin) {
  if (to - from > hi - lo - 2 * margin || from < lo + margin) return from - margin;
  if (to > hi - margin) return lo + (to + margin - hi);
  return lo;
}
}  // namespace

void PseudoMapViewController::ensureVisible(NodeView* topic, bool adjustForOversizeTopicsInY) {
  kit::ScrollView* scroll = mapScrollView(canvas_.get());
  if (!topic || !scroll) return;
  constexpr float kMargin = 20;
  const float z = scroll->zoomScale();
  const kit::Rect r = topic->getAdjustedNodeShapeFrame();
  // The part of the canvas on screen, in canvas points, above any keyboard.
  kit::Size room = scroll->bounds().size;
  if (kit::Window* w = scroll->window(); w && w->keyboard().isVisible()) room.height -= w->keyboard().height();
  const kit::Rect seen(scroll->contentOffset().x / z, scroll->contentOffset().y / z, room.width / z, room.height / z);
  kit::Point start = seen.origin;
  start.x = scrolledStart(seen.minX(), seen.maxX(), r.minX(), r.maxX(), kMargin);
  // A topic taller than the screen moves the map up and down only when asked to.
  if (r.height() <= seen.height() - 2 * kMargin || adjustForOversizeTopicsInY)
    start.y = scrolledStart(seen.minY(), seen.maxY(), r.minY(), r.maxY(), kMargin);
  if (start != seen.origin) scroll->setContentOffset(kit::Point(start.x * z, start.y * z), true);
}

void PseudoMapViewController::centreScreenOnRootNode() {
  kit::ScrollView* scroll = mapScrollView(canvas_.get());
  NodeView* root = canvas_ ? canvas_->rootNode() : nullptr;
  if (!scroll || !root) return;
  const kit::Point c = root->getAdjustedNodeCenter();
  const float z = scroll->zoomScale();
  const kit::Size size = scroll->bounds().size;
  scroll->setContentOffset(kit::Point(c.x * z - size.width / 2, c.y * z - size.height / 2), true);
  canvas_->showFloatingNodeGuides();
}
void PseudoMapViewController::followLinkForSelectedNode() {
  NodeView* s = canvas_->selectedNode();
  if (!s || !linkOpener_) return;
  const LinkTarget target = LinkTarget::forLink(s->strLink());
  if (target.kind == LinkTarget::Kind::Address) linkOpener_->openAddress(target.value);
  else if (target.kind == LinkTarget::Kind::Map) linkOpener_->openMap(target.value);
}

void PseudoMapViewController::refreshBrightness(NodeView* topic) {
  int criteria = 0;
  if (!settingOr("ShowCallouts", true)) criteria += 8;
  if (!settingOr("ShowCompletedTasks", true)) criteria += 4;
  if (!settingOr("ShowUnfocusedTopics", true)) criteria += 2;
  canvas_->setBrightnessForCriteria(criteria, topic);
}

NodeView* PseudoMapViewController::onNewSiblingNodeBelow(const std::string& text) {
  return canvas_->createWithUndo([&] { return canvas_->createAndEditNewSiblingOf(canvas_->selectedNode(), false, text); });
}

NodeView* PseudoMapViewController::onNewCalloutSiblingNodeBelow(const std::string& text) {
  return canvas_->createWithUndo([&] { return canvas_->createAndEditNewSiblingCallout(canvas_->selectedNode(), text); });
}

NodeView* PseudoMapViewController::onNewChildNode(const std::string& text) {
  return canvas_->createWithUndo([&] { return canvas_->createAndEditNewChildOf(canvas_->selectedNode(), text); });
}

NodeView* PseudoMapViewController::onNewChildLevelNode(const std::string& text) {
  return canvas_->createWithUndo([&] { return canvas_->createAndEditNewChildLevelOf(canvas_->selectedNode(), text); });
}

void PseudoMapViewController::onDeleteNode() { canvas_->deleteTopicThenEditParent(); }

void PseudoMapViewController::onSiriDictateListDetectTriggered(const std::vector<std::string>& items) {
  NodeView* selected = canvas_->selectedNode();
  if (!selected) return;
  if (selected->isRoot() || selected->isCallout()) {
    FloatOver::displayModal(false, nullptr, FloatOver::kCentre, kSiriListRefusal, 22, FloatOver::kTextOnly, -1);
    return;
  }
  if (selected->isInPlaceEdit()) selected->inPlaceEdit(false);
  if (kit::View* crosshair = canvas_->crosshairButton()) crosshair->setAlpha(0);
  NodeView* previous = selected;
  for (const std::string& item : items) {
    std::string text = kit::trim(item, kit::CharacterSet::whitespaceAndNewline());
    if (text.empty()) continue;
    NodeView* n = canvas_->createWithUndo([&]() -> NodeView* {
      NodeView* made = canvas_->createSiblingOf(previous, false);
      if (!made) return nullptr;
      made->setStrName(text);
      made->cloneAttributes(460, previous, 0, false);
      made->recalcLayoutRecursively(false, true, true, true, false);
      return made;
    });
    if (!n) break;
    previous = n;
  }
  canvas_->setSelectedNode(selected, true);
  selected->inPlaceEdit(true);
}

bool PseudoMapViewController::isKeyboardVisible() {
  kit::Window* w = canvas_->window();
  return w && w->keyboard().isVisible();
}
