// Display attributes resolved from own values, the theme and fixed defaults; the style setters
// with their undo records; style copying; position snapshots.
#include <algorithm>

#include "helpers/global_helpers_colour.h"
#include "helpers/strings.h"
#include "model/app_services.h"
#include "model/node_view.h"

namespace {

// The pale fill shown inside a topic: the display colour with dark colours lifted to a value of
// 0.6 and the saturation cut by 70 per cent.
RGB1 paleFill(RGB255 c) {
  HSV hsv = RGBToHSV(RGB255ToUnit(c));
  if (HSVIsDark(hsv)) hsv.v = 0.6f;
  hsv = HSVReduceSaturation(hsv, 70.0f);
  return HSVToRGB1(hsv);
}

// What the map theme answers for a topic's level. Without a theme every answer is zero. The
// theme class joins here (its level is the topic's getNumberOfAncestors, asked only then, so
// that a map without a theme never walks up the tree); until then no controller holds one.
struct LevelStyle {
  RGB255 fill{0, 0, 0}, line{0, 0, 0};
  int shape = 0, width = 0, fontSize = 0;
};
LevelStyle themeLevel(const NodeView*) { return LevelStyle{}; }

template <typename F>
void forBranch(NodeView* top, bool recursive, F f) {
  std::vector<NodeView*> stack{top};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    f(n);  // parents before children
    if (!recursive) break;
    const auto& kids = n->childNodes();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(it->get());
  }
}

}  // namespace

void NodeView::evaluateDisplayAttributes(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    n->_evaluateDisplayColour(false);
    n->_evaluateDisplayShape(false);
    n->_evaluateDisplayFontSize(false);
    n->_evaluateDisplayWidth(false);
  });
}

void NodeView::_evaluateDisplayColour(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    RGB255 c = n->colour255_;
    bool root = n->isRoot();
    if (RGB255IsDefault(c) && AppServices::rainbowFlag() && !root) {
      NodeView* p = n->parentNode_;
      c = p->isRoot() ? RGB255FromUnit(GlobalHelpers::calculateColourWheelColourForPoint(n->center(), p->center()))
                      : p->displayColour255_;
    }
    LevelStyle theme = themeLevel(n);
    if (RGB255IsDefault(c) && !RGB255IsWhite(theme.fill)) c = theme.fill;
    if (RGB255IsDefault(c) && !RGB255IsWhite(theme.line)) c = theme.line;
    if (RGB255IsDefault(c) && !root && n->parentController_ && n->parentController_->getInheritColour())
      c = n->parentNode_->displayColour255_;
    n->setDisplayColour(c);
  });
}

void NodeView::_evaluateDisplayShape(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    std::int32_t s = n->shape_;
    bool root = n->isRoot();
    if (s == TopicShape::Unset && root && n->uuidImage_ && !n->uuidImage_->empty()) s = TopicShape::Line;
    if (s == TopicShape::Unset) s = themeLevel(n).shape;
    if (s == TopicShape::Unset) {
      if (!root && n->parentController_ && n->parentController_->getInheritShape())
        s = n->parentNode_->displayShape_;
      if (s == TopicShape::Unset) s = root ? TopicShape::Oval : TopicShape::RoundedRectangle;
    }
    n->setDisplayShape(s);
  });
}

void NodeView::_evaluateDisplayFontSize(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    float size = n->fontSize_;
    if (size == 0) size = float(themeLevel(n).fontSize);
    if (size == 0) size = n->isRoot() ? 18.0f : 14.0f;
    n->setDisplayFontSize(size);
  });
}

void NodeView::_evaluateDisplayWidth(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    float w = n->width_;
    if (w == 0) w = float(themeLevel(n).width);
    if (w == 0) w = 300.0f;
    n->setDisplayWidth(w);
  });
}

void NodeView::setDisplayColour(RGB255 c) {
  if (RGB255EqualToColour(c, displayColour255_)) return;
  displayColour255_ = c;
  nodeModTally_ |= NodeModTally::Colour;
  cachedFillColour_ = paleFill(c);
}

void NodeView::setDisplayShape(std::int32_t s) {
  if (s != displayShape_) nodeModTally_ |= NodeModTally::Shape;
  displayShape_ = s;
}

void NodeView::setDisplayFontSize(float size) {
  if (size != displayFontSize_) nodeModTally_ |= NodeModTally::FontSize;
  displayFontSize_ = size;
}

void NodeView::setDisplayWidth(float width) {
  if (width != displayWidth_) nodeModTally_ |= NodeModTally::Width;
  displayWidth_ = width;
}

std::string NodeView::getColourAsString() const { return GlobalHelpers::getColourAsStringWithRGB255(colour255_); }
std::string NodeView::getDisplayColourAsString() const {
  return GlobalHelpers::getColourAsStringWithRGB255(displayColour255_);
}

void NodeView::setColourInternal(RGB255 colour, bool applyToChildren, bool withUndo) {
  if (withUndo) pushUndo("topic-colour", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"colour", getColourAsString()}}));
  colour255_ = colour;
  if (!applyToChildren) return;
  for (auto& c : childNodes_)
    if (!c->isFloating_ && !c->isCallout_) c->setColourInternal(colour, true, withUndo);
}

