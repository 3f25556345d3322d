// Measuring and drawing plain text in one font: 72 dpi, unhinted metrics, sizes rounded up to
// whole points. Safe from any thread (each thread has its own Pango layout).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/graphics/context.h"
#include "kit/typography/font.h"

namespace kit {

// The platform's line-break modes, numbered as the platform numbers them.
enum class LineBreakMode {
  WordWrap = 0,       // wrap at word boundaries; a word longer than the line breaks inside
  CharacterWrap = 1,  // wrap at any character
  Clip = 2,           // wrap at words; lines beyond the height are not drawn
  HeadTruncation = 3, // wrap at words; the last line that fits starts with "…"
  TailTruncation = 4, // wrap at words; the last line that fits ends with "…"
  MiddleTruncation = 5,
};

enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

// The size of the text on unwrapped lines (explicit line breaks still start new lines). An
// empty text measures (0, 0); one trailing line break adds no line.
Size sizeWithFont(std::string_view text, const Font& font);

// The size of the text wrapped within constraint.width (0 or less: no limit), keeping the whole
// lines that fit within constraint.height (0 or less: no limit), at least one: width of the
// widest kept line, height down to the last kept line, both rounded up. An empty text measures
// (0, 0); one trailing line break adds no line.
Size sizeWithFont(std::string_view text, const Font& font, Size constraint,
                  LineBreakMode mode = LineBreakMode::WordWrap);

// Draws the text in the context's fill colour, wrapped and cut as sizeWithFont measures it
// within rect.size, each line aligned within rect.width. Returns the size drawn.
Size drawInRect(GraphicsContext& ctx, std::string_view text, const Rect& rect, const Font& font,
                LineBreakMode mode = LineBreakMode::WordWrap, TextAlignment alignment = TextAlignment::Left);

// Draws the text unwrapped with its top-left corner at point.
Size drawAtPoint(GraphicsContext& ctx, std::string_view text, Point point, const Font& font);

// Caret geometry of a text laid out as drawInRect lays it out within a size (height 0 or less:
// no limit), in the text's own coordinates: the carets before byte offsets, from one layout (each
// a zero-width rectangle one line high; an offset after a trailing line break, or beyond the
// lines that fit, is on the line below the last), and the byte offset of the character boundary
// nearest a point. Under a height limit only a prefix of a long text is laid out, as for drawing.
std::vector<Rect> caretRectsForOffsets(std::string_view text, const Font& font, Size size, TextAlignment alignment,
                                       const std::vector<std::size_t>& offsets);
std::size_t offsetForPoint(std::string_view text, const Font& font, Size size, TextAlignment alignment, Point p);

// sizeWithFont within a width and without a height limit, for a text that changes a little at a
// time (an editor's): the lines before the one ahead of the first change are kept from the last
// measurement, so typing at the end of a long text lays out only its last lines.
class IncrementalTextMeasure {
 public:
  Size measure(std::string_view text, const Font& font, Float width);

 private:
  struct Line {
    std::size_t start;  // byte offset of the line in text_
    int top;            // Pango units from the top of the text
    int widest;         // the widest line up to and including this one
  };
  std::string text_;
  Font font_ = Font::systemFont(12);
  Float width_ = -1;
  std::vector<Line> lines_;
  int height_ = 0;
};

}  // namespace kit
