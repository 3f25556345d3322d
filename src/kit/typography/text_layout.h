// Line breaking shared by plain and attributed text: which lines of a Pango layout are kept
// within a height, and the truncated form of the last one.
#pragma once

#include <pango/pangocairo.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/graphics/context.h"
#include "kit/typography/string_drawing.h"

namespace kit::pango {

struct KeptLine {
  PangoLayoutLine* line;  // owned by the layout
  PangoRectangle logical; // in layout coordinates (Pango units)
  int baseline;           // from the layout's top
};

struct Lines {
  PangoLayout* layout = nullptr;
  std::vector<KeptLine> kept;
  // When the last kept line is truncated, its replacement (line 0 of the aux layout).
  PangoLayout* truncated = nullptr;
  PangoRectangle truncatedLogical{};
  int widthUnits = 0, heightUnits = 0;
  bool empty = true;
};

// Lays out `text` (already valid UTF-8, trailing break removed) in `layout`, which the caller has
// filled with text, font and attributes. width <= 0: unwrapped. height <= 0: every line; else
// the lines that fit, at least one. Plain text wraps in every mode and truncation modes shorten
// the last kept line when lines were left out. perParagraph (attributed frames): clipping and
// truncation modes do not wrap; each paragraph is one line, cut or shortened.
Lines breakLines(PangoLayout* layout, const std::string& text, double width, double height,
                 LineBreakMode mode, PangoAlignment align, bool perParagraph = false);

// The size in Pango units (width, height) of plain text that stays on one line within width
// (<= 0: unwrapped), exactly as breakLines finds it, without a layout: printable ASCII with a
// letter is one run in one font, which is shaped directly. nullopt for any other text and for a
// line that would wrap; breakLines measures those.
std::optional<std::pair<int, int>> plainLineUnits(std::string_view text, const Font& font, double width);
// Draws the kept lines with their top-left corner at origin.
void drawLines(GraphicsContext& ctx, const Lines& lines, Point origin);

// Removes one trailing line break ("\n", "\r\n" or "\r").
std::string withoutTrailingBreak(std::string text);

}  // namespace kit::pango
