#include "kit/typography/attributed_string.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "kit/typography/pango_support.h"
#include "kit/typography/text_layout.h"

namespace kit {

void AttributedString::setFont(const Font& font, Range r) { runs_.push_back(Run{r, font, {}, {}, {}}); }
void AttributedString::setColor(const Color& color, Range r) { runs_.push_back(Run{r, {}, color, {}, {}}); }
void AttributedString::setUnderline(bool on, Range r) { runs_.push_back(Run{r, {}, {}, on, {}}); }
void AttributedString::setStrikethrough(bool on, Range r) { runs_.push_back(Run{r, {}, {}, {}, on}); }

LineBreakMode lineBreakModeFromNumber(int n) {
  switch (n) {
    case 0: return LineBreakMode::WordWrap;
    case 1: return LineBreakMode::CharacterWrap;
    case 2: return LineBreakMode::Clip;
    case 3: return LineBreakMode::HeadTruncation;
    case 5: return LineBreakMode::MiddleTruncation;
    default: return LineBreakMode::TailTruncation;
  }
}

namespace {

std::uint16_t channel(float v) {
  if (!std::isfinite(v)) v = 0;
  return static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535));
}

struct Prepared {
  std::string text;
  pango::Lines lines;
};

// Byte range clamped to the text; after validation the text may be longer (replacement
// characters), so ranges are clamped to what exists.
void span(const AttributedString::Range& r, size_t size, guint& start, guint& end) {
  size_t s = std::min(r.start, size);
  size_t e = r.length == std::string::npos ? size : std::min(size, s + std::min(r.length, size - s));
  start = static_cast<guint>(std::min<size_t>(s, UINT_MAX));
  end = static_cast<guint>(std::min<size_t>(e, UINT_MAX));
}

Prepared prepare(const AttributedString& s, Size frame, bool withColour) {
  Prepared p;
  p.text = pango::withoutTrailingBreak(pango::validUtf8(s.string()));
  PangoLayout* layout = pango::resetLayout();
  PangoFontDescription* d = pango::newDescription(Font::systemFont(12));
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  PangoAttrList* list = pango_attr_list_new();
  for (const AttributedString::Run& run : s.runs()) {
    guint a, b;
    span(run.range, p.text.size(), a, b);
    if (a >= b) continue;
    auto add = [&](PangoAttribute* attr) {
      attr->start_index = a;
      attr->end_index = b;
      pango_attr_list_change(list, attr);
    };
    if (run.font) {
      PangoFontDescription* fd = pango::newDescription(*run.font);
      add(pango_attr_font_desc_new(fd));
      pango_font_description_free(fd);
    }
    if (run.color && withColour && !run.color->isPattern()) {
      add(pango_attr_foreground_new(channel(run.color->red), channel(run.color->green), channel(run.color->blue)));
      if (run.color->alpha < 1) add(pango_attr_foreground_alpha_new(std::max<std::uint16_t>(1, channel(run.color->alpha))));
    }
    if (run.underline) add(pango_attr_underline_new(*run.underline ? PANGO_UNDERLINE_SINGLE : PANGO_UNDERLINE_NONE));
    if (run.strikethrough) add(pango_attr_strikethrough_new(*run.strikethrough));
  }
  pango_layout_set_attributes(layout, list);
  pango_attr_list_unref(list);
  pango_layout_set_text(layout, p.text.data(), static_cast<int>(p.text.size()));
  PangoAlignment align = s.alignment() == TextAlignment::Center  ? PANGO_ALIGN_CENTER
                         : s.alignment() == TextAlignment::Right ? PANGO_ALIGN_RIGHT
                                                                 : PANGO_ALIGN_LEFT;
  p.lines = pango::breakLines(layout, p.text, frame.width, frame.height, s.lineBreakMode(), align, true);
  return p;
}

}  // namespace

Size measureFrame(const AttributedString& s, Size frameSize) {
  if (s.string().empty()) return Size();
  Prepared p = prepare(s, frameSize, false);
  return Size(pango::ceilPoints(p.lines.widthUnits), pango::ceilPoints(p.lines.heightUnits));
}

Size drawFrame(GraphicsContext& ctx, const AttributedString& s, const Rect& rect) {
  if (s.string().empty() || rect.isNull()) return Size();
  Rect r = rect.standardized();
  Prepared p = prepare(s, r.size, true);
  if (s.lineBreakMode() == LineBreakMode::Clip) {
    // Unwrapped lines stop at the frame's edge.
    ctx.saveGState();
    ctx.clipToRect(r);
    pango::drawLines(ctx, p.lines, r.origin);
    ctx.restoreGState();
  } else {
    pango::drawLines(ctx, p.lines, r.origin);
  }
  return Size(pango::ceilPoints(p.lines.widthUnits), pango::ceilPoints(p.lines.heightUnits));
}

}  // namespace kit
