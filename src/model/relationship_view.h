// A relationship: a curved arrow between two topics anywhere in a map. The view is the curve's
// draggable control point (its centre, in canvas coordinates) and shows only the control-point
// image; the canvas owns it, draws the curve through it and keeps the map's list.
//
// The ends are plain pointers: whoever removes a topic removes the relationships with an end on
// it first (the canvas does). A relationship is listed at its start topic only.
#pragma once

#include <cstdint>
#include <string>

#include "helpers/colour_types.h"
#include "kit/core/geometry.h"
#include "kit/core/value.h"
#include "kit/graphics/image.h"
#include "kit/ui/view.h"

class DocumentServices;
class NodeView;

// Arrow style of one end.
namespace RelationshipEnd {
constexpr int None = 0;
constexpr int Arrow = 1;
constexpr int Circle = 2;
}  // namespace RelationshipEnd

class RelationshipView : public kit::View {
 public:
  // Takes the map's next numeric id and a new UUID; green, arrows at both ends, sized to the
  // control-point image. Undo records go to controller (may be null: nothing is recorded).
  RelationshipView(const kit::Rect& frame, DocumentServices* controller);
  // Takes itself off its start topic's list.
  ~RelationshipView() override;

  void drawRect(kit::GraphicsContext& context, const kit::Rect& rect) override;

  // ---- Identity ----
  std::int32_t iID() const { return iID_; }
  void setIID(std::int32_t id) { iID_ = id; }
  const std::string& uuid() const { return uuid_; }
  void setUuid(std::string uuid) { uuid_ = std::move(uuid); }
  DocumentServices* parentController() const { return parentController_; }
  const kit::ImageRef& controlPointIcon() const { return controlPointIcon_; }

  // ---- Ends ----
  NodeView* end1() const { return end1_; }
  NodeView* end2() const { return end2_; }
  // Moves the relationship from the old start topic's list to the new one's.
  void setEnd1(NodeView* topic);
  // No list is touched.
  void setEnd2(NodeView* topic);

  // ---- Arrow styles and colour ----
  int arrowTypeEnd1() const { return arrowTypeEnd1_; }
  int arrowTypeEnd2() const { return arrowTypeEnd2_; }
  void setArrowTypeEnd1(int type) { arrowTypeEnd1_ = type; }
  void setArrowTypeEnd2(int type) { arrowTypeEnd2_ = type; }
  // Push "relationship-end1" / "relationship-end2" {"uuid", "type": the previous type}, then set.
  void setEnd1ArrowType(int type);
  void setEnd2ArrowType(int type);
  RGB255 rgb255() const { return rgb255_; }
  void setRgb255(RGB255 colour) { rgb255_ = colour; }
  // With undo pushes "relationship-colour" {"uuid", "colour": the previous colour as RRGGBB}.
  void setColourWithRGB255(RGB255 colour, bool withUndo);
  // 0xFFRRGGBB from the truncated components.
  std::uint32_t getColourAsInteger() const;
  // "RRGGBB", upper case.
  std::string getColourAsString() const;

  // ---- Geometry and queries ----
  // {"relationship": uuid, "centre": the control point}, as position snapshots hold it.
  kit::Value centreEntry() const;
  void moveByX(float dx, float dy);
  // Mirrors the control point about the vertical line through the topic's centre.
  void flipAboutY(const NodeView* topic);
  // How many of the two ends lie in the topic's branch (0, 1 or 2). For the central topic (no
  // parent) an end counts when its root is the central topic: ends under floating topics do not.
  int getBranchAffinityWith(NodeView* topic) const;
  // Both ends present with alpha above 0 / alpha exactly 1.
  bool areBothEndsVisible() const;
  bool areBothEndsFullyVisible() const;

 private:
  friend class NodeView;  // keeps end1Slot_
  void pushUndo(const char* action, kit::Value details);

  DocumentServices* parentController_ = nullptr;
  std::int32_t iID_ = 0;
  std::string uuid_;
  NodeView* end1_ = nullptr;
  std::size_t end1Slot_ = 0;  // where end1_'s list holds this, so that leaving it takes no search
  NodeView* end2_ = nullptr;
  kit::ImageRef controlPointIcon_;
  int arrowTypeEnd1_ = RelationshipEnd::Arrow;
  int arrowTypeEnd2_ = RelationshipEnd::Arrow;
  RGB255 rgb255_{0, 255, 0};
};
