// Display attributes resolved from own values, the theme and fixed defaults; the style setters
// with their undo records; style copying; position snapshots.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "helpers/global_helpers_colour.h"
#include "helpers/strings.h"
#include "kit/typography/font.h"
#include "model/app_services.h"
#include "model/map_theme.h"
#include "model/node_view.h"
#include "model/relationship_view.h"

namespace {

// The pale fill shown inside a topic: the display colour with dark colours lifted to a value of
// 0.6 and the saturation cut by 70 per cent. Topics of a map share a handful of colours, mostly
// met one after another, so the last answer is kept.
RGB1 paleFill(RGB255 c) {
  thread_local bool known = false;
  thread_local RGB255 lastColour;
  thread_local RGB1 lastFill;
  if (known && RGB255EqualToColour(c, lastColour)) return lastFill;
  HSV hsv = RGBToHSV(RGB255ToUnit(c));
  if (HSVIsDark(hsv)) hsv.v = 0.6f;
  hsv = HSVReduceSaturation(hsv, 70.0f);
  lastFill = HSVToRGB1(hsv);
  lastColour = c;
  known = true;
  return lastFill;
}

// What the map theme answers for a topic's level. Without a theme every answer is zero. The
// count of ancestors stops at the theme's level limit (five steps for the usual five levels),
// past which every level answers the absent values; the theme has read its levels in advance.
struct LevelStyle {
  RGB255 fill{0, 0, 0}, line{0, 0, 0};
  int shape = 0, width = 0, fontSize = 0;
};
LevelStyle themeLevel(const NodeView* n) {
  DocumentServices* doc = n->parentController();
  const MapTheme* theme = doc ? doc->getTheme() : nullptr;
  if (!theme) return LevelStyle{};
  const int limit = theme->levelLimit();
  int level = 0;
  for (const NodeView* t = n; !t->isRoot() && level < limit; t = t->parentNode()) ++level;
  const MapTheme::LevelValues& v = theme->cachedValuesForLevel(level);
  return LevelStyle{v.fillColour, v.lineColour, v.shape, v.width, v.fontSize};
}

// The theme's answers for one topic, asked at most once however many values need them.
class ThemeAnswers {
 public:
  explicit ThemeAnswers(const NodeView* n) : topic_(n) {}
  const LevelStyle& get() {
    if (!read_) {
      style_ = themeLevel(topic_);
      read_ = true;
    }
    return style_;
  }

 private:
  const NodeView* topic_;
  bool read_ = false;
  LevelStyle style_;
};

// Each display value: the own value, else the theme's, else the inherited one, else the default.
RGB255 displayColourOf(const NodeView* n, bool root, ThemeAnswers& theme) {
  RGB255 c = n->colour255();
  if (!RGB255IsDefault(c)) return c;
  // Each step starts from an unset colour.
  if (!root && AppServices::rainbowFlag()) {
    const NodeView* p = n->parentNode();
    c = p->isRoot() ? RGB255FromUnit(GlobalHelpers::calculateColourWheelColourForPoint(n->center(), p->center()))
                    : p->getDisplayColour();
    if (!RGB255IsDefault(c)) return c;
  }
  const LevelStyle& level = theme.get();
  if (!RGB255IsWhite(level.fill)) {
    c = level.fill;
    if (!RGB255IsDefault(c)) return c;
  }
  if (!RGB255IsWhite(level.line)) {
    c = level.line;
    if (!RGB255IsDefault(c)) return c;
  }
  if (!root) {
    DocumentServices* doc = n->parentController();
    if (doc && doc->getInheritColour()) c = n->parentNode()->getDisplayColour();
  }
  return c;
}

std::int32_t displayShapeOf(const NodeView* n, bool root, ThemeAnswers& theme) {
  std::int32_t s = n->getShape();
  if (s == TopicShape::Unset && root) {
    const std::optional<std::string>& image = n->getImage();
    if (image && !image->empty()) s = TopicShape::Line;
  }
  if (s != TopicShape::Unset) return s;
  s = theme.get().shape;
  if (s != TopicShape::Unset) return s;
  if (!root) {
    DocumentServices* doc = n->parentController();
    if (doc && doc->getInheritShape()) s = n->parentNode()->getDisplayShape();
  }
  if (s == TopicShape::Unset) s = root ? TopicShape::Oval : TopicShape::RoundedRectangle;
  return s;
}

float displayFontSizeOf(const NodeView* n, bool root, ThemeAnswers& theme) {
  float size = n->getFontSize();
  if (size == 0) size = float(theme.get().fontSize);
  if (size == 0) size = root ? 18.0f : 14.0f;
  return size;
}

float displayWidthOf(const NodeView* n, ThemeAnswers& theme) {
  float w = n->getWidth();
  if (w == 0) w = float(theme.get().width);
  if (w == 0) w = 300.0f;
  return w;
}

// Pre-order, parents before children. A single topic (the common case while loading) needs no
// stack; a branch is walked iteratively so deep outlines are safe.
template <typename F>
void forBranch(NodeView* top, bool recursive, F f) {
  f(top);
  if (!recursive || top->childNodes().empty()) return;
  std::vector<NodeView*> stack;
  auto pushChildren = [&stack](NodeView* n) {
    const auto& kids = n->childNodes();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(it->get());
  };
  pushChildren(top);
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    f(n);
    pushChildren(n);
  }
}

}  // namespace

