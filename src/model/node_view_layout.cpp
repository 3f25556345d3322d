// Topic layout: each topic measures its text once per change and lays out its shape, text box,
// image box, icon slots and badges in its own coordinates; branch relayout with realignment.
#include <algorithm>
#include <bit>
#include <cmath>

#include "helpers/global_helpers_geometry.h"
#include "helpers/text_measure.h"
#include "kit/text/date_format.h"
#include "kit/typography/font.h"
#include "model/node_view.h"
#include "model/topic_layout_support.h"

using kit::Point;
using kit::Rect;
using kit::Size;

namespace topic_layout {

bool showsTaskBadge(const NodeView& t) {
  bool effort = t._effort() && !t._effort()->empty();
  bool resources = !t.getResources().empty();
  if (!(t.startDate() || t.dueDate() || effort || resources)) return false;
  DocumentServices* doc = t.parentController();
  if (!doc || !doc->getShowTaskBadge()) return false;
  return t.percentComplete() != 100 || effort || resources;
}

}  // namespace topic_layout

namespace {

constexpr float kMaxTextWidth = 600.0f;
constexpr float kMaxTextHeight = 500.0f;
constexpr float kIconSide = 24.0f;
constexpr float kBadgeMargin = 9.0f;
constexpr float kDisclosureSide = 17.0f;

// A key for one measurement: the text, the font and the constraint. FNV-1a over the text, then
// the font's name and size and the constraint mixed in.
std::uint64_t measureKey(std::string_view text, const kit::Font& font, Size constraint) {
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&h](std::string_view bytes) {
    for (unsigned char c : bytes) {
      h ^= c;
      h *= 1099511628211ull;
    }
  };
  mix(text);
  h ^= 0xff;  // separates the text from what follows
  h *= 1099511628211ull;
  mix(font.fontName());
  for (float f : {font.pointSize(), constraint.width, constraint.height}) {
    h ^= std::bit_cast<std::uint32_t>(f);
    h *= 1099511628211ull;
  }
  return h | 1;  // never 0, which means "nothing measured"
}

// A key for the task badge's measurement from the task fields its text is made of, so that the
// dates are formatted only when they change.
std::uint64_t taskKey(const NodeView& t) {
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&h](std::string_view bytes) {
    for (unsigned char c : bytes) {
      h ^= c;
      h *= 1099511628211ull;
    }
    h ^= 0xff;
    h *= 1099511628211ull;
  };
  auto mixDate = [&](const std::optional<kit::Date>& d) {
    std::uint64_t bits = d ? std::bit_cast<std::uint64_t>(d->seconds) : 0x7ff4000000000001ull;
    mix(std::string_view(reinterpret_cast<const char*>(&bits), sizeof bits));
  };
  mixDate(t.startDate());
  mixDate(t.dueDate());
  // The dates are written for the device's locale and time zone.
  if (t.startDate() || t.dueDate()) mix(kit::formatterEnvironmentKey());
  mix(t.percentComplete() == 100 ? "1" : "0");
  mix(t._effort().value_or(std::string()));
  for (const kit::Value& r : t.getResources()) {
    const kit::Value& name = r["name"];
    const kit::Value& loading = r["loading"];
    mix(name.isString() ? name.string() : std::string());
    mix(loading.isNull() ? "\x01" : loading.isString() ? loading.string() : std::string());
  }
  return h | 1;
}

Rect mirrored(const Rect& r, const Rect& bounds) { return GlobalHelpers::mirrorFlipXRect(r, bounds, 3.0f); }

Point mirroredPoint(Point p, Size size, const Rect& bounds) {
  return mirrored(Rect(p, size), bounds).origin;
}

Point rounded(Point p) { return Point(kit::roundHalfEven(p.x), kit::roundHalfEven(p.y)); }

Point offset(Point p, float dx, float dy) { return Point(p.x + dx, p.y + dy); }

