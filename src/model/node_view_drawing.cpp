// Topic drawing: the shape, the image, the text and the badges from the boxes that layout placed,
// for the screen (type 0) and for exports and the external display (any other type).
#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_effort.h"
#include "helpers/global_helpers_geometry.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/graphics/context.h"
#include "kit/graphics/image.h"
#include "kit/graphics/path.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"
#include "model/app_services.h"
#include "model/asset_library.h"
#include "model/node_view.h"
#include "model/topic_layout_support.h"

using kit::Point;
using kit::Rect;
using kit::Size;

namespace {

constexpr std::uint32_t kAlignLeft = 16, kAlignRight = 32, kAlignCentre = 64;

kit::Color colourOf(RGB1 c, float alpha) { return kit::Color(c.r, c.g, c.b, alpha); }

RGB1 hsvToUnit(HSV c) { return HSVToRGB1(c); }

// The outline of a shape over r; "Line" uses the rounded rectangle.
kit::Path shapePath(std::int32_t shape, const Rect& r) {
  kit::Path path;
  if (shape == TopicShape::Rectangle) path.addRect(r);
  else if (shape == TopicShape::Oval) path.addEllipseInRect(r);
  else GlobalHelpers::addRoundedRect(r, path);
  return path;
}

void drawBadge(kit::GraphicsContext& ctx, const std::string& name, Point at, float alpha) {
  kit::ImageRef image = kit::imageNamed(name);
  if (!image) return;
  ctx.drawImage(*image, Rect(at, image->size()), kit::BlendMode::Normal, alpha);
}

kit::TextAlignment alignmentFor(std::uint32_t style) {
  if (style & kAlignLeft) return kit::TextAlignment::Left;
  if (style & kAlignRight) return kit::TextAlignment::Right;
  if (style & kAlignCentre) return kit::TextAlignment::Center;
  return AppServices::centreJustificationFlag() ? kit::TextAlignment::Center : kit::TextAlignment::Left;
}

// A link that the PDF can carry: a scheme and no blanks or control characters (a bare map name
// completes to itself and is no address).
bool isLinkableURL(const std::string& url) {
  std::size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  auto alpha = [](unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!alpha(static_cast<unsigned char>(url[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  for (unsigned char c : url)
    if (c <= 0x20 || c == 0x7f) return false;
  return colon + 1 < url.size();
}

// Decoded topic images, so that tiles redrawn on every scroll never decode a file per frame.
// Shared by all drawing threads; the least recently drawn images go first once the decoded
// pixels pass the budget. An asset file never changes under its id (a stored image gets a new
// one), so an entry stays right while its app home, map and id do; misses are kept too.
class TopicImageCache {
 public:
  static TopicImageCache& shared() {
    static TopicImageCache* cache = new TopicImageCache;  // never destroyed: tile threads may outlive statics
    return *cache;
  }

  kit::ImageRef image(const std::string& mapID, const std::string& id, bool thumbnail) {
    std::string key = kit::AppPaths::home();
    key += '\n';
    key += mapID;
    key += '\n';
    key += id;
    if (thumbnail) key += "\nthumbnail";
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (auto it = index_.find(key); it != index_.end()) {
        entries_.splice(entries_.begin(), entries_, it->second);
        return it->second->image;
      }
    }
    // Decoded without the lock, so one slow file holds up no other thread; two threads may
    // both decode a new image once, and the first to finish wins.
    kit::ImageRef image;
    if (std::optional<AssetLibrary> library = AssetLibrary::assetLibraryForMap(mapID))
      image = thumbnail ? library->newThumbnailUIImageFor(id) : library->newUIImageFor(id);
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = index_.find(key); it != index_.end()) return it->second->image;
    const std::size_t cost = image ? std::size_t(image->pixelWidth()) * std::size_t(image->pixelHeight()) * 4 : 0;
    entries_.push_front(Entry{key, image, cost});
    index_.emplace(std::move(key), entries_.begin());
    bytes_ += cost;
    while ((bytes_ > kBudget || entries_.size() > kMaxEntries) && entries_.size() > 1) {
      bytes_ -= entries_.back().cost;
      index_.erase(entries_.back().key);
      entries_.pop_back();
    }
    return image;
  }

 private:
  static constexpr std::size_t kBudget = 64u << 20;  // about 130 full-size topic images
  static constexpr std::size_t kMaxEntries = 4096;   // bounds the misses, which cost no pixels

  struct Entry {
    std::string key;
    kit::ImageRef image;
    std::size_t cost;
  };
  std::mutex mutex_;
  std::list<Entry> entries_;  // most recently drawn first
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
  std::size_t bytes_ = 0;
};

}  // namespace

void NodeView::drawRect(kit::GraphicsContext& context, const Rect&) { drawColourNode(bounds(), context, 0); }

void NodeView::drawColourNode(const Rect&, kit::GraphicsContext& ctx, int ofType) {
  nodeModTally_ = 0;
  const float a = ofType == 0 ? 1.0f : brightness_;
  const std::int32_t shape = topic_layout::effectiveShape(displayShape_);
  const bool marked = isSelected_ || bHighlighted_;

  // The shape: a frameless "Line" topic shows its box only while selected or highlighted.
  if (shape != TopicShape::Line || marked) {
    Rect r = nodeRect_.insetBy(2.0f, 2.0f);
    if (!r.isNull()) {
      const bool shadow = AppServices::dropShadowFlag();
      kit::Path path = shapePath(shape, r);
      HSV fill = RGBToHSV(cachedFillColour_);
      if (marked) fill = HSVReduceSaturation(fill, 50.0f);
      HSV outline = HSVReduceBrightness(fill, shadow ? 20.0f : 50.0f);
      GlobalHelpers::setShadow(shadow, ctx, ofType);
      ctx.setFillColor(colourOf(hsvToUnit(fill), a));
      ctx.addPath(path);
      ctx.fillPath();
      GlobalHelpers::setShadow(false, ctx, ofType);
      ctx.setStrokeColor(colourOf(hsvToUnit(outline), a));
      ctx.setLineWidth(0.5f);
      ctx.addPath(path);
      ctx.strokePath();
    }
  }
  GlobalHelpers::setShadow(false, ctx, ofType);

  // The image, from the map's asset library; its thumbnail while the resize tool drags the topic.
  if (const std::optional<std::string>& imageID = rare().uuidImage; imageID && imageBoxRect_.width() != 0 && parentController_) {
    if (kit::ImageRef image = TopicImageCache::shared().image(parentController_->mapID(), *imageID, beingResized_))
      ctx.drawImage(*image, imageBoxRect_, kit::BlendMode::Normal, a);
  }

  // The text; on screen the open editor shows it instead.
  if (ofType != 0 || !isInPlaceEdit()) {
    const int canvas = AppServices::currentCanvasStyle();
    const bool light = shape == TopicShape::Line && (canvas == 1 || canvas == 8) && !marked && !isOnBoundaryBranch();
    ctx.setFillColor(light ? kit::Color::white(a) : kit::Color::black(a));
    kit::drawInRect(ctx, strName_, textBoxRect_, getFont(), kit::LineBreakMode::Clip, alignmentFor(textStyle_));
  }

  _drawIconsAsNecessary(ctx, a);
  _drawHyperlinkAsNecessary(ctx, a);
  _drawPercentCompleteAsNecessary(ctx, a);
  _drawStartDueAsNecessary(ctx, a);
  _drawStickyNoteAsNecessary(ctx, a);
  _drawTaskBadgeAsNecessary(ctx, a);
  if (ofType == 0) _drawFoldingIconAsNecessary(ctx, a);
}

void NodeView::_drawIconsAsNecessary(kit::GraphicsContext& ctx, float alpha) {
  auto draw = [&](const std::optional<std::string>& name, Point at) {
    if (!name || name->empty()) return;
    if ((*name)[0] == '!') {  // kept from an import: no native icon
      drawBadge(ctx, "icon-missing.png", at, alpha);
      return;
    }
    const AppServices::IconTable* table = AppServices::iconTable();
    if (!table) return;
    if (std::optional<std::string> image = table->getExportIconFromName(*name, 3)) drawBadge(ctx, *image, at, alpha);
  };
  if (isIcon1Set()) draw(rare_->icon1, ptIcon1_);
  if (isIcon2Set()) draw(rare_->icon2, ptIcon2_);
}

void NodeView::_drawHyperlinkAsNecessary(kit::GraphicsContext& ctx, float alpha) {
  if (strLink_.empty()) return;
  std::string name;
  if (strings::isMapPath(strLink_))
    name = (isRoot() || isLogicallyToRightOfRoot()) ? "link-map-right.png" : "link-map-left.png";
  else if (strings::hasCaseInsensitivePrefix(strLink_, "mailto:") || strings::isEmailAddress(strLink_))
    name = "link-email.png";
  else
    name = "link-web.png";
  drawBadge(ctx, name, ptLink_, alpha);
}

void NodeView::_drawPercentCompleteAsNecessary(kit::GraphicsContext& ctx, float alpha) {
  if (percentComplete_ < 0) return;
  if (std::optional<std::string> name = GlobalHelpers::getPercentCompleteImageFor(percentComplete_))
    drawBadge(ctx, *name, ptProgress_, alpha);
}

void NodeView::_drawStartDueAsNecessary(kit::GraphicsContext& ctx, float alpha) {
  if (!rare_ || (!rare_->startDate && !rare_->dueDate)) return;
  if (parentController_ && parentController_->getShowTaskBadge()) return;  // the task badge shows them
  int status = GlobalHelpers::getTaskStatusForStart(rare_->startDate, rare_->dueDate, percentComplete_);
  if (std::optional<std::string> name = GlobalHelpers::getClockImageForTaskStatus(status))
    drawBadge(ctx, *name, ptStartDue_, alpha);
}

void NodeView::_drawStickyNoteAsNecessary(kit::GraphicsContext& ctx, float alpha) {
  if (strNote_.empty()) return;
  drawBadge(ctx, "note.png", ptNote_, alpha);
}

void NodeView::_drawTaskBadgeAsNecessary(kit::GraphicsContext& ctx, float alpha) {
  if (rcTaskBadge_.isEmpty()) return;
  int status = GlobalHelpers::getTaskStatusForStart(startDate(), dueDate(), percentComplete_);
  RGB255 base{255, 128, 0};
  if (status == 3 || status == 4) base = RGB255{255, 0, 0};
  else if (status == 2) base = RGB255{0, 255, 0};
  HSV hsv = RGBToHSV(RGB255ToUnit(base));
  if (HSVIsDark(hsv)) hsv.v = 0.6f;
  HSV fill = HSVReduceSaturation(hsv, 70.0f);
  HSV outline = HSVReduceBrightness(fill, 50.0f);

  kit::Path path;
  GlobalHelpers::addRoundedRect(rcTaskBadge_, path);
  ctx.setFillColor(colourOf(hsvToUnit(fill), alpha));
  ctx.setStrokeColor(colourOf(hsvToUnit(outline), alpha));
  ctx.setLineWidth(0.5f);
  ctx.addPath(path);
  ctx.drawPath(kit::PathDrawingMode::FillStroke);

  Rect textRect = rcTaskBadge_.insetBy(6.0f, 4.0f);
  if (textRect.isNull()) return;
  ctx.setFillColor(kit::Color::black(alpha));
  kit::drawInRect(ctx, getTaskBadgeText(), textRect, kit::Font::systemFont(12.0f),
                  kit::LineBreakMode::Clip, kit::TextAlignment::Left);
}

void NodeView::_drawFoldingIconAsNecessary(kit::GraphicsContext& ctx, float alpha) {
  if (getChildTopicCount() == 0) return;
  const Rect square(ptDisclosureIcon_, Size(17.0f, 17.0f));
  const Rect circle = square.insetBy(1.0f, 1.0f);
  ctx.setFillColor(kit::Color::white(alpha));
  ctx.setStrokeColor(kit::Color::gray(0.5f, alpha));
  ctx.setLineWidth(2.0f);
  ctx.addEllipseInRect(circle);
  ctx.drawPath(kit::PathDrawingMode::FillStroke);

  const Rect mark = circle.insetBy(3.0f, 3.0f);
  ctx.setLineWidth(1.0f);
  std::vector<Point> lines{Point(mark.minX(), mark.midY()), Point(mark.maxX(), mark.midY())};
  if (folded_) {
    lines.push_back(Point(mark.midX(), mark.minY()));
    lines.push_back(Point(mark.midX(), mark.maxY()));
  }
  ctx.strokeLineSegments(lines);
}

void NodeView::drawNodeAndChildrenInRect(const Rect& rect, bool relativeToRect, kit::GraphicsContext& ctx,
                                         int ofType) {
  // Pre-order in child order, without recursion: outlines can be very deep.
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    const Rect frame = n->frame();
    if (frame.intersects(rect)) {
      ctx.saveGState();
      if (relativeToRect) ctx.translateCTM(frame.minX() - rect.minX(), frame.minY() - rect.minY());
      else ctx.translateCTM(frame.minX(), frame.minY());
      n->drawColourNode(n->bounds(), ctx, ofType);
      if (ofType == 1 && !n->strLink_.empty()) {
        std::string url = strings::getFullyQualifiedURL(n->strLink_);
        if (isLinkableURL(url) && !strings::runsScript(url)) ctx.setURLForRect(url, n->nodeRect_);
      }
      ctx.restoreGState();
    }
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) {
      NodeView* c = it->get();
      if (n->folded_ && !c->isCallout_ && !c->isFloating_) continue;
      stack.push_back(c);
    }
  }
}
