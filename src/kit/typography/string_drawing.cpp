#include "kit/typography/string_drawing.h"

#include <algorithm>
#include <cstring>

#include "kit/typography/pango_support.h"
#include "kit/typography/text_layout.h"

namespace kit {

namespace {

PangoAlignment toPango(TextAlignment a) {
  switch (a) {
    case TextAlignment::Center: return PANGO_ALIGN_CENTER;
    case TextAlignment::Right: return PANGO_ALIGN_RIGHT;
    default: return PANGO_ALIGN_LEFT;
  }
}

// Fills the thread's layout with the text and font and breaks it.
pango::Lines lay(std::string_view text, const Font& font, double width, double height, LineBreakMode mode,
                 TextAlignment align) {
  std::string t = pango::withoutTrailingBreak(pango::validUtf8(text));
  PangoLayout* layout = pango::resetLayout();
  PangoFontDescription* d = pango::newDescription(font);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  pango_layout_set_text(layout, t.data(), static_cast<int>(t.size()));
  return pango::breakLines(layout, t, width, height, mode, toPango(align));
}

Size sizeOf(const pango::Lines& l) {
  return Size(pango::ceilPoints(l.widthUnits), pango::ceilPoints(l.heightUnits));
}

}  // namespace

Size sizeWithFont(std::string_view text, const Font& font) {
  if (text.empty()) return Size();
  if (auto units = pango::plainLineUnits(text, font, 0))
    return Size(pango::ceilPoints(units->first), pango::ceilPoints(units->second));
  return sizeOf(lay(text, font, 0, 0, LineBreakMode::WordWrap, TextAlignment::Left));
}

Size sizeWithFont(std::string_view text, const Font& font, Size constraint, LineBreakMode mode) {
  if (text.empty()) return Size();
  // One line is kept whatever the height, and a line that fits is never shortened.
  if (auto units = pango::plainLineUnits(text, font, constraint.width))
    return Size(pango::ceilPoints(units->first), pango::ceilPoints(units->second));
  return sizeOf(lay(text, font, constraint.width, constraint.height, mode, TextAlignment::Left));
}

Size drawInRect(GraphicsContext& ctx, std::string_view text, const Rect& rect, const Font& font,
                LineBreakMode mode, TextAlignment alignment) {
  if (text.empty() || rect.isNull()) return Size();
  Rect r = rect.standardized();
  pango::Lines l = lay(text, font, r.size.width, r.size.height, mode, alignment);
  pango::drawLines(ctx, l, r.origin);
  return sizeOf(l);
}

Size drawAtPoint(GraphicsContext& ctx, std::string_view text, Point point, const Font& font) {
  if (text.empty()) return Size();
  pango::Lines l = lay(text, font, 0, 0, LineBreakMode::WordWrap, TextAlignment::Left);
  pango::drawLines(ctx, l, point);
  return sizeOf(l);
}

namespace {

// The empty line after a trailing line break, or of an empty text: at the line's start as the
// alignment puts it, below the last line.
Rect caretOnEmptyLastLine(const pango::Lines& l, const Font& font, Float width, TextAlignment alignment) {
  const Float top = l.empty ? 0 : static_cast<Float>(l.heightUnits) / PANGO_SCALE;
  const Float height = sizeWithFont("&", font).height;
  const Float x = alignment == TextAlignment::Center ? width / 2 : alignment == TextAlignment::Right ? width : 0;
  return Rect(x, top, 0, height);
}

}  // namespace

std::vector<Rect> caretRectsForOffsets(std::string_view text, const Font& font, Size size, TextAlignment alignment,
                                       const std::vector<std::size_t>& offsets) {
  std::vector<Rect> carets;
  carets.reserve(offsets.size());
  const std::string t = pango::withoutTrailingBreak(pango::validUtf8(text));
  if (t.empty()) {
    carets.assign(offsets.size(), caretOnEmptyLastLine(pango::Lines{}, font, size.width, alignment));
    return carets;
  }
  pango::Lines l = lay(t, font, size.width, size.height, LineBreakMode::WordWrap, alignment);
  // The layout holds the lines that fit, or a prefix of the text running past them.
  const std::size_t laid = std::strlen(pango_layout_get_text(l.layout));
  const Float top = l.kept.empty() ? 0 : static_cast<Float>(l.kept.front().logical.y);
  for (const std::size_t offset : offsets) {
    if (offset > t.size() || (offset > laid && laid < t.size())) {
      carets.push_back(caretOnEmptyLastLine(l, font, size.width, alignment));
      continue;
    }
    PangoRectangle pos{};
    pango_layout_index_to_pos(l.layout, static_cast<int>(offset), &pos);
    carets.emplace_back(static_cast<Float>(pos.x) / PANGO_SCALE, (static_cast<Float>(pos.y) - top) / PANGO_SCALE, 0,
                        static_cast<Float>(pos.height) / PANGO_SCALE);
  }
  return carets;
}

std::size_t offsetForPoint(std::string_view text, const Font& font, Size size, TextAlignment alignment, Point p) {
  const std::string t = pango::withoutTrailingBreak(pango::validUtf8(text));
  if (t.empty()) return 0;
  pango::Lines l = lay(t, font, size.width, size.height, LineBreakMode::WordWrap, alignment);
  // Below the last line of a text ending in a line break: the empty line after it.
  if (t.size() < text.size() && p.y >= static_cast<Float>(l.heightUnits) / PANGO_SCALE) return text.size();
  const char* laid = pango_layout_get_text(l.layout);
  const std::size_t laidBytes = std::strlen(laid);
  int index = 0, trailing = 0;
  pango_layout_xy_to_index(l.layout, static_cast<int>(p.x * PANGO_SCALE), static_cast<int>(p.y * PANGO_SCALE), &index,
                           &trailing);
  const char* at = laid + std::clamp(index, 0, static_cast<int>(laidBytes));
  const char* end = laid + laidBytes;
  for (; trailing > 0 && at < end; --trailing) at = g_utf8_next_char(at);
  return static_cast<std::size_t>(std::min(at, end) - laid);
}

Size IncrementalTextMeasure::measure(std::string_view text, const Font& font, Float width) {
  std::string t = pango::withoutTrailingBreak(pango::validUtf8(text));
  if (t.empty()) {
    text_.clear();
    lines_.clear();
    return Size();
  }
  // Keep the lines that start before the line holding the first difference, less one: a change
  // can pull a word up onto the line above.
  std::size_t keep = 0;
  if (font == font_ && width == width_ && !lines_.empty()) {
    const std::size_t n = std::min(t.size(), text_.size());
    std::size_t same = 0;
    while (same < n && t[same] == text_[same]) ++same;
    while (keep < lines_.size() && lines_[keep].start <= same) ++keep;
    keep = keep >= 2 ? keep - 2 : 0;
  }
  lines_.resize(keep);
  const std::size_t from = keep ? lines_.back().start : 0;
  const int top = keep ? lines_.back().top : 0;
  const int widestBefore = keep >= 2 ? lines_[keep - 2].widest : 0;
  if (keep) lines_.pop_back();  // laid out again as the first line of the rest

  std::string rest = t.substr(from);
  PangoLayout* layout = pango::resetLayout();
  PangoFontDescription* d = pango::newDescription(font);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  pango_layout_set_text(layout, rest.data(), static_cast<int>(rest.size()));
  pango::Lines laid = pango::breakLines(layout, rest, width, 0, LineBreakMode::WordWrap, PANGO_ALIGN_LEFT);
  int widest = widestBefore;
  for (const pango::KeptLine& k : laid.kept) {
    widest = std::max(widest, k.logical.width);
    lines_.push_back(Line{from + static_cast<std::size_t>(std::max(0, k.line->start_index)), top + k.logical.y, widest});
  }
  height_ = top + laid.heightUnits;
  text_ = std::move(t);
  font_ = font;
  width_ = width;
  return Size(pango::ceilPoints(widest), pango::ceilPoints(height_));
}

}  // namespace kit