// Only the lines that fit the height limit count, so a long text is measured by a prefix that
// already runs well past the limit: its kept lines are the whole text's, and typing into a very
// long topic does not lay out all of its text each time. `dependsOn` is set to the number of
// leading bytes the size was found from.
constexpr std::size_t kFirstPrefix = 1024;
constexpr std::size_t kPrefixGrowth = 2;

Size measureWithinLimit(std::string_view text, const kit::Font& font, Size limit, std::size_t& dependsOn) {
  const float margin = 4 * font.pointSize() + 8;
  for (std::size_t length = kFirstPrefix; length < text.size(); length *= kPrefixGrowth) {
    std::size_t cut = length;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    const std::string_view prefix = text.substr(0, cut);
    if (strings::sizeWithFontEx(prefix, font, Size(limit.width, 1e7f)).height > limit.height + margin) {
      dependsOn = length + 1;  // the cut looked at the byte at length
      return strings::sizeWithFontEx(prefix, font, limit);
    }
  }
  dependsOn = text.size();
  return strings::sizeWithFontEx(text, font, limit);
}

}  // namespace

void NodeView::_calcLayout() { _calcLayout(isRoot() || isLogicallyToRightOfRoot()); }

void NodeView::_calcLayout(bool rightHand) {
  // 1. Laid out as if right of the central topic; mirrored at the end otherwise.
  const std::int32_t shape = topic_layout::effectiveShape(displayShape_);
  const bool isLine = shape == TopicShape::Line;
  const bool isOval = shape == TopicShape::Oval;
  const bool editing = isInPlaceEdit();
  const bool hasNote = !strNote_.empty(), hasLink = !strLink_.empty();
  const Rare& rareFields = rare();
  const Size imageSize = rareFields.imageSize;

  // 2. The width limit. A limit below one point (a damaged width) would unwrap the text.
  float maxW = std::fmin(displayWidth_, kMaxTextWidth);
  if (!(maxW >= 1.0f)) maxW = 1.0f;
  const Size constraint(maxW, kMaxTextHeight);
  const kit::Font font = getFont();

  // 3. Text size, measured only when the text, font or limit changed since the last time.
  auto measure = [&](MeasuredText& cache, std::string_view text, const kit::Font& f, Size c) {
    const std::uint64_t key = measureKey(text, f, c);
    if (cache.key == key) return cache.size;
    // A size found from a prefix holds while only the text after it changes (typing at the end
    // of a long text): the key is then that of the prefix.
    for (std::size_t length = kFirstPrefix; length < text.size(); length *= kPrefixGrowth)
      if (cache.key == measureKey(text.substr(0, length + 1), f, c)) return cache.size;
    std::size_t used = text.size();
    cache.size = measureWithinLimit(text, f, c, used);
    cache.key = used < text.size() ? measureKey(text.substr(0, used), f, c) : key;
    return cache.size;
  };
  // While editing, text being composed counts as the topic's text.
  const bool composing = editing && inPlaceEditTextView_->hasMarkedText();
  const std::string composed = composing ? inPlaceEditTextView_->shownText() : std::string();
  const std::string& shown = composing ? composed : strName_;
  Size ts;
  if (!shown.empty()) {
    if (editing && shown.back() == '\n') ts = measure(measuredText_, shown + " ", font, constraint);
    else ts = measure(measuredText_, shown, font, constraint);
  } else if (imageSize.width > 0 && !editing) {
    ts = Size(1.0f, 1.0f);
  } else {
    ts = measure(measuredText_, "WWWWW", font, constraint);
  }
  float w = ts.width, h = ts.height;

  // 4. The image, scaled down to the width limit.
  float iw = 0, ih = 0;
  if (imageSize.width > 0) {
    iw = std::fmin(imageSize.width, maxW);
    ih = imageSize.height * (iw / imageSize.width);
    w = std::fmax(w, iw);
  }

  // 5. The in-place editor grows with the text; the text box takes the editor's content height
  // less its insets.
  float avgCharWidth = 0;
  if (editing) {
    avgCharWidth = inPlaceEditTextView_->getSizeOfAvgChar().width;
    Rect ev = inPlaceEditTextView_->frame();
    inPlaceEditTextView_->setFrame(Rect(ev.origin, Size(w + 16.0f + avgCharWidth, 900.0f)));
    if (!shown.empty()) h = inPlaceEditTextView_->contentSize().height - 14.0f;
  }

  // 6.-7. The boxes: image above the text, icons beside it.
  const float padX = isOval ? 6.0f : 10.0f, padY = isOval ? 4.0f : 8.0f;
  const bool icon1 = isIcon1Set(), icon2 = isIcon2Set();
  const Size slot1 = icon1 ? Size(kIconSide, kIconSide) : Size();
  const Size slot2 = icon2 ? Size(kIconSide, kIconSide) : Size();
  Rect node, text, image;
  Point pIcon1, pIcon2;
  if (!icon1 && !icon2) {
    node = Rect(0, 0, w + 2 * padX, h + 2 * padY + ih);
    image = Rect(padX + w / 2 - iw / 2, padY, iw, ih);
    text = Rect(padX, padY + ih, w, h);
  } else {
    const bool stacked = icon1 && icon2 && h > kIconSide;
    const float colW = stacked ? kIconSide : slot1.width + slot2.width;
    const float colH = stacked ? 2 * kIconSide : std::fmax(slot1.height, slot2.height);
    float textY;
    if (colH > h) {
      textY = (colH - h) / 2;
      pIcon1 = Point(0, 0);
      pIcon2 = stacked ? Point(0, kIconSide) : Point(slot1.width, 0);
    } else {
      textY = 0;
      if (stacked) {
        pIcon1 = Point(0, h / 2 - kIconSide);
        pIcon2 = Point(0, h / 2);
      } else {
        float y = h / 2 - colH / 2;
        pIcon1 = Point(0, y);
        pIcon2 = Point(slot1.width, y);
      }
    }
    text = Rect(colW + 3.0f, textY, w, h);
    image = Rect(text.midX() - iw / 2, textY, iw, ih);
    image = image.offsetBy(padX, padY);
    text = text.offsetBy(padX, padY + ih);
    pIcon1 = offset(pIcon1, padX, padY + ih);
    pIcon2 = offset(pIcon2, padX, padY + ih);
    node = Rect(0, 0, w + colW + 3.0f + 2 * padX, std::fmax(colH, h) + 2 * padY + ih);
  }

  // 8. Room for the note and link badges after a frameless topic's text; an oval round the box.
  if (isLine && !isRoot()) {
    if (hasNote) node.size.width += 21.0f;
    if (hasLink) node.size.width += 21.0f;
  }
  if (isOval) {
    float b = node.height() / 2 + 20.0f;
    float a = GlobalHelpers::calcElipseAValGivenRect(node, b);
    float dx = a - node.width() / 2, dy = b - node.height() / 2;
    image = image.offsetBy(dx, dy);
    text = text.offsetBy(dx, dy);
    pIcon1 = offset(pIcon1, dx, dy);
    pIcon2 = offset(pIcon2, dx, dy);
    node = Rect(0, 0, 2 * a, 2 * b);
  }

  // 9. The corner badges stand out of the shape: make room for them.
  const bool hasProgress = percentComplete_ >= 0, hasDates = rareFields.startDate || rareFields.dueDate;
  const float m = (hasDates || hasProgress || hasNote || hasLink) ? kBadgeMargin : 0.0f;
  if (m > 0) {
    image = image.offsetBy(m, m);
    text = text.offsetBy(m, m);
    pIcon1 = offset(pIcon1, m, m);
    pIcon2 = offset(pIcon2, m, m);
    node.origin = offset(node.origin, m, m);
  }

  // 10. While editing, the shape grows ahead of the caret, away from the parent.
  if (editing) {
    node.size.width += avgCharWidth;
    if (!rightHand) text = text.offsetBy(avgCharWidth, 0);
  }

  // 11. The task badge below the text.
  Rect taskBadge;
  if (topic_layout::showsTaskBadge(*this)) {
    std::uint64_t key = taskKey(*this);
    // A badge shows rare values only, so the block is there already.
    MeasuredText& measuredBadge = rareForWriting().measuredBadge;
    if (measuredBadge.key != key) {
      measuredBadge.size =
          strings::sizeWithFontEx(getTaskBadgeText(), kit::Font::systemFont(12.0f), Size(160.0f, 60.0f));
      measuredBadge.key = key;
    }
    Size bs = measuredBadge.size;
    bs = Size(bs.width + 12.0f, bs.height + 8.0f);
    if (bs.width + 20.0f > node.width()) {
      float d = bs.width + 20.0f - node.width();
      node.size.width += d;
      text = text.offsetBy(d / 2, 0);
    }
    taskBadge = Rect(20.0f, isLine ? node.maxY() + 5.0f : text.maxY() + 3.0f, bs.width, bs.height);
  }

  // 12. Whole, even shape sizes, so that the shape's centre falls on a whole point.
  node = Rect(kit::roundHalfEven(node.origin.x), kit::roundHalfEven(node.origin.y),
              kit::roundToEvenWhole(node.width()), kit::roundToEvenWhole(node.height()));

  // 13. The fold disclosure icon.
  Rect disclosure;
  if (getChildTopicCount() > 0) {
    Point p = (isLine && !isRoot()) ? Point(node.maxX() - 8.5f, node.maxY() - 8.5f)
                                    : Point(node.maxX(), node.midY() - 8.5f);
    disclosure = Rect(p, Size(kDisclosureSide, kDisclosureSide));
  }

  // 14. The bounds.
  const float W = kit::roundToEvenWhole(std::fmax(node.maxX() + m, disclosure.maxX()) + 3.0f);
  const float H =
      kit::roundToEvenWhole(std::fmax(std::fmax(node.maxY() + m, disclosure.maxY()), taskBadge.maxY()) + 3.0f);
  const Rect bounds(0, 0, W, H);

  // 15.-16. The corner badges.
  float ovalDx = 0, ovalDy = 0;
  if (isOval) {
    ovalDx = text.maxX() - node.midX();
    ovalDy = GlobalHelpers::calcElipseYValGivenX(ovalDx, node.width() / 2, node.height() / 2);
    if (!std::isfinite(ovalDy)) ovalDy = 0;  // the text's edge beyond the ellipse: badges on the axis
  }
  const float minX = node.minX(), maxX = node.maxX(), midX = node.midX();
  const float minY = node.minY(), maxY = node.maxY(), midY = node.midY();
  Point pProgress, pStartDue, pNote, pLink;
  if (hasProgress) {
    pProgress = isOval ? Point(midX - ovalDx - 8, midY - ovalDy - 8)
                       : isLine ? Point(minX, maxY - 8) : Point(minX - 4, minY - 4);
  }
  if (hasDates) {
    pStartDue = isOval ? Point(midX - ovalDx - 8, midY + ovalDy - 8)
                       : isLine ? Point(minX + 21, maxY - 8) : Point(minX - 4, maxY - 12);
  }
  if (hasNote) {
    if (isOval) pNote = Point(midX + ovalDx - 8, midY + ovalDy - 8);
    else if (!isLine) pNote = Point(maxX - 12, maxY - 12);
    else if (isRoot()) pNote = Point(maxX - 16 - (hasLink ? 21 : 0), maxY - 8);
    else pNote = Point(text.maxX() + 5, text.midY() - 8);
  }
  if (hasLink) {
    if (isOval) pLink = Point(midX + ovalDx - 8, midY - ovalDy - 8);
    else if (!isLine) pLink = Point(maxX - 12, minY - 4);
    else if (isRoot()) pLink = Point(maxX - 16, maxY - 8);
    else pLink = Point(text.maxX() + 5 + (hasNote ? 21 : 0), text.midY() - 8);
  }

  // 17. Whole points for everything drawn from an image; the text box keeps its fractions.
  image.origin = rounded(image.origin);
  pIcon1 = rounded(pIcon1);
  pIcon2 = rounded(pIcon2);
  disclosure.origin = rounded(disclosure.origin);
  pProgress = rounded(pProgress);
  pStartDue = rounded(pStartDue);
  pNote = rounded(pNote);
  pLink = rounded(pLink);

  // 18. Left of the central topic: the mirror image. What is not shown stays at zero.
  if (!rightHand) {
    const Size badge(16, 16);
    image = mirrored(image, bounds);
    text = mirrored(text, bounds);
    node = mirrored(node, bounds);
    if (!disclosure.isEmpty()) disclosure = mirrored(disclosure, bounds);
    if (icon1) pIcon1 = mirroredPoint(pIcon1, slot1, bounds);
    if (icon2) pIcon2 = mirroredPoint(pIcon2, slot2, bounds);
    if (hasProgress) pProgress = mirroredPoint(pProgress, badge, bounds);
    if (hasDates) pStartDue = mirroredPoint(pStartDue, badge, bounds);
    if (hasLink) pLink = mirroredPoint(pLink, badge, bounds);
    if (hasNote) pNote = mirroredPoint(pNote, badge, bounds);
    if (!taskBadge.isEmpty()) taskBadge = mirrored(taskBadge, bounds);
  }

  // 19. Store.
  laidOutLeft_ = !rightHand;
  nodeRect_ = node;
  textBoxRect_ = text;
  imageBoxRect_ = image;
  rcTaskBadge_ = taskBadge;
  ptDisclosureIcon_ = disclosure.origin;
  ptIcon1_ = icon1 ? pIcon1 : Point();
  ptIcon2_ = icon2 ? pIcon2 : Point();
  ptProgress_ = pProgress;
  ptStartDue_ = pStartDue;
  ptLink_ = pLink;
  ptNote_ = pNote;
  setBounds(bounds);

  // 20. The editor sits over the text box, its insets outside it.
  if (editing) {
    Rect ev = inPlaceEditTextView_->frame();
    inPlaceEditTextView_->setFrame(Rect(Point(text.origin.x - 8.0f, text.origin.y - 7.0f), ev.size));
  }
}