void NodeView::evaluateDisplayAttributes(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    const bool root = n->isRoot();
    ThemeAnswers theme(n);
    n->setDisplayColour(displayColourOf(n, root, theme));
    n->setDisplayShape(displayShapeOf(n, root, theme));
    n->setDisplayFontSize(displayFontSizeOf(n, root, theme));
    n->setDisplayWidth(displayWidthOf(n, theme));
  });
}

void NodeView::_evaluateDisplayColour(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    ThemeAnswers theme(n);
    n->setDisplayColour(displayColourOf(n, n->isRoot(), theme));
  });
}

void NodeView::_evaluateDisplayShape(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    ThemeAnswers theme(n);
    n->setDisplayShape(displayShapeOf(n, n->isRoot(), theme));
  });
}

void NodeView::_evaluateDisplayFontSize(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    ThemeAnswers theme(n);
    n->setDisplayFontSize(displayFontSizeOf(n, n->isRoot(), theme));
  });
}

void NodeView::_evaluateDisplayWidth(bool recursive) {
  forBranch(this, recursive, [](NodeView* n) {
    ThemeAnswers theme(n);
    n->setDisplayWidth(displayWidthOf(n, theme));
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
  if (inPlaceEditTextView_) updateInplaceTextViewAttributes();
}

void NodeView::setDisplayWidth(float width) {
  if (width != displayWidth_) nodeModTally_ |= NodeModTally::Width;
  displayWidth_ = width;
}

std::string NodeView::getColourAsString() const { return GlobalHelpers::getColourAsStringWithRGB255(colour255_); }
std::string NodeView::getDisplayColourAsString() const {
  return GlobalHelpers::getColourAsStringWithRGB255(displayColour255_);
}

namespace {

// Per-thread buffers reused by the walks below, which run for every topic of a map. A walk
// started from within a callback stacks its entries above the caller's and drops them before
// returning, so each walk keeps to its own range past the size it found on entry and reads it
// by index (a nested walk may reallocate the buffer).
std::vector<NodeView*>& walkBuffer() {
  thread_local std::vector<NodeView*> buffer;
  return buffer;
}

// Pre-order over the topic and, when asked, its branch without callout and floating children
// and their branches: the reach of applyToChildren. Iterative, so deep outlines are safe.
template <typename F>
void forApplyBranch(NodeView* top, bool applyToChildren, F f) {
  if (!applyToChildren) {
    f(top);
    return;
  }
  std::vector<NodeView*>& stack = walkBuffer();
  const std::size_t base = stack.size();
  stack.push_back(top);
  while (stack.size() > base) {
    NodeView* n = stack.back();
    stack.pop_back();
    f(n);
    const auto& kids = n->childNodes();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it)
      if (!(*it)->isFloating() && !(*it)->isCallout()) stack.push_back(it->get());
  }
}

// The children as they stand before the first call, in order.
template <typename F>
void forNormalChildren(NodeView* parent, F f) {
  std::vector<NodeView*>& kids = walkBuffer();
  const std::size_t base = kids.size();
  for (const auto& c : parent->childNodes())
    if (!c->isFloating() && !c->isCallout()) kids.push_back(c.get());
  const std::size_t end = kids.size();
  for (std::size_t i = base; i < end; ++i) f(kids[i]);
  kids.resize(base);
}

}  // namespace

void NodeView::setColourInternal(RGB255 colour, bool applyToChildren, bool withUndo) {
  forApplyBranch(this, applyToChildren, [&](NodeView* n) {
    if (withUndo)
      n->pushUndo("topic-colour", kit::Value(kit::Dictionary{{"uuid", n->uuid_}, {"colour", n->getColourAsString()}}));
    n->colour255_ = colour;
  });
}

void NodeView::setShapeInternal(std::int32_t shape, bool applyToChildren, bool withUndo) {
  forApplyBranch(this, applyToChildren, [&](NodeView* n) {
    if (withUndo) n->pushUndo("topic-shape", kit::Value(kit::Dictionary{{"uuid", n->uuid_}, {"shape", n->shape_}}));
    n->shape_ = shape;
  });
}

void NodeView::setFontSizeInternal(float size, bool applyToChildren, bool withUndo) {
  forApplyBranch(this, applyToChildren, [&](NodeView* n) {
    if (withUndo) n->pushFontSizeUndo();
    n->fontSize_ = size;
  });
}

void NodeView::setWidthInternal(float width, bool applyToChildren, bool withUndo) {
  forApplyBranch(this, applyToChildren, [&](NodeView* n) {
    if (withUndo) n->pushWidthUndo();
    n->width_ = width;
  });
}

void NodeView::pushFontSizeUndo() {
  pushUndo("topic-font", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"size", fontSize_}}));
}

