#include "kit/typography/string_drawing.h"

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
  return sizeOf(lay(text, font, 0, 0, LineBreakMode::WordWrap, TextAlignment::Left));
}

Size sizeWithFont(std::string_view text, const Font& font, Size constraint, LineBreakMode mode) {
  if (text.empty()) return Size();
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

}  // namespace kit