void NodeView::recalcLayoutRecursively(bool recursive, bool redraw, bool realign, bool siblings, bool offspring) {
  // Realigning with the siblings takes each topic's branch rectangle from before its layout, a
  // walk of its branch, which only a topic whose frame changes uses. Without outlines in the
  // branch (each look recalculates them) it is the old frame with the branch below, which the
  // topic's own layout leaves alone: taken afterwards, and only then, a deep branch is not walked
  // once per topic.
  bool branchAfterwards = recursive && realign && siblings;
  if (branchAfterwards) walkPreOrder([&](const NodeView* n) {
    branchAfterwards = branchAfterwards && !n->hasBoundary_ && n->boundaryPoints().empty();
    return branchAfterwards;
  });
  auto layoutOne = [&](NodeView* n, bool logicallyRight) {
    bool sib = siblings, off = offspring;
    if (n->isInPlaceEdit()) sib = off = false;
    const bool rightHand = n->isRoot() || logicallyRight;
    if (realign) {
      Rect savedNode = n->getAdjustedNodeFrame();
      Rect savedBranch = sib && !branchAfterwards ? n->getBranchBoundingRect() : Rect();
      n->_calcLayout(rightHand);
      if (sib && branchAfterwards && n->getAdjustedNodeFrame() != savedNode)
        savedBranch = n->getBranchBoundingRectWithOwnFrame(savedNode);
      n->realignBasedOnSavedNodeFrame(savedNode, savedBranch, sib, off);
    } else {
      n->_calcLayout(rightHand);
    }
    if (redraw) n->setNeedsDisplay(false);
  };
  if (!recursive) {
    layoutOne(this, isLogicallyToRightOfRoot());
    return;
  }
  // Children before parents, in child order, without recursion: outlines can be very deep. Each
  // topic's side comes down from its parent, so the walk stays linear in a deep chain.
  struct Entry {
    NodeView* topic;
    std::size_t next;
    bool logicallyRight;
  };
  std::vector<Entry> stack{{this, 0, isLogicallyToRightOfRoot()}};
  while (!stack.empty()) {
    Entry& e = stack.back();
    if (e.next < e.topic->childNodes_.size()) {
      NodeView* c = e.topic->childNodes_[e.next++].get();
      const bool side = c->isLogicallyToRightOfRootUnder(e.logicallyRight);
      stack.push_back({c, 0, side});
      continue;
    }
    const Entry done = e;
    stack.pop_back();
    layoutOne(done.topic, done.logicallyRight);
  }
}