void NodeView::pushWidthUndo() {
  pushUndo("topic-width", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"size", width_}}));
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
  forApplyBranch(this, applyToChildren, [&](NodeView* n) {
    if (style == n->textStyle_) return;
    if (withUndo)
      n->pushUndo("topic-text-style", kit::Value(kit::Dictionary{{"uuid", n->uuid_}, {"style", n->textStyle_}}));
    n->textStyle_ = style;
    n->nodeModTally_ |= NodeModTally::TextStyle;
    n->updateInplaceTextViewAttributes();
  });
}

void NodeView::setColourForChildrenWithRGB255(RGB255 colour, bool applyToDescendents, bool withUndo) {
  forNormalChildren(this, [&](NodeView* c) { c->setColourWithRGB255(colour, applyToDescendents, withUndo); });
}

void NodeView::setShapeForChildren(std::int32_t shape, bool applyToDescendents, bool withUndo) {
  forNormalChildren(this, [&](NodeView* c) { c->setShape(shape, applyToDescendents, withUndo); });
}

void NodeView::setFontSizeForChildren(float size, bool applyToDescendents, bool withUndo) {
  forNormalChildren(this, [&](NodeView* c) { c->setFontSize(size, applyToDescendents, withUndo); });
}

void NodeView::setWidthForChildren(float width, bool applyToDescendents, bool withUndo) {
  forNormalChildren(this, [&](NodeView* c) { c->setWidth(width, applyToDescendents, withUndo); });
}

void NodeView::setTextStyleForChildren(std::uint32_t style, bool applyToDescendents, bool withUndo) {
  forNormalChildren(this, [&](NodeView* c) { c->setTextStyle(style, applyToDescendents, withUndo); });
}

void NodeView::copyShapeFrom(const NodeView* other, bool applyToChildren, bool withUndo) {
  if (other) setShape(other->shape_, applyToChildren, withUndo);
}