void NodeView::setShapeInternal(std::int32_t shape, bool applyToChildren, bool withUndo) {
  if (withUndo) pushUndo("topic-shape", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"shape", shape_}}));
  shape_ = shape;
  if (!applyToChildren) return;
  for (auto& c : childNodes_)
    if (!c->isFloating_ && !c->isCallout_) c->setShapeInternal(shape, true, withUndo);
}

void NodeView::setFontSizeInternal(float size, bool applyToChildren, bool withUndo) {
  if (withUndo) pushUndo("topic-font", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"size", fontSize_}}));
  fontSize_ = size;
  if (!applyToChildren) return;
  for (auto& c : childNodes_)
    if (!c->isFloating_ && !c->isCallout_) c->setFontSizeInternal(size, true, withUndo);
}

void NodeView::setWidthInternal(float width, bool applyToChildren, bool withUndo) {
  if (withUndo) pushUndo("topic-width", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"size", width_}}));
  width_ = width;
  if (!applyToChildren) return;
  for (auto& c : childNodes_)
    if (!c->isFloating_ && !c->isCallout_) c->setWidthInternal(width, true, withUndo);
}

void NodeView::setColourWithRGB255(RGB255 colour, bool applyToChildren, bool withUndo) {
  setColourInternal(colour, applyToChildren, withUndo);
  evaluateDisplayColourForBranch();
}

void NodeView::setShape(std::int32_t shape, bool applyToChildren, bool withUndo) {
  setShapeInternal(shape, applyToChildren, withUndo);
  evaluateDisplayShapeForBranch();
}

void NodeView::setFontSize(float size, bool applyToChildren, bool withUndo) {
  setFontSizeInternal(size, applyToChildren, withUndo);
  evaluateDisplayFontSizeForBranch();
}

void NodeView::setWidth(float width, bool applyToChildren, bool withUndo) {
  setWidthInternal(width, applyToChildren, withUndo);
  evaluateDisplayWidthForBranch();
}

void NodeView::setTextStyle(std::uint32_t style, bool applyToChildren, bool withUndo) {
  if (style != textStyle_) {
    if (withUndo)
      pushUndo("topic-text-style", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"style", textStyle_}}));
    textStyle_ = style;
    nodeModTally_ |= NodeModTally::TextStyle;
  }
  if (!applyToChildren) return;
  for (auto& c : childNodes_)
    if (!c->isFloating_ && !c->isCallout_) c->setTextStyle(style, true, withUndo);
}

kit::Value NodeView::dumpToDictionary(std::uint32_t mask) const {
  kit::Value d{kit::Dictionary{}};
  if (mask & NodeModTally::Colour) d.set("_colour", getColourAsString());
  if (mask & NodeModTally::Shape) d.set("_shape", shape_);
  if (mask & NodeModTally::FontSize) d.set("_fontSize", static_cast<int>(fontSize_));
  if (mask & NodeModTally::Width) d.set("_width", static_cast<int>(width_));
  if (mask & NodeModTally::TextStyle) d.set("_textStyle", textStyle_);
  return d;
}

void NodeView::copyAttributes(const kit::Value& dict, std::uint32_t mask, std::uint32_t scope, bool withUndo) {
  if (mask & NodeModTally::Colour) {
    const kit::Value& c = dict["_colour"];
    if (c.isString() && !c.string().empty()) setColourWithRGB255(strings::extractColourComponents(c.string()), false, withUndo);
  }
  if ((mask & NodeModTally::Shape) && dict.contains("_shape")) setShape(dict["_shape"].intValue(), false, withUndo);
  if ((mask & NodeModTally::TextStyle) && dict.contains("_textStyle"))
    setTextStyle(static_cast<std::uint32_t>(dict["_textStyle"].integerValue()), false, withUndo);
  if ((mask & NodeModTally::Width) && dict.contains("_width"))
    setWidth(static_cast<float>(dict["_width"].integerValue()), false, withUndo);
  if ((mask & NodeModTally::FontSize) && dict.contains("_fontSize"))
    setFontSize(static_cast<float>(dict["_fontSize"].integerValue()), false, withUndo);

  if ((scope & 0x4) && !isRoot() && !isCallout_) {
    for (auto& c : parentNode_->childNodes_)
      if (c.get() != this && !c->isFloating_ && !c->isCallout_) c->copyAttributes(dict, mask, scope & 0x2, withUndo);
  }
  if (scope & 0x2) {
    for (auto& c : childNodes_)
      if (!c->isFloating_ && !c->isCallout_) c->copyAttributes(dict, mask, 0x2, withUndo);
  }
}

void NodeView::cloneAttributes(std::uint32_t mask, NodeView* source, std::uint32_t scope, bool withUndo) {
  if (!source) return;
  copyAttributes(source->dumpToDictionary(mask), mask, scope, withUndo);
}

kit::Value NodeView::getNodePositionAsDict() const {
  return kit::Value(kit::Dictionary{{"uuid", uuid_}, {"centre", center()}});
}

kit::Value NodeView::snapshotNodePositions() const {
  kit::Array list;
  _snapshotNodePositions(list);
  return kit::Value(std::move(list));
}

void NodeView::_snapshotNodePositions(kit::Array& into) const {
  std::vector<const NodeView*> stack{this};
  while (!stack.empty()) {
    const NodeView* n = stack.back();
    stack.pop_back();
    into.push_back(n->getNodePositionAsDict());
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
  }
}

void NodeView::setNodePositionFromDict(const kit::Value& dict, bool includingChildren) {
  moveTo(dict["centre"].point(), includingChildren);
}