void NodeView::relayoutTopicsOnTheirSides() {
  // Pre-order, each topic's side from its parent's, without recursion: outlines can be deep.
  std::vector<std::pair<NodeView*, bool>> stack{{this, isLogicallyToRightOfRoot()}};
  while (!stack.empty()) {
    const auto [n, logicallyRight] = stack.back();
    stack.pop_back();
    const bool rightHand = n->isRoot() || logicallyRight;
    if (n->laidOutLeft_ == rightHand) {
      n->_calcLayout(rightHand);
      n->setNeedsDisplay(false);
    }
    for (auto& c : n->childNodes_) stack.emplace_back(c.get(), c->isLogicallyToRightOfRootUnder(logicallyRight));
  }
}

void NodeView::recalcLayoutOfImmediateChildrenWithRedraw(bool redraw, bool realign, bool siblings, bool offspring) {
  for (auto& c : childNodes_) c->recalcLayoutRecursively(false, redraw, realign, siblings, offspring);
}

void NodeView::realignBasedOnSavedNodeFrame(const Rect& savedNodeFrame, const Rect& branchFrame, bool animated) {
  // Views move at once; an animating front end interpolates the frames itself.
  (void)animated;
  realignBasedOnSavedNodeFrame(savedNodeFrame, branchFrame, !isFloating_ && !isCallout_, true);
}

