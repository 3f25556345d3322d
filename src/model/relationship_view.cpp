#include "model/relationship_view.h"

#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/graphics/context.h"
#include "model/document_services.h"
#include "model/node_view.h"

RelationshipView::RelationshipView(const kit::Rect& frame, DocumentServices* controller)
    : kit::View(frame), parentController_(controller) {
  iID_ = parentController_ ? parentController_->getNextNumericID() : 0;
  uuid_ = GlobalHelpers::GetUUID();
  setBackgroundColor(kit::Color::clear());
  setOpaque(false);
  controlPointIcon_ = kit::imageNamed("control-point.png");
  kit::Size size = controlPointIcon_ ? controlPointIcon_->size() : kit::Size();
  setBounds(kit::Rect(0, 0, size.width, size.height));
}

RelationshipView::~RelationshipView() {
  setEnd1(nullptr);
  setEnd2(nullptr);
}

void RelationshipView::drawRect(kit::GraphicsContext& context, const kit::Rect&) {
  if (!controlPointIcon_) return;
  kit::Size size = controlPointIcon_->size();
  context.drawImage(*controlPointIcon_, kit::Rect(0, 0, size.width, size.height));
}

void RelationshipView::setEnd1(NodeView* topic) {
  if (end1_) end1_->removeRelationship(this);
  end1_ = topic;
  if (end1_) end1_->addRelationship(this);
}

void RelationshipView::setEnd2(NodeView* topic) { end2_ = topic; }

void RelationshipView::pushUndo(const char* action, kit::Value details) {
  if (parentController_) parentController_->pushUndoRedoOperation(action, details);
}

void RelationshipView::setEnd1ArrowType(int type) {
  pushUndo("relationship-end1", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"type", arrowTypeEnd1_}}));
  arrowTypeEnd1_ = type;
}

void RelationshipView::setEnd2ArrowType(int type) {
  pushUndo("relationship-end2", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"type", arrowTypeEnd2_}}));
  arrowTypeEnd2_ = type;
}

void RelationshipView::setColourWithRGB255(RGB255 colour, bool withUndo) {
  if (withUndo) pushUndo("relationship-colour", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"colour", getColourAsString()}}));
  rgb255_ = colour;
}

std::uint32_t RelationshipView::getColourAsInteger() const { return RGB255ToARGBInteger(rgb255_); }

std::string RelationshipView::getColourAsString() const { return GlobalHelpers::getColourAsStringWithRGB255(rgb255_); }

kit::Value RelationshipView::centreEntry() const {
  return kit::Value(kit::Dictionary{{"relationship", uuid_}, {"centre", center()}});
}

void RelationshipView::moveByX(float dx, float dy) {
  kit::Point c = center();
  setCenter(kit::Point(c.x + dx, c.y + dy));
}

void RelationshipView::flipAboutY(const NodeView* topic) {
  if (!topic) return;
  kit::Point c = center();
  setCenter(kit::Point(2 * topic->center().x - c.x, c.y));
}

int RelationshipView::getBranchAffinityWith(NodeView* topic) const {
  if (!topic) return 0;
  if (topic->parentNode()) {
    auto inBranch = [topic](const NodeView* end) { return end && (end == topic || end->isaChildOf(topic)); };
    return (inBranch(end1_) ? 1 : 0) + (inBranch(end2_) ? 1 : 0);
  }
  NodeView* r1 = end1_ ? end1_->getRoot() : nullptr;
  NodeView* r2 = end2_ ? end2_->getRoot() : nullptr;
  if (r1 != topic && r2 != topic) return 0;
  return r1 == r2 ? 2 : 1;
}

bool RelationshipView::areBothEndsVisible() const {
  return end1_ && end2_ && end1_->alpha() > 0 && end2_->alpha() > 0;
}

bool RelationshipView::areBothEndsFullyVisible() const {
  return end1_ && end2_ && end1_->alpha() == 1.0f && end2_->alpha() == 1.0f;
}