void NodeView::setDisplayColourWithRGB255(RGB255 colour, bool applyToChildren) {
  // Unlike the own-value setters, this reaches callout and floating branches too.
  forBranch(this, applyToChildren, [&](NodeView* n) {
    if (RGB255IsDefault(n->colour255_)) n->setDisplayColour(colour);
  });
}

std::uint32_t NodeView::getColourAsInteger() const { return RGB255ToARGBInteger(colour255_); }
std::uint32_t NodeView::getDisplayColourAsInteger() const { return RGB255ToARGBInteger(displayColour255_); }

void NodeView::setColourFromString(std::string_view text) {
  if (text.empty()) return;
  setColourWithRGB255(strings::extractColourComponents(text), false, false);
}

void NodeView::setColourFromInteger(std::uint32_t argb) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%.8x", static_cast<unsigned>(argb));
  setColourFromString(buf);
}

std::set<std::string> NodeView::buildColourSet() const {
  std::set<std::string> colours;
  std::vector<const NodeView*> stack{this};
  while (!stack.empty()) {
    const NodeView* n = stack.back();
    stack.pop_back();
    if (!RGB255IsStandard(n->colour255_)) colours.insert(n->getColourAsString());
    for (const auto& c : n->childNodes_) stack.push_back(c.get());
  }
  return colours;
}

std::set<std::string> NodeView::buildDisplayColourSet(bool ignoreHidden) const {
  std::set<std::string> colours;
  std::vector<const NodeView*> stack{this};
  while (!stack.empty()) {
    const NodeView* n = stack.back();
    stack.pop_back();
    if (ignoreHidden && n->alpha() < 1.0f) continue;
    colours.insert(n->getDisplayColourAsString());
    for (const auto& c : n->childNodes_) stack.push_back(c.get());
  }
  return colours;
}

kit::Font NodeView::getFont() const {
  if (displayFontSize_ == 0) return kit::Font::systemFont(isRoot() ? 18.0f : 14.0f);
  bool bold = (textStyle_ & TopicTextStyle::Bold) != 0;
  bool italic = (textStyle_ & TopicTextStyle::Italic) != 0;
  if (bold && italic) {
    if (std::optional<kit::Font> f = kit::Font::fontWithName("Helvetica-BoldOblique", displayFontSize_)) return *f;
  }
  if (bold) return kit::Font::boldSystemFont(displayFontSize_);
  if (italic) return kit::Font::italicSystemFont(displayFontSize_);
  return kit::Font::systemFont(displayFontSize_);
}

void NodeView::adjustFontSizeBy(float delta) {
  // Ties go away from zero (14.5 is 15, raised to 16), so a half step still changes the size.
  float size = std::round(displayFontSize_ + delta);
  if (!std::isfinite(size)) return;
  if (std::fmod(size, 2.0f) != 0) size += 1;
  size = std::clamp(size, 10.0f, 100.0f);
  setFontSize(size, false, false);
}

void NodeView::beginAdjustWidth() {
  setWidth(textBoxRect_.width(), false, false);
  beingResized_ = true;
}

void NodeView::adjustWidthBy(float delta) {
  float width = displayWidth_ + delta;
  if (std::isnan(width)) return;
  setWidth(std::max(width, 20.0f), false, false);
}

void NodeView::endAdjustWidth() { beingResized_ = false; }

kit::Value NodeView::dumpToDictionary(std::uint32_t mask) const {
  kit::Value d{kit::Dictionary{}};
  if (mask & NodeModTally::Colour) d.set("_colour", getColourAsString());
  if (mask & NodeModTally::Shape) d.set("_shape", shape_);
  if (mask & NodeModTally::Boundary) d.set("_boundary", hasBoundary_);
  if (mask & NodeModTally::Callout) d.set("_callout", isCallout_);
  if (mask & NodeModTally::FontSize) d.set("_fontSize", static_cast<int>(fontSize_));
  if (mask & NodeModTally::Width) d.set("_width", static_cast<int>(width_));
  if (mask & NodeModTally::TextStyle) d.set("_textStyle", textStyle_);
  if (mask & NodeModTally::Progress) d.set("_progress", percentComplete_);
  const Rare& r = rare();
  if ((mask & NodeModTally::StartDate) && r.startDate) d.set("_startDate", *r.startDate);
  if ((mask & NodeModTally::DueDate) && r.dueDate) d.set("_dueDate", *r.dueDate);
  if ((mask & NodeModTally::Effort) && r.effort) d.set("_effort", *r.effort);
  if (mask & NodeModTally::Resources) {
    if (std::optional<std::string> names = getResourceNames()) d.set("_resources", *names);
  }
  if (mask & NodeModTally::Icons) {
    if (r.icon1) d.set("_icon1", *r.icon1);
    if (r.icon2) d.set("_icon2", *r.icon2);
  }
  return d;
}