void NodeView::realignBasedOnSavedNodeFrame(const Rect& savedNodeFrame, const Rect& branchFrame, bool includeSiblings,
                                            bool includeOffspring) {
  const Rect now = getAdjustedNodeFrame();
  if (savedNodeFrame.isEmpty() || savedNodeFrame == now) return;
  if (!isRoot()) {
    float dx, grow;
    if (isToRightOfParent()) {
      dx = savedNodeFrame.minX() - now.minX();
      grow = now.maxX() - savedNodeFrame.maxX();
    } else {
      dx = savedNodeFrame.maxX() - now.maxX();
      grow = now.minX() - savedNodeFrame.minX();
    }
    float dy = savedNodeFrame.midY() - now.midY();
    moveByX(dx, dy, false);
    if (includeOffspring) moveChildrenByX(grow + dx, 0);
    if (includeSiblings) {
      Rect b = getBranchBoundingRect();
      pushSiblingsUpBy(branchFrame.minY() - b.minY(), b.maxY() - branchFrame.maxY());
    }
    return;
  }
  if (!includeOffspring) return;
  const float d = savedNodeFrame.width() - now.width();
  for (auto& c : childNodes_) {
    if (c->isFloating_) continue;
    c->moveByX(c->isToRightOfParent() ? d / -2 : d / 2, 0, true);
  }
}