namespace {
std::optional<kit::Date> optionalDate(const kit::Value& v) {
  if (v.isDate()) return v.date();
  return std::nullopt;
}
std::optional<std::string> optionalString(const kit::Value& v) {
  if (v.isString()) return v.string();
  return std::nullopt;
}
std::vector<std::string> splitAtCommas(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    std::size_t comma = s.find(',', from);
    parts.push_back(s.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
    if (comma == std::string::npos) return parts;
    from = comma + 1;
  }
}
}  // namespace

// A pasted record may come from anywhere: a value of the wrong kind, or outside what the topic
// can hold, is left out and the rest still applies.
namespace {
std::optional<std::int64_t> wholeNumber(const kit::Value& dict, const char* key, std::int64_t lo, std::int64_t hi) {
  const kit::Value& v = dict[key];
  if (!v.isNumber() || !std::isfinite(v.doubleValue())) return std::nullopt;
  std::int64_t n = v.integerValue();
  if (n < lo || n > hi) return std::nullopt;
  return n;
}
// Present with the right kind, or absent (which the caller reads as "none").
template <typename Check>
bool absentOr(const kit::Value& dict, const char* key, Check isRightKind) {
  return !dict.contains(key) || isRightKind(dict[key]);
}
bool isText(const kit::Value& v) { return v.isString(); }
// Six hex digits, or eight with an opaque alpha first, after an optional "#". Anything else would
// read as "unset" and clear the colour.
bool isColourText(std::string_view s) {
  if (!s.empty() && s.front() == '#') s.remove_prefix(1);
  if (s.size() != 6 && s.size() != 8) return false;
  for (char ch : s)
    if (!std::isxdigit(static_cast<unsigned char>(ch))) return false;
  return s.size() == 6 || ((s[0] == 'F' || s[0] == 'f') && (s[1] == 'F' || s[1] == 'f'));
}
bool isDateValue(const kit::Value& v) { return v.isDate(); }
}  // namespace

void NodeView::applyAttributes(const kit::Value& dict, std::uint32_t mask, bool withUndo) {
  if (!dict.isDictionary()) return;
  if (mask & NodeModTally::Colour) {
    const kit::Value& c = dict["_colour"];
    if (c.isString() && isColourText(c.string())) setColourWithRGB255(strings::extractColourComponents(c.string()), false, withUndo);
  }
  if (mask & NodeModTally::Shape) {
    if (auto shape = wholeNumber(dict, "_shape", TopicShape::RoundedRectangle, TopicShape::Unset);
        shape && (*shape <= TopicShape::Line || *shape == TopicShape::Unset))
      setShape(static_cast<std::int32_t>(*shape), false, withUndo);
  }
  if ((mask & NodeModTally::Boundary) && dict["_boundary"].isNumber()) setHasBoundary(dict["_boundary"].boolValue(), withUndo);
  // A callout hangs from a topic: the central topic and floating topics never become one.
  if ((mask & NodeModTally::Callout) && dict["_callout"].isNumber()) {
    const bool callout = dict["_callout"].boolValue();
    if (!callout || !isRoot()) setIsCallout(callout, withUndo);
  }
  if (mask & NodeModTally::TextStyle) {
    if (auto style = wholeNumber(dict, "_textStyle", 0, UINT32_MAX)) setTextStyle(static_cast<std::uint32_t>(*style), false, withUndo);
  }
  // Font size and width: 0 is "unset"; a negative size has no meaning.
  if (mask & NodeModTally::Width) {
    if (auto width = wholeNumber(dict, "_width", 0, 100000)) setWidth(static_cast<float>(*width), false, withUndo);
  }
  if (mask & NodeModTally::FontSize) {
    if (auto size = wholeNumber(dict, "_fontSize", 0, 10000)) setFontSize(static_cast<float>(*size), false, withUndo);
  }
  if (mask & NodeModTally::Progress) {
    if (auto percent = wholeNumber(dict, "_progress", -1, 100)) setProgress(static_cast<std::int32_t>(*percent), withUndo);
  }
  if ((mask & NodeModTally::StartDate) && absentOr(dict, "_startDate", isDateValue))
    setStartDate(optionalDate(dict["_startDate"]), withUndo);
  if ((mask & NodeModTally::DueDate) && absentOr(dict, "_dueDate", isDateValue))
    setDueDate(optionalDate(dict["_dueDate"]), withUndo);
  if ((mask & NodeModTally::Effort) && absentOr(dict, "_effort", isText)) setEffort(optionalString(dict["_effort"]), withUndo);
  if ((mask & NodeModTally::Resources) && absentOr(dict, "_resources", isText)) {
    if (withUndo) {
      if (std::optional<std::string> names = getResourceNames())
        for (const std::string& name : splitAtCommas(*names)) removeResource(name, false, true);
    } else {
      if (rare_) rare_->resources.clear();
    }
    const kit::Value& added = dict["_resources"];
    if (added.isString())
      for (const std::string& name : splitAtCommas(added.string()))
        if (!name.empty()) addResource(name, withUndo);
  }
  if ((mask & NodeModTally::Icons) && absentOr(dict, "_icon1", isText) && absentOr(dict, "_icon2", isText))
    setIcon1(optionalString(dict["_icon1"]), optionalString(dict["_icon2"]), withUndo);
}

void NodeView::copyAttributes(const kit::Value& dict, std::uint32_t mask, std::uint32_t scope, bool withUndo) {
  auto apply = [&](NodeView* n) { n->applyAttributes(dict, mask, withUndo); };
  apply(this);
  // Siblings, then the descendants: each reached topic changes once, callouts and floating
  // topics are never reached by the spreading.
  if ((scope & 0x4) && !isRoot() && !isCallout_) {
    forNormalChildren(parentNode_, [&](NodeView* s) {
      if (s != this) forApplyBranch(s, (scope & 0x2) != 0, apply);
    });
  }
  if (scope & 0x2) forNormalChildren(this, [&](NodeView* c) { forApplyBranch(c, true, apply); });
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
  walkPreOrder([&](const NodeView* n) {
    into.push_back(n->getNodePositionAsDict());
    return true;
  });
}

void NodeView::appendChildOrders(kit::Array& into) const {
  walkPreOrder([&](const NodeView* n) {
    if (n->childNodes_.size() >= 2) {
      kit::Array order;
      for (const auto& c : n->childNodes_) order.emplace_back(c->uuid_);
      into.push_back(kit::Value(kit::Dictionary{{"of", n->uuid_}, {"children", kit::Value(std::move(order))}}));
    }
    return true;
  });
}

void NodeView::appendRelationshipCentres(kit::Array& into) const {
  walkPreOrder([&](const NodeView* n) {
    if (n->hasRelationships())
      for (const RelationshipView* r : n->getRelationships()) into.push_back(r->centreEntry());
    return true;
  });
}

void NodeView::setNodePositionFromDict(const kit::Value& dict, bool includingChildren) {
  moveTo(dict["centre"].point(), includingChildren);
}

void NodeView::dumpCentres() const { _dumpCentres(); }

// A debugging walk kept for its callers; it reports nothing. No recursion: outlines may be deep.
void NodeView::_dumpCentres() const {
  std::vector<const NodeView*> stack{this};
  while (!stack.empty()) {
    const NodeView* n = stack.back();
    stack.pop_back();
    for (const auto& c : n->childNodes_) stack.push_back(c.get());
  }
}
